// Satellite counts and groupings over the epochs of an observation file.
#include "rinex/obs_data.hpp"

#include "rinex/rinex_version.hpp"
#include "rinex/satellite_numbering.hpp"


namespace qcn::rinex {

std::vector<char> cn0_code_table(const RinexObsData& data) {
  std::vector<char> table;
  table.reserve(data.obs_codes.size());
  for (const std::string& code : data.obs_codes) table.push_back(is_cn0_code(code));
  return table;
}

namespace {

bool declares_cn0(const std::vector<std::string>& codes) {
  for (const std::string& code : codes) {
    if (is_cn0_code(code)) return true;
  }
  return false;
}

}  // namespace

std::array<bool, 256> recorded_systems(const RinexObsData& data) {
  std::array<bool, 256> recorded{};
  if (is_version_3_or_later(data.version)) {
    for (const auto& [system, codes] : data.obs_types) {
      if (!system.empty() && declares_cn0(codes)) recorded[static_cast<unsigned char>(system.front())] = true;
    }
    return recorded;
  }
  bool any_cn0 = false;
  for (const auto& [system, codes] : data.obs_types) any_cn0 = any_cn0 || declares_cn0(codes);
  if (!any_cn0) return recorded;
  switch (data.file_system) {
    case ' ':
    case 'G':
      recorded['G'] = true;
      break;
    case 'R':
    case 'E':
    case 'S':
      recorded[static_cast<unsigned char>(data.file_system)] = true;
      break;
    case 'M':
      for (const SatelliteObservations& s : data.satellites) recorded[static_cast<unsigned char>(s.satellite.system())] = true;
      break;
    default:
      break;
  }
  return recorded;
}

void number_satellites(RinexObsData& data) {
  data.satellite_ids.clear();
  SatelliteNumbering numbering(data.satellite_ids);
  for (const ObservationEpoch& epoch : data.epochs) {
    for (std::uint64_t i = epoch.first_satellite; i < epoch.first_satellite + epoch.satellite_count; ++i) {
      data.satellites[i].number = numbering.number_of(data.satellites[i].satellite);
    }
  }
}

std::uint64_t unique_satellite_count(const RinexObsData& data) { return data.satellite_ids.size(); }

OrderedMap<std::vector<std::string>> satellites_by_system(const RinexObsData& data) {
  OrderedMap<std::vector<std::string>> by_system;
  for (const SatelliteId& id : data.satellite_ids) {
    if (id.size == 0) continue;
    std::string_view text = id.view();
    by_system[text.substr(0, 1)].emplace_back(text);
  }
  return by_system;
}

}  // namespace qcn::rinex
