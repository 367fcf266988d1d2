// The parsed observation file: header values and epochs of satellites' observations.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rinex/ecef.hpp"
#include "rinex/epoch_time.hpp"
#include "rinex/large_array_allocator.hpp"
#include "rinex/ordered_map.hpp"
#include "rinex/satellite_id.hpp"

namespace qcn::rinex {

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
/// code at most once; never empty, except in a record parsed for C/N0 alone, where a satellite
/// whose values are all of other codes keeps its place without them.
struct SatelliteObservations {
  SatelliteId satellite;
  std::uint32_t observation_count = 0;
  std::uint64_t first_observation = 0;
  std::uint32_t number = 0;  // the satellite's number: its place in RinexObsData::satellite_ids
};

/// One epoch: a range of RinexObsData::satellites, each identifier at most once, never empty.
struct ObservationEpoch {
  EpochTime time;
  std::uint8_t flag = 0;  // as written, 0 when blank or unreadable
  std::uint32_t satellite_count = 0;
  std::uint64_t first_satellite = 0;
};

/// An observation epoch (flag 0 or 1) that the file lists without any value: the receiver saw
/// nothing at that time. It is not among the epochs, whose order it keeps by `before`.
struct EmptyEpoch {
  EpochTime time;
  std::uint64_t before = 0;  // the number of stored epochs that precede it in the file
};

/// A parsed RINEX observation file. Built once by the parser, then only read.
struct RinexObsData {
  double version = 0.0;
  std::string marker_name;
  std::string receiver_type;
  std::string antenna_type;
  std::optional<Ecef> approx_position;
  double interval = 0.0;  // seconds
  char file_system = ' ';  // satellite system of the RINEX VERSION / TYPE line: G, R, E, S, M or blank
  std::optional<std::int32_t> leap_seconds;  // GPS time minus UTC, s, from LEAP SECONDS
  OrderedMap<std::vector<std::string>> obs_types;  // system letter -> codes in header order
  OrderedMap<std::int32_t> glonass_slots;          // slot number text -> frequency channel

  std::vector<std::string> obs_codes;  // every distinct code of the header, once
  std::vector<SatelliteId> satellite_ids;  // by number: every stored satellite, in order of first appearance
  std::vector<ObservationEpoch> epochs;  // in file order
  std::vector<EmptyEpoch> empty_epochs;  // in file order
  std::vector<SatelliteObservations, LargeArrayAllocator<SatelliteObservations>> satellites;
  std::vector<Observation, LargeArrayAllocator<Observation>> observations;
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

/// Visits the epochs in file order: `stored` for each stored epoch, `empty` with the time of each
/// empty one.
template <typename Stored, typename Empty>
void visit_epochs_in_file_order(const RinexObsData& data, Stored&& stored, Empty&& empty) {
  std::size_t next_empty = 0;
  for (std::size_t i = 0; i <= data.epochs.size(); ++i) {
    while (next_empty < data.empty_epochs.size() && data.empty_epochs[next_empty].before <= i) {
      empty(data.empty_epochs[next_empty++].time);
    }
    if (i < data.epochs.size()) stored(data.epochs[i]);
  }
}

/// The code text of an observation.
inline const std::string& code_of(const RinexObsData& data, const Observation& observation) {
  return data.obs_codes[observation.code];
}

/// Whether an observation code carries C/N0 (signal strength): the codes beginning with S.
inline bool is_cn0_code(std::string_view code) { return !code.empty() && code.front() == 'S'; }

/// For each stored code index, whether that code carries C/N0.
std::vector<char> cn0_code_table(const RinexObsData& data);

/// The systems whose C/N0 the file records, as a table by system letter. Version 3 and later:
/// the systems with a code beginning with S among their observation types. Version 2 declares
/// one list of types for every system, so without an S code no system is recorded; with one, the
/// system of the file's type letter (blank or G: GPS; R, E, S), or for mixed files (M) every
/// system with a satellite in the epochs.
std::array<bool, 256> recorded_systems(const RinexObsData& data);

/// Numbers the satellites of a record built without the parser (satellite_ids and each stored
/// satellite's number), as the parser does: in order of first appearance.
void number_satellites(RinexObsData& data);

/// Number of distinct satellite identifiers over all epochs.
std::uint64_t unique_satellite_count(const RinexObsData& data);

/// System letter text -> identifiers in order of first appearance; empty identifiers are left out.
OrderedMap<std::vector<std::string>> satellites_by_system(const RinexObsData& data);

}  // namespace qcn::rinex
