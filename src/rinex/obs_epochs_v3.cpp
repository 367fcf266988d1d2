// Version-3 observation records: '>' epoch lines followed by one line per satellite.
#include <array>

#include "rinex/obs_epochs.hpp"
#include "rinex/obs_records.hpp"

namespace qcn::rinex {
namespace {

// The first eight white-space separated parts of an epoch line and how many there are in all.
struct EpochParts {
  std::array<std::string_view, 8> part;
  std::size_t count = 0;
};

EpochParts split_parts(std::string_view text) {
  EpochParts parts;
  Words words(text);
  while (auto word = words.next()) {
    if (parts.count < parts.part.size()) parts.part[parts.count] = *word;
    ++parts.count;
  }
  return parts;
}

template <typename T>
bool read_field(std::string_view part, std::string_view name, IntRead<T> read, T& out, std::string& error) {
  if (read) {
    out = read.value;
    return true;
  }
  error = "Invalid " + std::string(name) + " '" + std::string(part) + "': " + std::string(int_error_text(read.error));
  return false;
}

EpochLine read_date(std::string_view text, const EpochParts& parts) {
  EpochLine line;
  if (text.empty()) {
    line.error = "Empty epoch string";
    return line;
  }
  if (parts.count < 6) {
    line.error = "Invalid epoch format: expected 6+ parts, got " + std::to_string(parts.count) + " in '" +
                 std::string(text) + "'";
    return line;
  }
  const auto& p = parts.part;
  std::int64_t year = 0;
  std::uint64_t month = 0, day = 0, hour = 0, minute = 0;
  if (!read_field(p[0], "year", read_signed(p[0], INT32_MIN, INT32_MAX), year, line.error) ||
      !read_field(p[1], "month", read_unsigned(p[1], UINT32_MAX), month, line.error) ||
      !read_field(p[2], "day", read_unsigned(p[2], UINT32_MAX), day, line.error) ||
      !read_field(p[3], "hour", read_unsigned(p[3], UINT32_MAX), hour, line.error) ||
      !read_field(p[4], "minute", read_unsigned(p[4], UINT32_MAX), minute, line.error)) {
    return line;
  }
  auto second = parse_float(p[5]);
  if (!second) {
    line.error = "Invalid second '" + std::string(p[5]) + "': invalid float literal";
    return line;
  }
  line.time = EpochTime{static_cast<std::int32_t>(year), static_cast<std::uint32_t>(month),
                        static_cast<std::uint32_t>(day), static_cast<std::uint32_t>(hour),
                        static_cast<std::uint32_t>(minute), *second};
  return line;
}

// A loss-of-lock or signal-strength digit; a blank or other character is no indicator.
std::uint32_t indicator(std::string_view data, std::size_t offset) {
  if (data.size() <= offset) return Observation::kNoIndicator;
  const char c = data[offset];
  return c >= '0' && c <= '9' ? static_cast<std::uint32_t>(c - '0') : Observation::kNoIndicator;
}

void read_satellite_line(std::string_view line, const CodeTable& codes, EpochBuilder& builder) {
  SatelliteId satellite = SatelliteId::from(trim(field(line, 0, 3)));
  const auto& ids = codes.codes_of(satellite.system());
  std::string_view data = rest(line, 3);
  builder.begin_satellite(satellite);
  for (std::size_t f = 0; f < ids.size() && data.size() > 16 * f; ++f) {
    std::size_t at = 16 * f;
    builder.store(ids[f], field(data, at, 14), indicator(data, at + 14), indicator(data, at + 15));
  }
  builder.end_satellite();
}

struct FlagAndCount {
  std::uint8_t flag = 0;
  std::uint64_t count = 0;
  bool count_read = false;  // the count was written and reads
};

/// The event flag (part 7) and the satellite count (part 8). The flag has one column and the
/// count the three after it, so a count of 100 or more touches the flag ("0104"): a part 7 of
/// four digits is both, read by those columns, instead of a flag of 104 and no count, which would
/// lose the whole epoch.
FlagAndCount flag_and_count(const EpochParts& parts) {
  FlagAndCount out;
  if (parts.count >= 7 && parts.part[6].size() == 4) {
    auto flag = parse_u8(parts.part[6].substr(0, 1));
    auto count = read_unsigned(parts.part[6].substr(1), UINT64_MAX);
    if (flag && count) return {*flag, count.value, true};
  }
  if (parts.count >= 7) out.flag = parse_u8(parts.part[6]).value_or(0);
  if (parts.count >= 8) {
    auto count = read_unsigned(parts.part[7], UINT64_MAX);
    if (count) {
      out.count = count.value;
      out.count_read = true;
    }
  }
  return out;
}

}  // namespace

EpochLine parse_epoch_line_v3(std::string_view text) { return read_date(text, split_parts(text)); }

std::size_t read_epochs_v3(LineCursor cursor, const CodeTable& codes, RinexObsData& data, const ReadLimits& limits,
                           ReadTrace* trace) {
  EpochBuilder builder(data, data.obs_codes.size());
  ReleaseTracker released(limits.release, cursor.offset());
  while (!cursor.at_end()) {
    const std::size_t line_offset = cursor.offset();
    if (must_stop(limits, line_offset)) return line_offset;
    released.at(line_offset);
    if (trace) trace->examined.push_back(line_offset);
    std::string_view line = cursor.next();
    if (line.empty() || line[0] != '>' || trim(line).empty()) continue;
    std::string_view text = trim(rest(line, 1));
    EpochParts parts = split_parts(text);
    EpochLine date = read_date(text, parts);
    if (!date.ok()) continue;
    auto [flag, count, count_read] = flag_and_count(parts);
    const std::size_t epochs_before = data.epochs.size();
    const std::size_t empty_before = data.empty_epochs.size();
    const std::uint64_t observations_before = data.observations.size();
    if (count == 0) {
      // A count written as 0 is an epoch without satellites, kept only as its time.
      if (count_read) {
        builder.begin_epoch(date.time, flag);
        builder.end_epoch();
      }
      trace_epoch(trace, data, line_offset, epochs_before, empty_before, observations_before);
      continue;
    }
    builder.begin_epoch(date.time, flag);
    for (std::uint64_t k = 0; k < count && !cursor.at_end(); ++k) {
      LineCursor after = cursor;
      std::string_view satellite_line = after.next();
      // An empty or '>' line ends the epoch early and is read again as a possible epoch line.
      if (satellite_line.empty() || satellite_line[0] == '>') break;
      cursor = after;
      if (satellite_line.size() < 3) continue;
      read_satellite_line(satellite_line, codes, builder);
    }
    builder.end_epoch();
    trace_epoch(trace, data, line_offset, epochs_before, empty_before, observations_before);
  }
  return cursor.offset();
}

}  // namespace qcn::rinex
