// Test inputs for the decoders: files of tests/data/archive, and gzip, bzip2 and zip data made
// here with libdeflate, libbz2 and a small zip writer.
#pragma once

#include <bzlib.h>
#include <libdeflate.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qcn::test {

inline std::string read_archive_file(const std::string& name) {
  std::ifstream in(std::string(QCN_TEST_DATA_DIR) + "/archive/" + name, std::ios::binary);
  if (!in) throw std::runtime_error("missing test file " + name);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::string without_cr(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c != '\r') out += c;
  }
  return out;
}

/// Raw DEFLATE or one gzip member of text.
inline std::string deflate_bytes(std::string_view text, bool gzip, int level = 6) {
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
  std::string out(libdeflate_gzip_compress_bound(compressor, text.size()), '\0');
  std::size_t size = gzip ? libdeflate_gzip_compress(compressor, text.data(), text.size(), out.data(), out.size())
                          : libdeflate_deflate_compress(compressor, text.data(), text.size(), out.data(), out.size());
  libdeflate_free_compressor(compressor);
  out.resize(size);
  return out;
}

inline std::string gzip_bytes(std::string_view text) { return deflate_bytes(text, true); }

inline std::string bzip2_bytes(std::string_view text) {
  std::string out(text.size() + text.size() / 100 + 600, '\0');
  auto size = static_cast<unsigned int>(out.size());
  if (BZ2_bzBuffToBuffCompress(out.data(), &size, const_cast<char*>(text.data()), static_cast<unsigned int>(text.size()),
                               1, 0, 0) != BZ_OK) {
    throw std::runtime_error("bzip2 compression failed");
  }
  out.resize(size);
  return out;
}

/// Writes zip archives member by member, as zip tools do.
class ZipWriter {
 public:
  struct Member {
    std::string name;
    std::string content;
    bool deflate = true;
    bool data_descriptor = false;  // sizes and CRC after the data, zero in the local header
    bool zip64 = false;            // sizes and offset in the zip64 extra field of the directory
    std::uint16_t method = 0;      // overrides the method when not 0
    std::uint16_t flags = 0;
  };

  void add(const Member& member) {
    std::string data = member.deflate ? deflate_bytes(member.content, false) : member.content;
    std::uint16_t method = member.method ? member.method : member.deflate ? 8 : 0;
    std::uint32_t crc = libdeflate_crc32(0, member.content.data(), member.content.size());
    std::uint16_t flags = static_cast<std::uint16_t>(member.flags | (member.data_descriptor ? 8 : 0));
    std::uint32_t offset = static_cast<std::uint32_t>(archive_.size());
    bool known = !member.data_descriptor;
    put(archive_, 0x04034b50, 4);
    put(archive_, 20, 2);
    put(archive_, flags, 2);
    put(archive_, method, 2);
    put(archive_, 0, 4);
    put(archive_, known ? crc : 0, 4);
    put(archive_, known ? data.size() : 0, 4);
    put(archive_, known ? member.content.size() : 0, 4);
    put(archive_, member.name.size(), 2);
    put(archive_, 0, 2);
    archive_ += member.name;
    archive_ += data;
    if (member.data_descriptor) {
      put(archive_, 0x08074b50, 4);
      put(archive_, crc, 4);
      put(archive_, data.size(), 4);
      put(archive_, member.content.size(), 4);
    }
    std::string extra;
    if (member.zip64) {
      put(extra, 1, 2);
      put(extra, 24, 2);
      put(extra, member.content.size(), 8);
      put(extra, data.size(), 8);
      put(extra, offset, 8);
    }
    put(directory_, 0x02014b50, 4);
    put(directory_, 20, 2);
    put(directory_, member.zip64 ? 45 : 20, 2);
    put(directory_, flags, 2);
    put(directory_, method, 2);
    put(directory_, 0, 4);
    put(directory_, crc, 4);
    put(directory_, member.zip64 ? 0xffffffff : data.size(), 4);
    put(directory_, member.zip64 ? 0xffffffff : member.content.size(), 4);
    put(directory_, member.name.size(), 2);
    put(directory_, extra.size(), 2);
    put(directory_, 0, 2);
    put(directory_, 0, 8);
    put(directory_, member.zip64 ? 0xffffffff : offset, 4);
    directory_ += member.name;
    directory_ += extra;
    ++count_;
  }

  /// The archive: members, central directory, end record (with a comment).
  std::string finish(std::string_view comment = "") const {
    std::string out = archive_ + directory_;
    put(out, 0x06054b50, 4);
    put(out, 0, 4);
    put(out, count_, 2);
    put(out, count_, 2);
    put(out, directory_.size(), 4);
    put(out, archive_.size(), 4);
    put(out, comment.size(), 2);
    out += comment;
    return out;
  }

 private:
  static void put(std::string& out, std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i) out += static_cast<char>(value >> (8 * i) & 0xff);
  }

  std::string archive_;
  std::string directory_;
  std::size_t count_ = 0;
};

}  // namespace qcn::test
