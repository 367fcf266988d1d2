// Epoch lines of RINEX observation records, versions 2 and 3.
#pragma once

#include <string>
#include <string_view>

#include "rinex/epoch_time.hpp"

namespace qcn::rinex {

/// An epoch time, or the reason the epoch line does not read (the readers skip such lines).
struct EpochLine {
  EpochTime time;
  std::string error;  // empty when the line read
  bool ok() const { return error.empty(); }
};

/// Reads the date of a version-3 epoch line from the text after '>', trimmed.
EpochLine parse_epoch_line_v3(std::string_view text);

/// Reads the date of a version-2 epoch line from its fixed columns.
EpochLine parse_epoch_line_v2(std::string_view line);

}  // namespace qcn::rinex
