// libFuzzer target: navigation parsing, then positions of every parsed satellite, on any bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "navigation/nav_parser.hpp"
#include "navigation/orbit.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto parse = qcn::navigation::parse_navigation(bytes);
  // Parsed values of any shape must not break the orbit code either.
  auto probe = [&](const auto& map) {
    for (const auto& [satellite, records] : map) {
      for (const auto& record : records) {
        auto later = record.epoch;
        later.second += 1799.0;  // inside both windows, so GLONASS records integrate
        (void)qcn::navigation::satellite_position(parse.data, satellite, record.epoch);
        (void)qcn::navigation::satellite_position(parse.data, satellite, later);
      }
    }
  };
  probe(parse.data.gps_ephemerides);
  probe(parse.data.galileo_ephemerides);
  probe(parse.data.beidou_ephemerides);
  probe(parse.data.glonass_ephemerides);
  return 0;
}
