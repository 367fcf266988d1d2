#include "rinex/cn0_columns.hpp"


namespace qcn::rinex {

Cn0Columns cn0_columns(const RinexObsData& data) {
  Cn0Columns columns;
  const std::vector<char> is_cn0 = cn0_code_table(data);
  std::size_t rows = 0;
  for (const Observation& observation : data.observations) rows += is_cn0[observation.code] != 0;
  columns.time_ns.reserve(rows);
  columns.satellite.codes.reserve(rows);
  columns.system.codes.reserve(rows);
  columns.signal.codes.reserve(rows);
  columns.cn0.reserve(rows);
  LabelNumbering satellites(columns.satellite);
  LabelNumbering systems(columns.system);
  LabelNumbering signals(columns.signal);
  for (const ObservationEpoch& epoch : data.epochs) {
    const std::int64_t time = nanoseconds_since_1970(epoch.time).value_or(kNoEpochTime);
    for (const SatelliteObservations& satellite : satellites_of(data, epoch)) {
      const char letter = satellite.satellite.system();
      std::uint16_t satellite_code = 0;
      std::uint16_t system_code = 0;
      bool coded = false;
      for (const Observation& observation : observations_of(data, satellite)) {
        if (!is_cn0[observation.code]) continue;
        if (!coded) {
          satellite_code = satellites.code(satellite.number, [&] { return std::string(satellite.satellite.view()); });
          system_code = systems.code(static_cast<unsigned char>(letter),
                                     [&] { return std::string(constellation_name(letter)); });
          coded = true;
        }
        columns.time_ns.push_back(time);
        columns.satellite.codes.push_back(satellite_code);
        columns.system.codes.push_back(system_code);
        columns.signal.codes.push_back(signals.code(observation.code, [&] { return code_of(data, observation); }));
        columns.cn0.push_back(observation.value);
      }
    }
  }
  return columns;
}

}  // namespace qcn::rinex
