// Internal pieces of the observation parser shared by the header and the two record readers.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "rinex/obs_data.hpp"
#include "rinex/text.hpp"

namespace qcn::rinex {

/// The observation code ids of each system letter, position by position as in the header.
struct CodeTable {
  std::array<std::vector<std::uint32_t>, 256> by_system;

  const std::vector<std::uint32_t>& codes_of(char system) const {
    return by_system[static_cast<unsigned char>(system)];
  }
};

/// Fills obs_codes with every distinct code of obs_types and returns the per-system ids; codes
/// beyond Observation::kMaxCodes distinct ones get an id above it and are never stored.
CodeTable build_code_table(RinexObsData& data);

/// Reads the header from the cursor; true when END OF HEADER was seen, the cursor then standing
/// on the first record line.
bool read_header(LineCursor& cursor, RinexObsData& data);

/// Appends the epochs of a version-3 record section.
void read_epochs_v3(LineCursor cursor, const CodeTable& codes, RinexObsData& data);

/// Appends the epochs of a version-2 record section.
void read_epochs_v2(LineCursor cursor, const CodeTable& codes, RinexObsData& data);

/// Builds epochs in the flat arrays of RinexObsData: a code stored twice for a satellite keeps
/// the later value, a satellite listed twice in an epoch keeps the later listing, and empty
/// satellites and epochs leave nothing behind.
class EpochBuilder {
 public:
  EpochBuilder(RinexObsData& data, std::size_t code_count);

  void begin_epoch(const EpochTime& time, std::uint8_t flag);
  void begin_satellite(SatelliteId satellite);
  /// Stores the value of a field unless it is blank, unreadable or zero.
  void store(std::uint32_t code, std::string_view value_text, std::uint32_t lli, std::uint32_t ssi) {
    if (code > Observation::kMaxCodes) return;
    auto value = parse_float(trim(value_text));
    if (!value || *value == 0.0) return;
    Observation observation;
    observation.value = *value;
    observation.code = code;
    observation.lli = lli;
    observation.ssi = ssi;
    store_value(code, observation);
  }
  void end_satellite();
  void end_epoch();

 private:
  void store_value(std::uint32_t code, const Observation& observation);
  SatelliteObservations* earlier_listing(SatelliteId satellite);

  RinexObsData& data_;
  ObservationEpoch epoch_;
  SatelliteObservations satellite_;
  // Per code: the satellite serial that last stored it and where, to spot repeated codes.
  std::vector<std::uint64_t> code_serial_;
  std::vector<std::uint32_t> code_slot_;
  std::uint64_t satellite_serial_ = 0;
  // Epochs with many satellites look up earlier listings by hash instead of by scan.
  std::unordered_map<std::uint32_t, std::uint64_t> listed_;
};

}  // namespace qcn::rinex
