// Reading the data member of a zip archive.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/decoded.hpp"

namespace qcn::archive {

/// A member's content and its name inside the archive.
struct ZipMember {
  Decoded content;
  std::string name;
};

/// The member that holds the data: the only file of the archive, else the first whose content
/// is RINEX, compact RINEX or itself compressed. Members are found through the central directory
/// (so members written with data descriptors read like any other, and zip64 sizes are used);
/// stored and deflated members are read and checked against their CRC32. Fails as too_large
/// rather than write more than limit bytes.
[[nodiscard]] ZipMember read_zip_member(std::string_view archive, std::uint64_t limit);

}  // namespace qcn::archive
