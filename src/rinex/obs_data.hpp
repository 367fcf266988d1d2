// The parsed observation file: header values and epochs of satellites' observations.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rinex/epoch_time.hpp"
#include "rinex/ordered_map.hpp"
#include "rinex/satellite_id.hpp"

namespace qcn::rinex {

/// Earth-centred, Earth-fixed position in metres.
struct Ecef {
  double x_m = 0.0;
  double y_m = 0.0;
  double z_m = 0.0;
};

/// One stored observation; zero and unreadable values are never stored. Packed to 12 bytes, so
/// the parsed record stays smaller than the text it came from.
struct __attribute__((packed, aligned(4))) Observation {
  static constexpr std::uint32_t kNoIndicator = 15;
  static constexpr std::uint32_t kMaxCodes = (1u << 24) - 1;  // distinct codes a file may declare

  double value = 0.0;                  // as written; dB-Hz for codes beginning with S
  std::uint32_t code : 24 = 0;         // index into RinexObsData::obs_codes
  std::uint32_t lli : 4 = kNoIndicator;  // loss-of-lock indicator digit (version 3 only)
  std::uint32_t ssi : 4 = kNoIndicator;  // signal-strength indicator digit (version 3 only)

  std::optional<std::uint8_t> loss_of_lock() const {
    return lli == kNoIndicator ? std::nullopt : std::optional<std::uint8_t>(static_cast<std::uint8_t>(lli));
  }
  std::optional<std::uint8_t> signal_strength() const {
    return ssi == kNoIndicator ? std::nullopt : std::optional<std::uint8_t>(static_cast<std::uint8_t>(ssi));
  }
};
static_assert(sizeof(Observation) == 12);

/// The observations of one satellite at one epoch: a range of RinexObsData::observations, each
/// code at most once, never empty.
struct SatelliteObservations {
  SatelliteId satellite;
  std::uint32_t observation_count = 0;
  std::uint64_t first_observation = 0;
};

/// One epoch: a range of RinexObsData::satellites, each identifier at most once, never empty.
struct ObservationEpoch {
  EpochTime time;
  std::uint8_t flag = 0;  // as written, 0 when blank or unreadable
  std::uint32_t satellite_count = 0;
  std::uint64_t first_satellite = 0;
};

/// A parsed RINEX observation file. Built once by the parser, then only read.
struct RinexObsData {
  double version = 0.0;
  std::string marker_name;
  std::string receiver_type;
  std::string antenna_type;
  std::optional<Ecef> approx_position;
  double interval = 0.0;  // seconds
  OrderedMap<std::vector<std::string>> obs_types;  // system letter -> codes in header order
  OrderedMap<std::int32_t> glonass_slots;          // slot number text -> frequency channel

  std::vector<std::string> obs_codes;  // every distinct code of the header, once
  std::vector<ObservationEpoch> epochs;  // in file order
  std::vector<SatelliteObservations> satellites;
  std::vector<Observation> observations;
};

/// The satellites of an epoch, in the order they were first listed.
inline std::span<const SatelliteObservations> satellites_of(const RinexObsData& data,
                                                            const ObservationEpoch& epoch) {
  return {data.satellites.data() + epoch.first_satellite, epoch.satellite_count};
}

/// The observations of a satellite at one epoch, in the order they were first stored.
inline std::span<const Observation> observations_of(const RinexObsData& data,
                                                    const SatelliteObservations& satellite) {
  return {data.observations.data() + satellite.first_observation, satellite.observation_count};
}

/// The code text of an observation.
inline const std::string& code_of(const RinexObsData& data, const Observation& observation) {
  return data.obs_codes[observation.code];
}

/// Whether an observation code carries C/N0 (signal strength): the codes beginning with S.
inline bool is_cn0_code(std::string_view code) { return !code.empty() && code.front() == 'S'; }

/// For each stored code index, whether that code carries C/N0.
std::vector<char> cn0_code_table(const RinexObsData& data);

/// Number of distinct satellite identifiers over all epochs.
std::uint64_t unique_satellite_count(const RinexObsData& data);

/// System letter text -> identifiers in order of first appearance; empty identifiers are left out.
OrderedMap<std::vector<std::string>> satellites_by_system(const RinexObsData& data);

}  // namespace qcn::rinex
