// RINEX navigation parsing (versions 2 and 3): bytes to NavigationData.
#pragma once

#include <string_view>

#include "navigation/nav_data.hpp"
#include "rinex/parse_error.hpp"

namespace qcn::navigation {

struct NavParse {
  NavigationData data;
  rinex::ParseError error = rinex::ParseError::none;
};

/// Parses a whole navigation file leniently; fails (with empty data) only without END OF HEADER.
/// Bytes of 0x80 and above read as '?'; the buffer is read in place, never copied.
[[nodiscard]] NavParse parse_navigation(std::string_view bytes);

}  // namespace qcn::navigation
