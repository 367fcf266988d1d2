// Satellite counts and groupings over the epochs of an observation file.
#include "rinex/obs_data.hpp"

#include <unordered_set>

namespace qcn::rinex {

std::vector<char> cn0_code_table(const RinexObsData& data) {
  std::vector<char> table;
  table.reserve(data.obs_codes.size());
  for (const std::string& code : data.obs_codes) table.push_back(is_cn0_code(code));
  return table;
}

std::uint64_t unique_satellite_count(const RinexObsData& data) {
  std::unordered_set<std::uint32_t> seen;
  for (const ObservationEpoch& epoch : data.epochs) {
    for (const SatelliteObservations& s : satellites_of(data, epoch)) seen.insert(s.satellite.key());
  }
  return seen.size();
}

OrderedMap<std::vector<std::string>> satellites_by_system(const RinexObsData& data) {
  OrderedMap<std::vector<std::string>> by_system;
  std::unordered_set<std::uint32_t> seen;
  for (const ObservationEpoch& epoch : data.epochs) {
    for (const SatelliteObservations& s : satellites_of(data, epoch)) {
      if (s.satellite.size == 0 || !seen.insert(s.satellite.key()).second) continue;
      std::string_view id = s.satellite.view();
      by_system[id.substr(0, 1)].emplace_back(id);
    }
  }
  return by_system;
}

}  // namespace qcn::rinex
