// The version of a RINEX file, as the choice of layout needs it.
#pragma once

namespace qcn::rinex {

/// Whether the version written in a header (a decimal number, 0 when it did not read) selects
/// the layout of version 3 and later; 2.x and anything below take that of version 2.
constexpr bool is_version_3_or_later(double version) { return version >= 3.0; }

}  // namespace qcn::rinex
