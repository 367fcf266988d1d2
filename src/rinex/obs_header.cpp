// The header of a RINEX observation file: labels in columns 60 and beyond.
#include <array>
#include <string>

#include "rinex/leap_seconds.hpp"
#include "rinex/obs_records.hpp"

namespace qcn::rinex {
namespace {

constexpr std::size_t kLabelColumn = 60;

bool contains(std::string_view label, std::string_view text) {
  return label.find(text) != std::string_view::npos;
}

bool is_system_letter(char c) {
  return c == 'G' || c == 'R' || c == 'E' || c == 'J' || c == 'C' || c == 'I' || c == 'S';
}

// Version 2 writes two-character codes; they are stored as the version-3 codes they stand for.
std::string_view version3_code(std::string_view code) {
  struct Rename {
    std::string_view from, to;
  };
  static constexpr std::array<Rename, 11> kRenames = {{{"C1", "C1C"},
                                                       {"P1", "C1P"},
                                                       {"L1", "L1C"},
                                                       {"S1", "S1C"},
                                                       {"C2", "C2C"},
                                                       {"P2", "C2P"},
                                                       {"L2", "L2C"},
                                                       {"S2", "S2C"},
                                                       {"C5", "C5Q"},
                                                       {"L5", "L5Q"},
                                                       {"S5", "S5Q"}}};
  for (const Rename& r : kRenames) {
    if (r.from == code) return r.to;
  }
  return code;
}

class HeaderReader {
 public:
  explicit HeaderReader(RinexObsData& data) : data_(data) {}

  // Reads one labelled line; true at END OF HEADER.
  bool read(std::string_view line) {
    std::string_view label = trim(rest(line, kLabelColumn));
    if (contains(label, "RINEX VERSION")) {
      if (auto v = parse_float(trim(field(line, 0, 9)))) data_.version = *v;
      data_.file_system = line[40];
    } else if (contains(label, "MARKER NAME")) {
      data_.marker_name = to_ascii_text(trim(field(line, 0, 60)));
    } else if (contains(label, "REC # / TYPE")) {
      data_.receiver_type = to_ascii_text(trim(field(line, 20, 20)));
    } else if (contains(label, "ANT # / TYPE")) {
      data_.antenna_type = to_ascii_text(trim(field(line, 20, 20)));
    } else if (contains(label, "APPROX POSITION XYZ")) {
      read_position(line);
    } else if (contains(label, "INTERVAL")) {
      if (auto v = parse_float(trim(field(line, 0, 10)))) data_.interval = *v;
    } else if (contains(label, "SYS / # / OBS TYPES")) {
      read_codes_v3(line);
    } else if (contains(label, "# / TYPES OF OBSERV")) {
      read_codes_v2(line);
    } else if (contains(label, "GLONASS SLOT / FRQ") || contains(label, "GLONASS COD/PHS/BIS")) {
      read_glonass_slots(line);
    } else if (contains(label, "LEAP SECONDS")) {
      if (auto leap = read_leap_seconds(line)) data_.leap_seconds = *leap;
    } else if (contains(label, "END OF HEADER")) {
      return true;
    }
    return false;
  }

 private:
  void read_position(std::string_view line) {
    std::array<double, 3> xyz{};
    std::size_t found = 0;
    Words words(field(line, 0, 60));
    while (auto word = words.next()) {
      if (auto v = parse_float(*word)) {
        xyz[found++] = *v;
        if (found == 3) break;
      }
    }
    if (found == 3) data_.approx_position = Ecef{xyz[0], xyz[1], xyz[2]};
  }

  // A line that starts with a system letter opens that system; other lines continue it.
  void read_codes_v3(std::string_view line) {
    if (!line.empty() && is_system_letter(line[0])) current_system_ = line[0];
    if (current_system_ == 0) return;
    Words words(field(line, 6, 54));
    std::vector<std::string>* codes = nullptr;
    while (auto word = words.next()) {
      if (!codes) codes = &data_.obs_types[std::string_view(&current_system_, 1)];
      codes->push_back(to_ascii_text(*word));
    }
  }

  // Version 2 declares one list for every system; the leading count is dropped with the digits.
  void read_codes_v2(std::string_view line) {
    Words words(field(line, 0, 60));
    while (auto word = words.next()) {
      if (word->size() < 2 || ((*word)[0] >= '0' && (*word)[0] <= '9')) continue;
      std::string code = to_ascii_text(version3_code(*word));
      for (std::string_view system : {"G", "R", "E", "C"}) data_.obs_types[system].push_back(code);
    }
  }

  // Pairs of a slot "R01" and its frequency channel; anything else is stepped over.
  void read_glonass_slots(std::string_view line) {
    std::array<std::string_view, 32> pieces;
    std::size_t count = 0;
    Words words(field(line, 0, 60));
    while (auto word = words.next()) {
      if (count < pieces.size()) pieces[count++] = *word;
    }
    for (std::size_t i = 0; i + 1 < count;) {
      std::string_view slot_text = pieces[i];
      auto slot = slot_text.size() >= 3 && slot_text[0] == 'R' ? parse_u32(slot_text.substr(1)) : std::nullopt;
      auto channel = slot ? parse_i32(pieces[i + 1]) : std::nullopt;
      if (slot && channel) {
        data_.glonass_slots.insert_or_assign(std::to_string(*slot), *channel);
        i += 2;
      } else {
        i += 1;
      }
    }
  }

  RinexObsData& data_;
  char current_system_ = 0;
};

}  // namespace

bool read_header(LineCursor& cursor, RinexObsData& data) {
  HeaderReader reader(data);
  while (!cursor.at_end()) {
    std::string_view line = cursor.next();
    if (line.size() < kLabelColumn) continue;
    if (reader.read(line)) return true;
  }
  return false;
}

CodeTable build_code_table(RinexObsData& data, bool cn0_only) {
  CodeTable table;
  std::unordered_map<std::string_view, std::uint32_t> ids;
  // The keys view the strings of obs_types, which stays unchanged here.
  for (const auto& [system, codes] : data.obs_types) {
    for (const std::string& code : codes) {
      if (ids.size() > Observation::kMaxCodes) break;
      if (ids.emplace(code, static_cast<std::uint32_t>(ids.size())).second) data.obs_codes.push_back(code);
    }
  }
  for (const auto& [system, codes] : data.obs_types) {
    auto& by_position = table.by_system[static_cast<unsigned char>(system[0])];
    for (const std::string& code : codes) {
      auto it = ids.find(code);
      if (it == ids.end()) {
        by_position.push_back(Observation::kMaxCodes + 1);
      } else {
        by_position.push_back(cn0_only && !is_cn0_code(code) ? CodeTable::kPresenceOnly : it->second);
      }
    }
  }
  return table;
}

}  // namespace qcn::rinex
