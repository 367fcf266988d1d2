// bzip2 streams begin with "BZh" and a block size digit and end with a stream CRC; libbz2 decodes
// them incrementally into the growing output.
#include "archive/bzip2_decoder.hpp"

#include <bzlib.h>

#include <climits>
#include <new>

namespace qcn::archive {
namespace {

enum class StreamEnd { decoded, truncated, corrupt, too_large };

// libbz2 counts in 32-bit units, so long inputs and outputs go through in pieces.
unsigned int piece(std::size_t size) { return size < UINT_MAX ? static_cast<unsigned int>(size) : UINT_MAX; }

StreamEnd decode_stream(bz_stream& stream, std::string_view& rest, ByteBuffer& out, std::uint64_t limit) {
  for (;;) {
    if (stream.avail_in == 0) {
      stream.next_in = const_cast<char*>(rest.data());
      stream.avail_in = piece(rest.size());
      rest.remove_prefix(stream.avail_in);
    }
    if (out.spare() == 0 && !out.reserve_more(1, limit)) return StreamEnd::too_large;
    stream.next_out = out.end();
    stream.avail_out = piece(out.spare());
    unsigned int room = stream.avail_out;
    int status = BZ2_bzDecompress(&stream);
    out.commit(room - stream.avail_out);
    if (status == BZ_STREAM_END) {
      // Whatever libbz2 has not read belongs to the next stream.
      rest = std::string_view(stream.next_in, stream.avail_in + rest.size());
      return StreamEnd::decoded;
    }
    if (status == BZ_MEM_ERROR) throw std::bad_alloc();
    if (status != BZ_OK) return StreamEnd::corrupt;
    if (stream.avail_in == 0 && rest.empty() && stream.avail_out != 0) return StreamEnd::truncated;
  }
}

bool all_zero(std::string_view bytes) { return bytes.find_first_not_of('\0') == std::string_view::npos; }

}  // namespace

Decoded decode_bzip2(std::string_view input, std::uint64_t limit) {
  Decoded decoded;
  std::uint64_t guess = static_cast<std::uint64_t>(input.size()) * 4 + 65536;
  if (!decoded.bytes.reserve_exactly(static_cast<std::size_t>(guess < limit ? guess : limit), limit)) {
    return failed(FailureKind::too_large, Format::bzip2, "");
  }
  std::string_view rest = input;
  do {
    bz_stream stream{};
    if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK) throw std::bad_alloc();
    StreamEnd end = decode_stream(stream, rest, decoded.bytes, limit);
    BZ2_bzDecompressEnd(&stream);
    if (end == StreamEnd::truncated) return failed(FailureKind::corrupt, Format::bzip2, "unexpected end of stream");
    if (end == StreamEnd::corrupt) return failed(FailureKind::corrupt, Format::bzip2, "invalid compressed data or checksum");
    if (end == StreamEnd::too_large) return failed(FailureKind::too_large, Format::bzip2, "");
    if (!rest.empty() && rest.substr(0, 3) != "BZh") {
      if (all_zero(rest)) break;
      return failed(FailureKind::corrupt, Format::bzip2, "unexpected bytes after the last stream");
    }
  } while (!rest.empty());
  decoded.bytes.shrink_to_fit();
  return decoded;
}

}  // namespace qcn::archive
