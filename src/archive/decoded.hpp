// What a decoder returns: the decoded bytes, or why there are none.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/byte_buffer.hpp"

namespace qcn::archive {

/// The compression formats recognised by content, and plain data (none of them).
enum class Format : std::uint8_t { plain, gzip, compress, bzip2, zip, crinex };

enum class FailureKind : std::uint8_t {
  none,
  corrupt,      // the data break the format's rules, or end too early
  unsupported,  // valid, but a variant this reader does not decode
  too_large,    // the decoded data would exceed the output limit
};

/// Why decoding failed; kind none on success.
struct DecodeFailure {
  FailureKind kind = FailureKind::none;
  Format format = Format::plain;
  std::string problem;  // such as "unexpected end of stream"
};

/// The output of one decoder.
struct Decoded {
  ByteBuffer bytes;
  DecodeFailure failure;
  bool ok() const { return failure.kind == FailureKind::none; }
};

/// The name of a format in messages: "gzip data", "compact RINEX".
std::string_view format_noun(Format format);

/// The message of a failure, such as "Corrupt gzip data: unexpected end of stream"; limit is
/// the output limit named by too_large failures.
std::string failure_text(const DecodeFailure& failure, std::uint64_t limit);

/// A failure of kind for format.
inline Decoded failed(FailureKind kind, Format format, std::string problem) {
  Decoded decoded;
  decoded.failure = {kind, format, std::move(problem)};
  return decoded;
}

}  // namespace qcn::archive
