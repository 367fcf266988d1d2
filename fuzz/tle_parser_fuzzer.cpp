// libFuzzer target: TLE counting and name identification on any bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tle/tle_parser.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)qcn::tle::count_gnss_satellites(text);
  (void)qcn::tle::identify_gnss_satellite(text);
  return 0;
}
