// An input file's plain content: its own bytes, or what its compression layers decode to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "archive/unpack.hpp"
#include "rinex/mapped_file.hpp"

namespace qcn::rinex {

/// A file read by path and decoded, or the reason it gave no plain content.
struct PlainInput {
  enum class Failure : std::uint8_t { none, unreadable, undecodable };
  std::string file_bytes;        // the file as read, kept when it is plain
  std::optional<MappedFile> mapped;  // a plain regular file, mapped instead of read
  archive::Unpacked unpacked;    // the decoded layers and the plain file name
  Failure failure = Failure::none;
  std::string error;             // the operating system's text, or the decoding failure's
  bool ok() const { return failure == Failure::none; }
  /// The plain content, valid while this lives.
  std::string_view bytes() const {
    if (unpacked.layers > 0) return unpacked.bytes.view();
    return mapped ? mapped->view() : std::string_view(file_bytes);
  }
  /// Tells that the parse has passed [begin, end) of the plain content: a mapped file gives its
  /// pages back.
  void release(std::size_t begin, std::size_t end) const {
    if (unpacked.layers == 0 && mapped) mapped->release(begin, end);
  }
};

/// Reads the file at path and decodes its compression layers, each bounded by limit bytes; the
/// plain file name starts from the path's last component (file_name_of). A plain file is
/// parsed from the bytes as read, without a copy.
[[nodiscard]] PlainInput read_plain_input(std::string_view path, std::uint64_t limit);

}  // namespace qcn::rinex
