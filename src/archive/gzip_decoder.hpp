// gzip decoding (DEFLATE through libdeflate).
#pragma once

#include <cstdint>
#include <string_view>

#include "archive/decoded.hpp"

namespace qcn::archive {

/// Decodes gzip data: one member or several in a row, each checked against its CRC32 and
/// ISIZE; zero bytes after the last member are padding. Fails as too_large rather than write
/// more than limit bytes.
[[nodiscard]] Decoded decode_gzip(std::string_view input, std::uint64_t limit);

}  // namespace qcn::archive
