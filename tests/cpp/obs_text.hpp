// Builders of RINEX observation text for the tests: every field is placed at its column, so a
// wrong column shows in the test source.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "rinex/obs_data.hpp"

namespace qcn::test {

/// A line with each piece of text written at its column and blanks in between.
inline std::string columns(std::initializer_list<std::pair<std::size_t, std::string_view>> pieces) {
  std::string line;
  for (const auto& [col, text] : pieces) {
    if (line.size() < col + text.size()) line.resize(col + text.size(), ' ');
    line.replace(col, text.size(), text);
  }
  return line;
}

/// A header line: content from column 0, the label from column 60, and a line feed.
inline std::string header_line(std::string_view content, std::string_view label) {
  std::string line = columns({{0, content}, {60, label}});
  line += '\n';
  return line;
}

inline std::string end_of_header() { return header_line("", "END OF HEADER"); }

/// Text right-aligned in a field of the given width (longer text is kept whole).
inline std::string right(std::string_view text, std::size_t width) {
  std::string out;
  if (text.size() < width) out.assign(width - text.size(), ' ');
  out += text;
  return out;
}

/// A 16-column observation field: the value text right-aligned in 14 columns, then the
/// loss-of-lock and signal-strength characters (a NUL character leaves the field shorter).
inline std::string obs_field(std::string_view value, char lli = ' ', char ssi = ' ') {
  std::string out = right(value, 14);
  if (lli != '\0') out += lli;
  if (lli != '\0' && ssi != '\0') out += ssi;
  return out;
}

/// A version-3 satellite line: the identifier in columns 0-2, then the fields from column 3.
inline std::string sat_line_v3(std::string_view id, std::initializer_list<std::string> fields) {
  std::string line(id);
  line.resize(3, ' ');
  for (const std::string& f : fields) line += f;
  line += '\n';
  return line;
}

/// A version-3 epoch line: "> yyyy mm dd hh mm ss.sssssss  f nn".
inline std::string epoch_v3(std::string_view date, int flag, int count) {
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "> %.*s  %d%3d\n", static_cast<int>(date.size()), date.data(), flag, count);
  return buffer;
}

/// A version-3 header with the given "SYS / # / OBS TYPES" lines (system letter, codes).
inline std::string header_v3(std::initializer_list<std::pair<char, std::string_view>> systems,
                             std::string_view version = "3.04") {
  std::string text = header_line(right(version, 9) + "           OBSERVATION DATA    M", "RINEX VERSION / TYPE");
  for (const auto& [system, codes] : systems) {
    // System letter in column 0, the count in columns 3-5, codes from column 7.
    std::size_t count = 0;
    for (std::size_t i = 0; i < codes.size(); ++i) count += codes[i] != ' ' && (i == 0 || codes[i - 1] == ' ');
    std::string letter(1, system);
    text += header_line(columns({{0, letter}, {3, right(std::to_string(count), 3)}, {7, codes}}), "SYS / # / OBS TYPES");
  }
  text += end_of_header();
  return text;
}

/// A version-2 epoch line (columns: year 1-2, month 4-5, day 7-8, hour 10-11, minute 13-14,
/// second 15-25, flag 28, count 29-31, satellites from 32) and its continuation lines.
inline std::string epoch_v2(std::string_view yy_mm_dd_hh_mm, std::string_view second, int flag,
                            const std::vector<std::string>& satellites) {
  std::string count = std::to_string(satellites.size());
  std::string line = columns({{0, yy_mm_dd_hh_mm}, {15, right(second, 11)}, {26, right(std::to_string(flag), 3)},
                              {29, right(count, 3)}});
  for (std::size_t i = 0; i < satellites.size(); ++i) {
    if (i > 0 && i % 12 == 0) {
      line += '\n';
      line.append(32, ' ');
    }
    line += satellites[i];
  }
  line += '\n';
  return line;
}

/// A version-2 header declaring the codes on "# / TYPES OF OBSERV" lines of nine codes each.
inline std::string header_v2(const std::vector<std::string>& codes, std::string_view version = "2.11") {
  std::string text = header_line(right(version, 9) + "           OBSERVATION DATA    M", "RINEX VERSION / TYPE");
  for (std::size_t first = 0; first < codes.size(); first += 9) {
    std::string content = first == 0 ? right(std::to_string(codes.size()), 6) : std::string(6, ' ');
    for (std::size_t i = first; i < codes.size() && i < first + 9; ++i) content += right(codes[i], 6);
    text += header_line(content, "# / TYPES OF OBSERV");
  }
  text += end_of_header();
  return text;
}

/// The stored value of a code for a satellite at an epoch, or null.
inline const rinex::Observation* find_obs(const rinex::RinexObsData& data, const rinex::ObservationEpoch& epoch,
                                          std::string_view satellite, std::string_view code) {
  for (const rinex::SatelliteObservations& s : rinex::satellites_of(data, epoch)) {
    if (s.satellite.view() != satellite) continue;
    for (const rinex::Observation& o : rinex::observations_of(data, s)) {
      if (rinex::code_of(data, o) == code) return &o;
    }
  }
  return nullptr;
}

/// The satellites of an epoch as texts, in stored order.
inline std::vector<std::string> satellite_ids(const rinex::RinexObsData& data, const rinex::ObservationEpoch& epoch) {
  std::vector<std::string> ids;
  for (const rinex::SatelliteObservations& s : rinex::satellites_of(data, epoch)) ids.emplace_back(s.satellite.view());
  return ids;
}

/// Every epoch as text "time flag: sat code=value/lli/ssi ...", for comparing whole records.
inline std::string dump_epochs(const rinex::RinexObsData& data) {
  std::string out;
  char buffer[128];
  for (const rinex::ObservationEpoch& epoch : data.epochs) {
    const rinex::EpochTime& t = epoch.time;
    std::snprintf(buffer, sizeof buffer, "%d-%u-%u %u:%u:%.17g f%u:", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, static_cast<unsigned>(epoch.flag));
    out += buffer;
    for (const rinex::SatelliteObservations& s : rinex::satellites_of(data, epoch)) {
      out += ' ';
      out += s.satellite.view();
      for (const rinex::Observation& o : rinex::observations_of(data, s)) {
        std::snprintf(buffer, sizeof buffer, " %s=%.17g/%u/%u", rinex::code_of(data, o).c_str(), o.value,
                      static_cast<unsigned>(o.lli), static_cast<unsigned>(o.ssi));
        out += buffer;
      }
    }
    out += '\n';
  }
  return out;
}

}  // namespace qcn::test
