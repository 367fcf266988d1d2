// Numbers of a file's satellites in order of first appearance: identifiers as written (G05, "G 5")
// are told apart, and the usual ones (a letter and two digits) are found in a table, not a hash.
#pragma once

#include <cstdint>
#include <limits>
#include <unordered_map>
#include <vector>

#include "rinex/satellite_id.hpp"

namespace qcn::rinex {

class SatelliteNumbering {
 public:
  static constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

  /// Numbering that continues the given list of numbered identifiers.
  explicit SatelliteNumbering(std::vector<SatelliteId>& ids) : ids_(ids), table_(256 * 100, kNone) {
    for (std::uint32_t n = 0; n < ids.size(); ++n) remember(ids[n], n);
  }

  /// The satellite's number; a satellite not seen before is numbered next and listed.
  std::uint32_t number_of(const SatelliteId& id) {
    std::uint32_t* slot = table_slot(id);
    std::uint32_t known = slot ? *slot : find_other(id);
    if (known != kNone) return known;
    const auto number = static_cast<std::uint32_t>(ids_.size());
    ids_.push_back(id);
    remember(id, number);
    return number;
  }

 private:
  // A letter followed by two digits has a place of its own: letter * 100 + number.
  std::uint32_t* table_slot(const SatelliteId& id) {
    if (id.size != 3) return nullptr;
    const char tens = id.chars[1];
    const char ones = id.chars[2];
    if (tens < '0' || tens > '9' || ones < '0' || ones > '9') return nullptr;
    const std::size_t place = static_cast<unsigned char>(id.chars[0]) * 100u +
                              static_cast<unsigned>(tens - '0') * 10u + static_cast<unsigned>(ones - '0');
    return &table_[place];
  }

  std::uint32_t find_other(const SatelliteId& id) const {
    auto it = others_.find(id.key());
    return it == others_.end() ? kNone : it->second;
  }

  void remember(const SatelliteId& id, std::uint32_t number) {
    if (std::uint32_t* slot = table_slot(id)) {
      *slot = number;
    } else {
      others_.emplace(id.key(), number);
    }
  }

  std::vector<SatelliteId>& ids_;
  std::vector<std::uint32_t> table_;
  std::unordered_map<std::uint32_t, std::uint32_t> others_;
};

}  // namespace qcn::rinex
