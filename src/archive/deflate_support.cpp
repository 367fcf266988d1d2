// libdeflate ownership and zlib's diagnosis of broken DEFLATE streams.
#include "archive/deflate_support.hpp"

#include <libdeflate.h>
#include <zlib.h>

#include <new>

namespace qcn::archive::detail {

void DecompressorDeleter::operator()(libdeflate_decompressor* decompressor) const {
  libdeflate_free_decompressor(decompressor);
}

Decompressor make_decompressor() {
  libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  if (!decompressor) throw std::bad_alloc();
  return Decompressor(decompressor);
}

std::string diagnose_deflate(std::string_view stream, Wrapper wrapper) {
  z_stream z{};
  // 15-bit window; +16 reads the gzip wrapper, negative reads a bare stream.
  if (inflateInit2(&z, wrapper == Wrapper::gzip ? 16 + 15 : -15) != Z_OK) return "invalid compressed data";
  unsigned char scratch[65536];
  std::string problem = "unexpected end of stream";
  std::string_view rest = stream;
  for (;;) {
    // zlib counts input in 32-bit units; feed long streams in pieces.
    if (z.avail_in == 0 && !rest.empty()) {
      std::size_t piece = rest.size() < (1u << 30) ? rest.size() : (1u << 30);
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(rest.data()));
      z.avail_in = static_cast<uInt>(piece);
      rest.remove_prefix(piece);
    }
    z.next_out = scratch;
    z.avail_out = sizeof scratch;
    int status = inflate(&z, Z_NO_FLUSH);
    if (status == Z_STREAM_END) {
      problem = "invalid compressed data";
      break;
    }
    if (status == Z_DATA_ERROR || status == Z_NEED_DICT) {
      problem = z.msg ? z.msg : "invalid compressed data";
      break;
    }
    if (status == Z_MEM_ERROR) {
      inflateEnd(&z);
      throw std::bad_alloc();
    }
    // No progress possible: the input is used up before the stream ended.
    if (status == Z_BUF_ERROR || (z.avail_in == 0 && rest.empty() && z.avail_out != 0)) break;
  }
  inflateEnd(&z);
  return problem;
}

}  // namespace qcn::archive::detail
