// libFuzzer target: any bytes through the bzip2 decoder, whose output must stay within its limit.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "archive/bzip2_decoder.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  constexpr std::uint64_t kLimit = std::uint64_t{16} << 20;
  std::string_view input(reinterpret_cast<const char*>(bytes), size);
  qcn::archive::Decoded decoded = qcn::archive::decode_bzip2(input, kLimit);
  if (decoded.bytes.size() > kLimit || (!decoded.ok() && decoded.failure.problem.empty() &&
                                         decoded.failure.kind != qcn::archive::FailureKind::too_large)) {
    __builtin_trap();
  }
  return 0;
}
