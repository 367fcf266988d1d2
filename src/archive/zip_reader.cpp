// A zip archive ends with the end-of-central-directory record (and, for zip64, a locator and a
// record of 64-bit sizes before it); the central directory lists every member with its sizes,
// CRC32 and the offset of its local header, after which the member's data follow.
#include "archive/zip_reader.hpp"

#include <libdeflate.h>

#include <optional>
#include <vector>

#include "archive/deflate_support.hpp"
#include "archive/format_detect.hpp"

namespace qcn::archive {
namespace {

constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr std::uint32_t kCentralHeader = 0x02014b50;
constexpr std::uint32_t kEndRecord = 0x06054b50;
constexpr std::uint32_t kEndLocator64 = 0x07064b50;
constexpr std::uint32_t kEndRecord64 = 0x06064b50;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kLocalHeaderSize = 30;

// Little-endian fields, read only where the caller has checked the bounds.
std::uint64_t le(std::string_view bytes, std::size_t at, int width) {
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  return value;
}

struct Directory {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

struct Entry {
  std::string name;
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint32_t crc = 0;
  std::uint64_t compressed_size = 0;
  std::uint64_t size = 0;
  std::uint64_t local_offset = 0;
};

Decoded corrupt(std::string problem) { return failed(FailureKind::corrupt, Format::zip, std::move(problem)); }

// The end record is the last 22 bytes plus a comment of up to 65535 bytes.
std::optional<std::size_t> find_end_record(std::string_view archive) {
  if (archive.size() < kEndRecordSize) return std::nullopt;
  std::size_t lowest = archive.size() > kEndRecordSize + 65535 ? archive.size() - kEndRecordSize - 65535 : 0;
  for (std::size_t at = archive.size() - kEndRecordSize + 1; at-- > lowest;) {
    if (le(archive, at, 4) == kEndRecord && at + kEndRecordSize + le(archive, at + 20, 2) == archive.size()) return at;
  }
  return std::nullopt;
}

// The 64-bit directory location of a zip64 archive, from the locator just before the end record.
std::optional<Directory> zip64_directory(std::string_view archive, std::size_t end_record) {
  if (end_record < 20 || le(archive, end_record - 20, 4) != kEndLocator64) return std::nullopt;
  std::uint64_t record = le(archive, end_record - 20 + 8, 8);
  if (record > archive.size() || archive.size() - record < 56 || le(archive, record, 4) != kEndRecord64) return std::nullopt;
  return Directory{le(archive, record + 48, 8), le(archive, record + 40, 8)};
}

std::optional<Directory> find_directory(std::string_view archive) {
  std::optional<std::size_t> end = find_end_record(archive);
  if (!end) return std::nullopt;
  Directory directory{le(archive, *end + 16, 4), le(archive, *end + 12, 4)};
  if (directory.offset == 0xffffffff || directory.size == 0xffffffff || le(archive, *end + 10, 2) == 0xffff) {
    if (std::optional<Directory> wide = zip64_directory(archive, *end)) directory = *wide;
  }
  if (directory.offset > archive.size() || archive.size() - directory.offset < directory.size) return std::nullopt;
  return directory;
}

// Sizes and offset that do not fit 32 bits are 0xffffffff in the entry and follow, in this
// order, in the zip64 extra field (id 1).
void apply_zip64_extra(std::string_view extra, Entry& entry) {
  for (std::size_t at = 0; at + 4 <= extra.size();) {
    std::size_t id = le(extra, at, 2);
    std::size_t length = le(extra, at + 2, 2);
    std::string_view field = extra.substr(at + 4, length);
    if (id == 1) {
      std::size_t next = 0;
      for (std::uint64_t* value : {&entry.size, &entry.compressed_size, &entry.local_offset}) {
        if (*value != 0xffffffff) continue;
        if (next + 8 > field.size()) break;
        *value = le(field, next, 8);
        next += 8;
      }
    }
    at += 4 + length;
  }
}

// The entries of the central directory in order; false when an entry runs past its end.
bool read_entries(std::string_view directory, std::vector<Entry>& entries) {
  std::size_t at = 0;
  while (at + kCentralHeaderSize <= directory.size() && le(directory, at, 4) == kCentralHeader) {
    std::size_t name_length = le(directory, at + 28, 2);
    std::size_t extra_length = le(directory, at + 30, 2);
    std::size_t comment_length = le(directory, at + 32, 2);
    std::size_t next = at + kCentralHeaderSize + name_length + extra_length + comment_length;
    if (next > directory.size()) return false;
    Entry entry{std::string(directory.substr(at + kCentralHeaderSize, name_length)),
                static_cast<std::uint16_t>(le(directory, at + 8, 2)),
                static_cast<std::uint16_t>(le(directory, at + 10, 2)),
                static_cast<std::uint32_t>(le(directory, at + 16, 4)),
                le(directory, at + 20, 4),
                le(directory, at + 24, 4),
                le(directory, at + 42, 4)};
    apply_zip64_extra(directory.substr(at + kCentralHeaderSize + name_length, extra_length), entry);
    bool is_folder = !entry.name.empty() && entry.name.back() == '/' && entry.size == 0;
    if (!is_folder) entries.push_back(std::move(entry));
    at = next;
  }
  return true;
}

// The member's stored bytes, found through its local header.
std::optional<std::string_view> member_data(std::string_view archive, const Entry& entry) {
  if (entry.local_offset > archive.size() || archive.size() - entry.local_offset < kLocalHeaderSize) return std::nullopt;
  std::size_t local = static_cast<std::size_t>(entry.local_offset);
  if (le(archive, local, 4) != kLocalHeader) return std::nullopt;
  std::uint64_t start = local + kLocalHeaderSize + le(archive, local + 26, 2) + le(archive, local + 28, 2);
  if (start > archive.size() || archive.size() - start < entry.compressed_size) return std::nullopt;
  return archive.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(entry.compressed_size));
}

Decoded inflate_member(std::string_view data, const Entry& entry, std::uint64_t limit) {
  if (entry.size > limit) return failed(FailureKind::too_large, Format::zip, "");
  if (entry.size > detail::deflate_output_bound(data.size())) {
    return corrupt("member " + entry.name + " records a size its data cannot hold");
  }
  Decoded decoded;
  if (!decoded.bytes.reserve_exactly(static_cast<std::size_t>(entry.size), limit)) {
    return failed(FailureKind::too_large, Format::zip, "");
  }
  detail::Decompressor decompressor = detail::make_decompressor();
  libdeflate_result result = libdeflate_deflate_decompress(decompressor.get(), data.data(), data.size(),
                                                           decoded.bytes.end(), decoded.bytes.spare(), nullptr);
  if (result == LIBDEFLATE_SHORT_OUTPUT) return corrupt("member " + entry.name + " is shorter than its recorded size");
  if (result == LIBDEFLATE_INSUFFICIENT_SPACE) return corrupt("member " + entry.name + " is longer than its recorded size");
  if (result != LIBDEFLATE_SUCCESS) return corrupt(detail::diagnose_deflate(data, detail::Wrapper::raw));
  decoded.bytes.commit(static_cast<std::size_t>(entry.size));
  return decoded;
}

Decoded extract(std::string_view archive, const Entry& entry, std::uint64_t limit) {
  if (entry.flags & 1) return failed(FailureKind::unsupported, Format::zip, "member " + entry.name + " is encrypted");
  std::optional<std::string_view> data = member_data(archive, entry);
  if (!data) return corrupt("unexpected end of archive in member " + entry.name);
  Decoded decoded;
  if (entry.method == 0) {
    if (entry.compressed_size != entry.size) return corrupt("stored member " + entry.name + " changes size");
    if (!decoded.bytes.reserve_exactly(data->size(), limit)) return failed(FailureKind::too_large, Format::zip, "");
    decoded.bytes.append(*data);
  } else if (entry.method == 8) {
    decoded = inflate_member(*data, entry, limit);
    if (!decoded.ok()) return decoded;
  } else {
    return failed(FailureKind::unsupported, Format::zip,
                  "member " + entry.name + " uses compression method " + std::to_string(entry.method) +
                      " (stored and deflate are read)");
  }
  std::string_view content = decoded.bytes.view();
  if (libdeflate_crc32(0, content.data(), content.size()) != entry.crc) return corrupt("CRC32 mismatch in member " + entry.name);
  return decoded;
}

bool holds_data(std::string_view content) { return starts_like_rinex(content) || detect_format(content) != Format::plain; }

}  // namespace

ZipMember read_zip_member(std::string_view archive, std::uint64_t limit) {
  std::optional<Directory> directory = find_directory(archive);
  if (!directory) return {corrupt("unexpected end of archive: no central directory"), ""};
  std::vector<Entry> entries;
  std::string_view listing = archive.substr(static_cast<std::size_t>(directory->offset), static_cast<std::size_t>(directory->size));
  if (!read_entries(listing, entries)) return {corrupt("central directory entry runs past its end"), ""};
  if (entries.empty()) return {failed(FailureKind::unsupported, Format::zip, "the archive holds no file"), ""};
  // Among several members, one this reader cannot extract (encrypted, another method) is
  // passed over: it may be a read-me beside the data.
  std::optional<ZipMember> first_unsupported;
  for (const Entry& entry : entries) {
    Decoded content = extract(archive, entry, limit);
    if (entries.size() > 1 && content.failure.kind == FailureKind::unsupported) {
      if (!first_unsupported) first_unsupported = ZipMember{std::move(content), entry.name};
      continue;
    }
    if (!content.ok() || entries.size() == 1 || holds_data(content.bytes.view())) return {std::move(content), entry.name};
  }
  if (first_unsupported) return std::move(*first_unsupported);
  return {failed(FailureKind::unsupported, Format::zip,
                 "none of its " + std::to_string(entries.size()) + " members holds RINEX data"),
          ""};
}

}  // namespace qcn::archive
