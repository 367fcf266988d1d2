// The one way a RINEX file fails to parse.
#pragma once

#include <cstdint>
#include <string_view>

namespace qcn::rinex {

enum class ParseError : std::uint8_t { none, no_end_of_header };

/// The message of a parse error ("No END OF HEADER found").
std::string_view parse_error_text(ParseError error);

}  // namespace qcn::rinex
