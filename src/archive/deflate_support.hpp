// What the gzip and zip readers share: a libdeflate decompressor and the diagnosis of a failed
// DEFLATE stream.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct libdeflate_decompressor;

namespace qcn::archive::detail {

struct DecompressorDeleter {
  void operator()(libdeflate_decompressor* decompressor) const;
};
using Decompressor = std::unique_ptr<libdeflate_decompressor, DecompressorDeleter>;

/// A new decompressor; throws std::bad_alloc when none can be had.
Decompressor make_decompressor();

/// DEFLATE never expands a bit into more than 258 bytes, so n input bytes decode to at most
/// this many bytes (plus a little for headers).
inline std::uint64_t deflate_output_bound(std::uint64_t input_size) { return input_size * 1032 + 65536; }

enum class Wrapper { gzip, raw };

/// Why libdeflate refused a stream, told by zlib, which reads streams incrementally and so
/// knows a stream that ends too early ("unexpected end of stream") from one that breaks a rule
/// ("invalid distance too far back", "incorrect data check").
std::string diagnose_deflate(std::string_view stream, Wrapper wrapper);

}  // namespace qcn::archive::detail
