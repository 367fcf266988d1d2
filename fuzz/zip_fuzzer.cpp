// libFuzzer target: any bytes read as a zip archive, whose chosen member must stay within the limit.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "archive/zip_reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  constexpr std::uint64_t kLimit = std::uint64_t{16} << 20;
  std::string_view input(reinterpret_cast<const char*>(bytes), size);
  qcn::archive::ZipMember member = qcn::archive::read_zip_member(input, kLimit);
  if (member.content.bytes.size() > kLimit || (!member.content.ok() && member.content.failure.problem.empty() &&
                                                member.content.failure.kind != qcn::archive::FailureKind::too_large)) {
    __builtin_trap();
  }
  return 0;
}
