// gzip members may follow one another; each holds a header, a DEFLATE stream, and a trailer of
// CRC32 and ISIZE (the member's decoded size modulo 2^32).
#include "archive/gzip_decoder.hpp"

#include <libdeflate.h>

#include "archive/deflate_support.hpp"

namespace qcn::archive {
namespace {

using detail::deflate_output_bound;

std::uint32_t read_le32(const char* p) {
  auto byte = [&](int i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(p[i])); };
  return byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
}

// The first output size to try: the last member's ISIZE, which is the whole size for the usual
// single member. It is only a guess: bounded by what the input could decode to and by limit.
std::uint64_t first_size_guess(std::string_view input, std::uint64_t limit) {
  std::uint64_t guess = input.size() >= 4 ? read_le32(input.data() + input.size() - 4) : 0;
  std::uint64_t bound = deflate_output_bound(input.size());
  if (guess > bound) guess = bound;
  if (guess < 4096) guess = 4096;
  return guess < limit ? guess : limit;
}

bool all_zero(std::string_view bytes) { return bytes.find_first_not_of('\0') == std::string_view::npos; }

enum class MemberEnd { decoded, too_large, corrupt };

// Decodes the member at the start of input into out, growing out and starting over while the
// output does not fit; consumed is the member's size in the input.
MemberEnd decode_member(libdeflate_decompressor* decompressor, std::string_view input, std::uint64_t limit,
                        ByteBuffer& out, std::size_t& consumed) {
  for (;;) {
    std::size_t written = 0;
    libdeflate_result result = libdeflate_gzip_decompress_ex(decompressor, input.data(), input.size(), out.end(),
                                                             out.spare(), &consumed, &written);
    if (result == LIBDEFLATE_SUCCESS) {
      out.commit(written);
      return MemberEnd::decoded;
    }
    // Valid data never need more room than their size allows for.
    if (result != LIBDEFLATE_INSUFFICIENT_SPACE || out.spare() >= deflate_output_bound(input.size())) {
      return MemberEnd::corrupt;
    }
    if (!out.reserve_more(out.spare() + 1, limit)) return MemberEnd::too_large;
  }
}

}  // namespace

Decoded decode_gzip(std::string_view input, std::uint64_t limit) {
  Decoded decoded;
  ByteBuffer& out = decoded.bytes;
  if (!out.reserve_exactly(static_cast<std::size_t>(first_size_guess(input, limit)), limit)) {
    return failed(FailureKind::too_large, Format::gzip, "");
  }
  detail::Decompressor decompressor = detail::make_decompressor();
  std::string_view rest = input;
  do {
    std::size_t consumed = 0;
    switch (decode_member(decompressor.get(), rest, limit, out, consumed)) {
      case MemberEnd::decoded:
        break;
      case MemberEnd::too_large:
        return failed(FailureKind::too_large, Format::gzip, "");
      case MemberEnd::corrupt:
        return failed(FailureKind::corrupt, Format::gzip, detail::diagnose_deflate(rest, detail::Wrapper::gzip));
    }
    rest.remove_prefix(consumed);
    if (!rest.empty() && rest.substr(0, 2) != "\x1f\x8b") {
      if (all_zero(rest)) break;
      return failed(FailureKind::corrupt, Format::gzip, "unexpected bytes after the last member");
    }
  } while (!rest.empty());
  out.shrink_to_fit();
  return decoded;
}

}  // namespace qcn::archive
