// Unix compress (.Z) decoding: LZW.
#pragma once

#include <cstdint>
#include <string_view>

#include "archive/decoded.hpp"

namespace qcn::archive {

/// Decodes Unix compress data: LZW codes from 9 up to 16 bits wide, with or without block mode
/// (CLEAR codes). A stream cut inside a code fails; one cut between codes cannot be told from a
/// complete one, because the format records neither a length nor a checksum. Fails as too_large
/// rather than write more than limit bytes.
[[nodiscard]] Decoded decode_compress(std::string_view input, std::uint64_t limit);

}  // namespace qcn::archive
