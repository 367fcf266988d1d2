// Compact RINEX: two header lines of its own, then the RINEX header unchanged. Each epoch is its
// epoch line as a text difference against the previous one (a line starting with '&' in version
// 1, or '>' in version 3, is complete and restarts every difference), the receiver clock offset
// as a differenced integer on a line of its own (empty when absent), and one line per satellite:
// one field per observation type, separated by blanks (empty when the value is missing), then
// the LLI and signal strength flags of all types as a text difference. Version 1 epoch lines
// hold every satellite on one line; the clock offset has 9 decimals in version 1, 12 in
// version 3. Event records (flags 2 to 5) and cycle slip records (flag 6) are copied unchanged.
#include "archive/crinex_decoder.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "archive/crinex_values.hpp"
#include "archive/satellite_index.hpp"

namespace qcn::archive {
namespace {

using detail::Arc;
using detail::FieldRead;

constexpr int kMaxTypes = 999;
// The problem text that stops decoding when the output would pass its limit.
constexpr std::string_view kOutputFull = "output limit reached";

// Column layout of the epoch line in each version.
struct Layout {
  std::size_t flag;        // the epoch flag
  std::size_t count;       // the three-column satellite (or record) count
  std::size_t satellites;  // the first satellite
  std::size_t time_end;    // the columns kept before the clock offset
  std::size_t clock_at;    // where the clock offset starts
  int clock_decimals;
  int clock_width;
};
constexpr Layout kVersion1{28, 29, 32, 32, 68, 9, 12};
constexpr Layout kVersion3{31, 32, 41, 41, 41, 12, 15};

// Lines without their line ends; a carriage return before the line feed is dropped.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : rest_(text) {}
  bool next(std::string_view& line) {
    if (rest_.empty()) return false;
    std::size_t end = rest_.find('\n');
    cut_ = end == std::string_view::npos;
    line = rest_.substr(0, end);
    rest_.remove_prefix(cut_ ? rest_.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++number_;
    return true;
  }
  // Whether the last line read ends the data without a line feed: a data line cut there may
  // have lost digits, so it is not trusted.
  bool cut() const { return cut_; }
  std::size_t number() const { return number_; }

 private:
  std::string_view rest_;
  std::size_t number_ = 0;
  bool cut_ = false;
};

bool has_label(std::string_view line, std::string_view label) {
  return line.size() >= 60 && line.substr(60).substr(0, label.size()) == label;
}

std::string_view trim_right(std::string_view text) {
  std::size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

// A count in columns [at, at + width), blanks around it allowed (some writers left-align it):
// blank reads 0; false when not a number.
bool read_count(std::string_view line, std::size_t at, std::size_t width, int& count) {
  std::string_view field = at < line.size() ? line.substr(at, width) : std::string_view();
  std::size_t first = field.find_first_not_of(' ');
  std::size_t last = field.find_last_not_of(' ');
  count = 0;
  if (first == std::string_view::npos) return true;
  for (char c : field.substr(first, last - first + 1)) {
    if (c < '0' || c > '9') return false;
    count = count * 10 + (c - '0');
  }
  return true;
}

// One satellite's decoding state, kept while it stays in consecutive epochs.
struct Slot {
  std::vector<Arc> arcs;
  std::string flags;
};

struct Satellite {
  std::array<char, 3> id;
  std::uint32_t slot;
  std::string_view name() const { return {id.data(), id.size()}; }
};

class Decoder {
 public:
  Decoder(std::string_view input, std::uint64_t limit, ByteBuffer& out) : lines_(input), limit_(limit), out_(out) {}

  // The problem of the first failure, empty on success; too_large() tells the output limit apart.
  std::string run();
  bool too_large() const { return too_large_; }

 private:
  std::string read_header();
  std::string read_epoch(std::string_view line);
  std::string copy_records(int count);
  std::string copy_cycle_slips(int count);
  bool listed(int count) const { return epoch_.size() >= layout_.satellites + 3 * static_cast<std::size_t>(count); }
  std::string_view satellite_list(int count) const {
    return std::string_view(epoch_).substr(layout_.satellites, 3 * static_cast<std::size_t>(count));
  }
  std::string read_clock(bool& has_clock, std::int64_t& clock);
  std::string place_satellites(int count);
  std::string place_satellite(std::array<char, 3> id);
  std::string read_satellite(const Satellite& satellite);
  void note_types(std::string_view line);
  int types_of(char system) const { return version_ == 1 ? types_[0] : types_[static_cast<unsigned char>(system) & 0x7f]; }
  void restart();
  std::uint32_t new_slot(int types);
  bool write(std::string_view text);
  bool write_epoch(std::string_view satellites, bool has_clock, std::int64_t clock);
  bool write_observations(const Satellite& satellite, int types);
  void end_line(std::size_t line_start);
  std::string at_line(std::string problem) const { return problem + " at line " + std::to_string(lines_.number()); }

  LineReader lines_;
  std::uint64_t limit_;
  ByteBuffer& out_;
  bool too_large_ = false;
  int version_ = 1;
  Layout layout_ = kVersion1;
  std::array<int, 128> types_{};  // version 1: types_[0]; version 3: by system letter
  std::string epoch_;
  bool has_epoch_ = false;
  Arc clock_arc_;
  std::vector<Slot> slots_;
  std::vector<std::uint32_t> free_slots_;
  std::vector<Satellite> satellites_;  // of the current epoch
  std::vector<Satellite> earlier_;     // of the epoch before, while matching
  std::vector<char> taken_;
  detail::SatelliteIndex index_;
  std::vector<std::int64_t> values_;
  std::vector<char> present_;
};

std::string Decoder::run() {
  std::string problem = read_header();
  std::string_view line;
  while (problem.empty() && lines_.next(line)) {
    if (line.empty()) continue;
    if (lines_.cut()) return at_line("unexpected end of data");
    problem = read_epoch(line);
  }
  return problem;
}

std::string Decoder::read_header() {
  std::string_view line;
  if (!lines_.next(line) || !has_label(line, "CRINEX VERS")) return "missing CRINEX VERS / TYPE line";
  std::string_view version = trim_right(line.substr(0, 20));
  version.remove_prefix(std::min(version.find_first_not_of(' '), version.size()));
  if (version.substr(0, 2) == "1.") {
    version_ = 1;
  } else if (version.substr(0, 2) == "3.") {
    version_ = 3;
    layout_ = kVersion3;
  } else {
    return "version " + std::string(version) + " (1.0 and 3.0 are read)";
  }
  bool first = true;
  while (lines_.next(line)) {
    // The program line is compact RINEX's own; every line after it is the RINEX header.
    if (first && has_label(line, "CRINEX PROG / DATE")) continue;
    first = false;
    note_types(line);
    if (!write(line) || !write("\n")) return std::string(kOutputFull);
    if (has_label(line, "END OF HEADER")) return "";
  }
  return "no END OF HEADER line";
}

// Observation types: "# / TYPES OF OBSERV" gives one count for every system in RINEX 2, "SYS /
// # / OBS TYPES" one per system letter in RINEX 3; continuation lines leave the count blank.
void Decoder::note_types(std::string_view line) {
  int count = 0;
  if (version_ == 1 && has_label(line, "# / TYPES OF OBSERV")) {
    if (line.substr(0, 6).find_first_not_of(' ') != std::string_view::npos && read_count(line, 0, 6, count)) {
      types_[0] = std::min(count, kMaxTypes);
    }
  } else if (version_ == 3 && has_label(line, "SYS / # / OBS TYPES") && line[0] != ' ') {
    if (read_count(line, 3, 3, count)) types_[static_cast<unsigned char>(line[0]) & 0x7f] = count;
  }
}

std::string Decoder::read_epoch(std::string_view line) {
  bool complete = line[0] == (version_ == 1 ? '&' : '>');
  if (complete) {
    epoch_.assign(line);
    if (version_ == 1) epoch_[0] = ' ';
    has_epoch_ = true;
    restart();
  } else if (!has_epoch_) {
    return at_line("epoch line differs from no earlier epoch line");
  } else {
    detail::apply_text_difference(line, epoch_);
  }
  int count = 0;
  if (!read_count(epoch_, layout_.count, 3, count)) return at_line("unreadable satellite count");
  char flag = layout_.flag < epoch_.size() ? epoch_[layout_.flag] : ' ';
  if (flag >= '2' && flag <= '5') {
    if (!write(trim_right(epoch_)) || !write("\n")) return std::string(kOutputFull);
    return copy_records(count);
  }
  if (flag == '6') return copy_cycle_slips(count);
  std::string problem = place_satellites(count);
  if (!problem.empty()) return problem;
  bool has_clock = false;
  std::int64_t clock = 0;
  problem = read_clock(has_clock, clock);
  if (!problem.empty()) return problem;
  if (!write_epoch(satellite_list(count), has_clock, clock)) return std::string(kOutputFull);
  for (const Satellite& satellite : satellites_) {
    problem = read_satellite(satellite);
    if (!problem.empty()) return problem;
  }
  return "";
}

// Cycle slip records: the epoch line (in RINEX 2 with its satellites), then the satellites'
// values as they are, on one line each in RINEX 3 and five values to a line in RINEX 2.
std::string Decoder::copy_cycle_slips(int count) {
  if (version_ == 3) {
    if (!write(trim_right(epoch_)) || !write("\n")) return std::string(kOutputFull);
    return copy_records(count);
  }
  if (!listed(count)) return at_line("epoch line lists fewer satellites than it counts");
  if (!write_epoch(satellite_list(count), false, 0)) return std::string(kOutputFull);
  return copy_records(count * std::max(1, (types_[0] + 4) / 5));
}

// Special records are copied as they are; header lines among them may change the observation types.
std::string Decoder::copy_records(int count) {
  std::string_view line;
  for (int i = 0; i < count; ++i) {
    if (!lines_.next(line) || lines_.cut()) return at_line("unexpected end of data");
    note_types(line);
    if (!write(line) || !write("\n")) return std::string(kOutputFull);
  }
  return "";
}

std::string Decoder::read_clock(bool& has_clock, std::int64_t& clock) {
  std::string_view line;
  if (!lines_.next(line) || lines_.cut()) return at_line("unexpected end of data");
  switch (detail::read_field(line, clock_arc_, clock)) {
    case FieldRead::value:
      has_clock = true;
      return "";
    case FieldRead::missing:
      return "";
    case FieldRead::unstarted:
      return at_line("clock offset difference without a starting value");
    case FieldRead::out_of_range:
      return at_line("clock offset out of range");
    case FieldRead::malformed:
      break;
  }
  return at_line("unreadable clock offset");
}

// A complete epoch line restarts every difference: no satellite continues.
void Decoder::restart() {
  for (const Satellite& satellite : satellites_) free_slots_.push_back(satellite.slot);
  satellites_.clear();
  clock_arc_.active = false;
}

std::uint32_t Decoder::new_slot(int types) {
  std::uint32_t slot = 0;
  if (free_slots_.empty()) {
    slot = static_cast<std::uint32_t>(slots_.size());
    slots_.emplace_back();
  } else {
    slot = free_slots_.back();
    free_slots_.pop_back();
  }
  Slot& state = slots_[slot];
  state.arcs.assign(static_cast<std::size_t>(types), Arc{});
  state.flags.assign(static_cast<std::size_t>(types) * 2, ' ');
  return slot;
}

// Satellites of this epoch that were in the previous one keep their state; the others start
// afresh, and the state of those that left is freed.
std::string Decoder::place_satellites(int count) {
  if (!listed(count)) return at_line("epoch line lists fewer satellites than it counts");
  earlier_.swap(satellites_);
  satellites_.clear();
  index_.start();
  for (std::size_t i = 0; i < earlier_.size(); ++i) {
    index_.add(detail::satellite_key(earlier_[i].name()), static_cast<std::uint32_t>(i));
  }
  taken_.assign(earlier_.size(), 0);
  std::string problem;
  for (int i = 0; i < count && problem.empty(); ++i) {
    const char* id = epoch_.data() + layout_.satellites + 3 * static_cast<std::size_t>(i);
    problem = place_satellite({id[0], id[1], id[2]});
  }
  for (std::size_t i = 0; i < earlier_.size(); ++i) {
    if (!taken_[i]) free_slots_.push_back(earlier_[i].slot);
  }
  return problem;
}

std::string Decoder::place_satellite(std::array<char, 3> id) {
  int types = types_of(id[0]);
  Satellite satellite{id, 0};
  if (version_ == 3 && types == 0) {
    return at_line("satellite " + std::string(satellite.name()) + " of a system without observation types");
  }
  std::uint32_t found = index_.find(detail::satellite_key(satellite.name()));
  if (found != detail::SatelliteIndex::kNone && !taken_[found] &&
      slots_[earlier_[found].slot].arcs.size() == static_cast<std::size_t>(types)) {
    taken_[found] = 1;
    satellite.slot = earlier_[found].slot;
  } else {
    satellite.slot = new_slot(types);
  }
  satellites_.push_back(satellite);
  return "";
}

std::string Decoder::read_satellite(const Satellite& satellite) {
  std::string_view line;
  if (!lines_.next(line) || lines_.cut()) return at_line("unexpected end of data");
  Slot& state = slots_[satellite.slot];
  std::size_t types = state.arcs.size();
  values_.resize(types);
  present_.assign(types, 0);
  std::string_view rest = line;
  bool fields_end = false;
  for (std::size_t i = 0; i < types; ++i) {
    std::size_t gap = fields_end ? std::string_view::npos : rest.find(' ');
    std::string_view field = fields_end ? std::string_view() : rest.substr(0, gap);
    switch (detail::read_field(field, state.arcs[i], values_[i])) {
      case FieldRead::value:
        present_[i] = 1;
        break;
      case FieldRead::missing:
        break;
      case FieldRead::malformed:
        return at_line("unreadable value of " + std::string(satellite.name()));
      case FieldRead::unstarted:
        return at_line("difference without a starting value for " + std::string(satellite.name()));
      case FieldRead::out_of_range:
        return at_line("value out of range for " + std::string(satellite.name()));
    }
    if (gap == std::string_view::npos) {
      fields_end = true;
      rest = std::string_view();
    } else {
      rest.remove_prefix(gap + 1);
    }
  }
  // What follows the last field is the flags' difference; a longer one has nothing to change.
  detail::apply_text_difference(rest.substr(0, state.flags.size()), state.flags);
  if (!write_observations(satellite, static_cast<int>(types))) return std::string(kOutputFull);
  return "";
}

bool Decoder::write(std::string_view text) {
  if (!out_.reserve_more(text.size(), limit_)) {
    too_large_ = true;
    return false;
  }
  out_.append(text);
  return true;
}

// Ends the line begun at line_start: trailing blanks go, a line feed follows.
void Decoder::end_line(std::size_t line_start) {
  std::size_t end = out_.size();
  while (end > line_start && out_.data()[end - 1] == ' ') --end;
  out_.truncate(end);
  out_.push_back('\n');
}

// RINEX 3: the epoch line and the clock offset. RINEX 2: at most 12 satellites on the epoch line,
// with the clock offset after them; the rest on continuation lines.
bool Decoder::write_epoch(std::string_view satellites, bool has_clock, std::int64_t clock) {
  std::size_t count = satellites.size() / 3;
  std::size_t bound = layout_.clock_at + detail::kMaxScaledWidth + 1 + (count / 12 + 1) * (layout_.satellites + 38);
  if (!out_.reserve_more(bound, limit_)) {
    too_large_ = true;
    return false;
  }
  std::size_t line_start = out_.size();
  std::string_view head = std::string_view(epoch_).substr(0, layout_.time_end);
  out_.append(head);
  for (std::size_t i = head.size(); i < layout_.time_end; ++i) out_.push_back(' ');
  std::size_t on_first_line = version_ == 1 ? std::min<std::size_t>(count, 12) : 0;
  out_.append(satellites.substr(0, 3 * on_first_line));
  if (has_clock) {
    while (out_.size() - line_start < layout_.clock_at) out_.push_back(' ');
    out_.commit(detail::format_scaled(clock, layout_.clock_decimals, layout_.clock_width, out_.end()));
  }
  end_line(line_start);
  for (std::size_t i = on_first_line; i < count && version_ == 1; i += 12) {
    line_start = out_.size();
    for (std::size_t k = 0; k < layout_.satellites; ++k) out_.push_back(' ');
    out_.append(satellites.substr(3 * i, 36));
    end_line(line_start);
  }
  return true;
}

// Each value takes 14 columns with 3 decimals, followed by its two flags; RINEX 3 puts a
// satellite's values on one line after its identifier, RINEX 2 five to a line.
bool Decoder::write_observations(const Satellite& satellite, int types) {
  const Slot& state = slots_[satellite.slot];
  std::size_t bound = 4 + static_cast<std::size_t>(types) * (detail::kMaxScaledWidth + 3);
  if (!out_.reserve_more(bound, limit_)) {
    too_large_ = true;
    return false;
  }
  std::size_t line_start = out_.size();
  if (version_ == 3) out_.append(satellite.name());
  for (int i = 0; i < types; ++i) {
    if (version_ == 1 && i > 0 && i % 5 == 0) {
      end_line(line_start);
      line_start = out_.size();
    }
    std::size_t k = static_cast<std::size_t>(i);
    if (present_[k]) {
      out_.commit(detail::format_scaled(values_[k], 3, 14, out_.end()));
      out_.push_back(state.flags[2 * k]);
      out_.push_back(state.flags[2 * k + 1]);
    } else {
      // A missing value has no flags, whatever the flags' text still holds for it.
      out_.append("                ");
    }
  }
  if (version_ == 3 || types > 0) end_line(line_start);
  return true;
}

}  // namespace

Decoded decode_crinex(std::string_view input, std::uint64_t limit) {
  Decoded decoded;
  // Compact RINEX usually expands three to four times.
  std::uint64_t guess = static_cast<std::uint64_t>(input.size()) * 4 + 65536;
  if (!decoded.bytes.reserve_exactly(static_cast<std::size_t>(guess < limit ? guess : limit), limit)) {
    return failed(FailureKind::too_large, Format::crinex, "");
  }
  Decoder decoder(input, limit, decoded.bytes);
  std::string problem = decoder.run();
  if (decoder.too_large()) return failed(FailureKind::too_large, Format::crinex, "");
  if (!problem.empty()) return failed(FailureKind::corrupt, Format::crinex, std::move(problem));
  decoded.bytes.shrink_to_fit();
  return decoded;
}

}  // namespace qcn::archive
