// Recognition of compressed data by content, never by file name.
#pragma once

#include <string_view>

#include "archive/decoded.hpp"

namespace qcn::archive {

/// The format of data by their first bytes: a compression format's magic number, or the first
/// line of compact RINEX. Anything else is plain.
Format detect_format(std::string_view data);

/// Whether the first line of data is a RINEX header line ("RINEX VERSION / TYPE") or the first
/// line of compact RINEX.
bool starts_like_rinex(std::string_view data);

}  // namespace qcn::archive
