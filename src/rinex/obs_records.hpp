// Internal pieces of the observation parser shared by the header and the two record readers.
#pragma once

#include <algorithm>
#include <array>
#include <functional>
#include <cstdint>
#include <string>
#include <string_view>
#include <span>
#include <vector>

#include "parallel/thread_pool.hpp"
#include "rinex/obs_data.hpp"
#include "rinex/satellite_numbering.hpp"
#include "rinex/text.hpp"

namespace qcn::rinex {

/// The observation code ids of each system letter, position by position as in the header. A
/// code that is read only for whether it holds a value has the id kPresenceOnly.
struct CodeTable {
  static constexpr std::uint32_t kPresenceOnly = Observation::kMaxCodes + 2;

  std::array<std::vector<std::uint32_t>, 256> by_system;

  const std::vector<std::uint32_t>& codes_of(char system) const {
    return by_system[static_cast<unsigned char>(system)];
  }
};

/// Fills obs_codes with every distinct code of obs_types and returns the per-system ids; codes
/// beyond Observation::kMaxCodes distinct ones get an id above it and are never stored. With
/// cn0_only, codes that do not carry C/N0 are read for presence only.
CodeTable build_code_table(RinexObsData& data, bool cn0_only = false);

/// Reads the header from the cursor; true when END OF HEADER was seen, the cursor then standing
/// on the first record line.
bool read_header(LineCursor& cursor, RinexObsData& data);

/// Told that the text in [begin, end) has been read and is not needed any more.
using ReleaseText = std::function<void(std::size_t, std::size_t)>;

/// Where a record reader stops: at the first line it would examine as a possible epoch line at
/// or after stop_at, or at one of the sync points (ascending offsets), or at the end of the text.
struct ReadLimits {
  std::size_t stop_at = static_cast<std::size_t>(-1);
  const std::vector<std::size_t>* sync_points = nullptr;
  const ReleaseText* release = nullptr;  // told of the text a reader has passed, now and then
};

/// Tells the reader's progress to a ReleaseText every few megabytes: the text from where the
/// reader began to the line it stands on will not be read by it again.
class ReleaseTracker {
 public:
  ReleaseTracker(const ReleaseText* release, std::size_t begin) : release_(release), from_(begin) {}
  void at(std::size_t offset) {
    if (release_ == nullptr || !*release_ || offset < from_ + kStep) return;
    (*release_)(from_, offset);
    from_ = offset;
  }

 private:
  static constexpr std::size_t kStep = std::size_t{8} << 20;
  const ReleaseText* release_;
  std::size_t from_;
};

/// What a record reader saw: the offset of every line it examined as a possible epoch line, and
/// for every epoch it kept (stored or empty) the offset of its epoch line; for stored epochs also
/// the size of the observation array when the epoch began.
struct ReadTrace {
  std::vector<std::size_t> examined;
  std::vector<std::size_t> epoch_lines;
  std::vector<std::uint64_t> epoch_observations;
  std::vector<std::size_t> empty_lines;
};

/// Appends the epochs of a version-3 record section from the cursor; returns the offset where it
/// stopped. The trace, when given, records what it saw.
std::size_t read_epochs_v3(LineCursor cursor, const CodeTable& codes, RinexObsData& data, const ReadLimits& limits = {},
                           ReadTrace* trace = nullptr);

/// The same for a version-2 record section.
std::size_t read_epochs_v2(LineCursor cursor, const CodeTable& codes, RinexObsData& data, const ReadLimits& limits = {},
                           ReadTrace* trace = nullptr);

/// Reads the record section from the cursor into data in pieces that begin at the given splits
/// (line starts, ascending), on the pool's threads when there is one; the record is the one a
/// single pass from the cursor gives.
void read_records_split(LineCursor cursor, const CodeTable& codes, RinexObsData& data,
                        std::span<const std::size_t> splits, parallel::Pool* pool, const ReleaseText* release = nullptr);

/// Reads the record section from the cursor, cut into as many pieces as the pool has threads
/// when it is large enough to gain from them.
void read_records(LineCursor cursor, const CodeTable& codes, RinexObsData& data, parallel::Pool* pool,
                  const ReleaseText* release = nullptr);

/// Whether the reader at offset must stop (see ReadLimits).
inline bool must_stop(const ReadLimits& limits, std::size_t offset) {
  if (offset >= limits.stop_at) return true;
  if (limits.sync_points == nullptr) return false;
  const auto& points = *limits.sync_points;
  return std::binary_search(points.begin(), points.end(), offset);
}

/// Notes in the trace the epoch just ended, if the reader kept it.
inline void trace_epoch(ReadTrace* trace, const RinexObsData& data, std::size_t line_offset, std::size_t epochs_before,
                        std::size_t empty_before, std::uint64_t observations_before) {
  if (trace == nullptr) return;
  if (data.epochs.size() > epochs_before) {
    trace->epoch_lines.push_back(line_offset);
    trace->epoch_observations.push_back(observations_before);
  } else if (data.empty_epochs.size() > empty_before) {
    trace->empty_lines.push_back(line_offset);
  }
}

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
    if (code == CodeTable::kPresenceOnly) {
      has_value_ = has_value_ || has_nonzero_value(value_text);
      return;
    }
    double value = 0.0;
    const FieldRead read = read_fixed_point(value_text, value);
    if (read == FieldRead::blank || read == FieldRead::zero || code > Observation::kMaxCodes) return;
    if (read == FieldRead::other) {
      auto parsed = parse_float(trim(value_text));
      if (!parsed || *parsed == 0.0) return;
      value = *parsed;
    }
    Observation observation;
    observation.value = value;
    observation.code = code;
    observation.lli = lli;
    observation.ssi = ssi;
    store_value(code, observation);
  }
  void end_satellite();
  void end_epoch();

 private:
  void store_value(std::uint32_t code, const Observation& observation) {
    if (code_serial_[code] == satellite_serial_) {
      data_.observations[satellite_.first_observation + code_slot_[code]] = observation;
      return;
    }
    code_serial_[code] = satellite_serial_;
    code_slot_[code] = satellite_.observation_count;
    data_.observations.push_back(observation);
    ++satellite_.observation_count;
  }
  SatelliteObservations* earlier_listing(std::uint32_t number);

  RinexObsData& data_;
  SatelliteNumbering numbering_;
  bool has_value_ = false;  // the current satellite holds a value of a code read for presence only
  ObservationEpoch epoch_;
  SatelliteObservations satellite_;
  // Per code: the satellite serial that last stored it and where, to spot repeated codes.
  std::vector<std::uint64_t> code_serial_;
  std::vector<std::uint32_t> code_slot_;
  std::uint64_t satellite_serial_ = 0;
  // Per satellite number: the epoch serial that last stored it and where, to spot repeated listings.
  std::vector<std::uint64_t> number_epoch_;
  std::vector<std::uint64_t> number_place_;
  std::uint64_t epoch_serial_ = 0;
};

}  // namespace qcn::rinex
