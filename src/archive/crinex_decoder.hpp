// Compact RINEX (Hatanaka) decoding.
#pragma once

#include <cstdint>
#include <string_view>

#include "archive/decoded.hpp"

namespace qcn::archive {

/// Decodes compact RINEX 1.0 (of RINEX 2) or 3.0 (of RINEX 3 and 4) into the RINEX observation
/// text it was made from, byte for byte as the format's own decompression tool writes it. Fails
/// as corrupt with the line of the first problem, or as too_large rather than write more than
/// limit bytes.
[[nodiscard]] Decoded decode_crinex(std::string_view input, std::uint64_t limit);

}  // namespace qcn::archive
