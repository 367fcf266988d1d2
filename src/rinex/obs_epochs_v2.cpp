// Version-2 observation records: fixed-column epoch lines with satellite lists, then five
// 16-column fields per observation line.
#include <cstdio>
#include <vector>

#include "rinex/obs_epochs.hpp"
#include "rinex/obs_records.hpp"

namespace qcn::rinex {
namespace {

// RINEX 2 lists at most 12 satellites per line; more continue on the next lines from column 32.
constexpr std::uint64_t kSatellitesPerLine = 12;
constexpr std::size_t kFieldsPerLine = 5;

SatelliteId satellite_from_field(std::string_view text) {
  if (text.size() == 3) return SatelliteId::from(text);
  // A short field is a GPS satellite number: " 5" is G05.
  std::uint32_t number = parse_u32(text).value_or(0);
  char buffer[16];
  int n = std::snprintf(buffer, sizeof buffer, "G%02u", number);
  return SatelliteId::from(std::string_view(buffer, static_cast<std::size_t>(n)));
}

void read_satellite_fields(std::string_view part, std::uint64_t request, std::vector<SatelliteId>& out) {
  for (std::uint64_t j = 0; j < request; ++j) {
    std::size_t at = 3 * static_cast<std::size_t>(j);
    if (at + 3 > part.size()) continue;
    std::string_view text = trim(part.substr(at, 3));
    if (!text.empty()) out.push_back(satellite_from_field(text));
  }
}

// Reads the satellite list of the epoch line and its continuation lines.
void read_satellite_list(std::string_view line, std::uint64_t count, LineCursor& cursor,
                         std::vector<SatelliteId>& out) {
  out.clear();
  std::uint64_t request = count < kSatellitesPerLine ? count : kSatellitesPerLine;
  read_satellite_fields(rest(line, 32), request, out);
  std::uint64_t outstanding = count - request;
  while (outstanding > 0 && !cursor.at_end()) {
    std::string_view continuation = cursor.next();
    request = outstanding < kSatellitesPerLine ? outstanding : kSatellitesPerLine;
    read_satellite_fields(rest(continuation, 32), request, out);
    outstanding -= request;
  }
}

void read_observation_lines(LineCursor& cursor, const std::vector<std::uint32_t>& ids, EpochBuilder& builder) {
  const std::size_t line_count = (ids.size() + kFieldsPerLine - 1) / kFieldsPerLine;
  for (std::size_t k = 0; k < line_count && !cursor.at_end(); ++k) {
    std::string_view line = cursor.next();
    for (std::size_t f = 0; f < kFieldsPerLine; ++f) {
      std::size_t code = kFieldsPerLine * k + f;
      if (code >= ids.size() || line.size() <= 16 * f) break;
      builder.store(ids[code], field(line, 16 * f, 14), Observation::kNoIndicator, Observation::kNoIndicator);
    }
  }
}

}  // namespace

EpochLine parse_epoch_line_v2(std::string_view line) {
  EpochLine epoch;
  auto year = parse_i32(trim(field(line, 1, 2)));
  if (!year) {
    epoch.error = "Invalid year";
    return epoch;
  }
  // Two-digit years: 80 to 99 are 1980 to 1999, the rest 2000 to 2079.
  epoch.time.year = *year + (*year < 80 ? 2000 : 1900);
  struct Column {
    std::size_t col;
    std::uint32_t* out;
    const char* error;
  };
  const Column columns[] = {{4, &epoch.time.month, "Invalid month"},
                            {7, &epoch.time.day, "Invalid day"},
                            {10, &epoch.time.hour, "Invalid hour"},
                            {13, &epoch.time.minute, "Invalid minute"}};
  for (const Column& c : columns) {
    auto value = parse_u32(trim(field(line, c.col, 2)));
    if (!value) {
      epoch.error = c.error;
      return epoch;
    }
    *c.out = *value;
  }
  auto second = parse_float(trim(field(line, 15, 11)));
  if (!second) {
    epoch.error = "Invalid second";
    return epoch;
  }
  epoch.time.second = *second;
  return epoch;
}

std::size_t read_epochs_v2(LineCursor cursor, const CodeTable& codes, RinexObsData& data, const ReadLimits& limits,
                           ReadTrace* trace) {
  EpochBuilder builder(data, data.obs_codes.size());
  // Every satellite of a version-2 file is read with the codes declared for GPS.
  const std::vector<std::uint32_t>& ids = codes.codes_of('G');
  std::vector<SatelliteId> satellites;
  ReleaseTracker released(limits.release, cursor.offset());
  while (!cursor.at_end()) {
    const std::size_t line_offset = cursor.offset();
    if (must_stop(limits, line_offset)) return line_offset;
    released.at(line_offset);
    if (trace) trace->examined.push_back(line_offset);
    std::string_view line = cursor.next();
    if (line.size() < 26) continue;
    EpochLine date = parse_epoch_line_v2(line);
    if (!date.ok()) continue;
    std::uint8_t flag = parse_u8(trim(field(line, 26, 3))).value_or(0);
    if (line.size() < 32) continue;
    const auto count_field = parse_u32(trim(field(line, 29, 3)));
    std::uint64_t count = count_field.value_or(0);
    const std::size_t epochs_before = data.epochs.size();
    const std::size_t empty_before = data.empty_epochs.size();
    const std::uint64_t observations_before = data.observations.size();
    if (count == 0) {
      // A count written as 0 is an epoch without satellites; a blank or unreadable one is no epoch.
      if (count_field) {
        builder.begin_epoch(date.time, flag);
        builder.end_epoch();
      }
      trace_epoch(trace, data, line_offset, epochs_before, empty_before, observations_before);
      continue;
    }

    read_satellite_list(line, count, cursor, satellites);
    builder.begin_epoch(date.time, flag);
    for (SatelliteId satellite : satellites) {
      builder.begin_satellite(satellite);
      read_observation_lines(cursor, ids, builder);
      builder.end_satellite();
    }
    builder.end_epoch();
    trace_epoch(trace, data, line_offset, epochs_before, empty_before, observations_before);
  }
  return cursor.offset();
}

}  // namespace qcn::rinex
