// bzip2 decoding (through libbz2).
#pragma once

#include <cstdint>
#include <string_view>

#include "archive/decoded.hpp"

namespace qcn::archive {

/// Decodes bzip2 data: one stream or several in a row (as parallel compressors write them),
/// each checked against its CRCs; zero bytes after the last stream are padding. Fails as
/// too_large rather than write more than limit bytes.
[[nodiscard]] Decoded decode_bzip2(std::string_view input, std::uint64_t limit);

}  // namespace qcn::archive
