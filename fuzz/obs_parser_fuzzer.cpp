// libFuzzer target: any bytes through the observation parser, then a walk over the record.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "rinex/obs_parser.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(bytes), size);
  qcn::rinex::ObsParse parse = qcn::rinex::parse_observations(text, "fuzz.obs");
  const qcn::rinex::RinexObsData& data = parse.data;
  double sum = 0.0;
  for (const auto& epoch : data.epochs) {
    for (const auto& satellite : qcn::rinex::satellites_of(data, epoch)) {
      for (const auto& observation : qcn::rinex::observations_of(data, satellite)) {
        sum += observation.value + static_cast<double>(qcn::rinex::code_of(data, observation).size());
      }
    }
  }
  (void)qcn::rinex::unique_satellite_count(data);
  (void)qcn::rinex::satellites_by_system(data);
  return sum == 0.5 ? 1 : 0;
}
