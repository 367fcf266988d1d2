// The C/N0 values of an observation record as columns: one row per value, ready to be handed to
// array libraries without a per-value object.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "rinex/obs_data.hpp"

namespace qcn::rinex {

/// A column of small codes and the labels they index, such as satellite identifiers.
struct CodedColumn {
  std::vector<std::uint16_t> codes;
  std::vector<std::string> labels;  // in order of first appearance among the rows
};

/// Every stored value of a code beginning with S, epochs in file order and within an epoch in
/// the record's order. Times are nanoseconds since 1970 of the epoch as written (kNoEpochTime
/// where that count cannot hold it).
struct Cn0Columns {
  std::vector<std::int64_t> time_ns;
  CodedColumn satellite;
  CodedColumn system;  // constellation names: GPS, GLONASS, Galileo, BeiDou, QZSS, SBAS, Unknown
  CodedColumn signal;
  std::vector<double> cn0;  // dB-Hz
};

/// Numpy's "not a time": the time of an epoch that nanoseconds since 1970 cannot hold.
inline constexpr std::int64_t kNoEpochTime = std::numeric_limits<std::int64_t>::min();

/// The C/N0 columns of a record.
Cn0Columns cn0_columns(const RinexObsData& data);

/// Numbers labels in order of first appearance; codes beyond the 65535th share the last.
class LabelNumbering {
 public:
  explicit LabelNumbering(CodedColumn& column) : column_(column) {}
  /// The code of `key`, whose label is made by label() when the key is new.
  template <typename MakeLabel>
  std::uint16_t code(std::size_t key, MakeLabel&& label) {
    if (key >= known_.size()) known_.resize(key + 1, kUnknown);
    std::uint32_t& code = known_[key];
    if (code == kUnknown) {
      if (column_.labels.size() > 0xFFFF) return 0xFFFF;
      code = static_cast<std::uint32_t>(column_.labels.size());
      column_.labels.push_back(label());
    }
    return static_cast<std::uint16_t>(code);
  }

 private:
  static constexpr std::uint32_t kUnknown = 0xFFFFFFFF;
  CodedColumn& column_;
  std::vector<std::uint32_t> known_;
};

}  // namespace qcn::rinex
