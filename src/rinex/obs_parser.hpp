// RINEX observation parsing: bytes to RinexObsData.
#pragma once

#include <cstdint>
#include <string_view>

#include "parallel/thread_pool.hpp"
#include "rinex/obs_data.hpp"
#include "rinex/parse_error.hpp"

namespace qcn::rinex {

struct ObsParse {
  RinexObsData data;
  ParseError error = ParseError::none;
};

/// Parses a whole observation file; file_name becomes the marker name when the header has none.
/// Bytes of 0x80 and above read as '?'. Fails only without an END OF HEADER line. A large file is
/// read on the pool's threads when one is given, into the same record.
[[nodiscard]] ObsParse parse_observations(std::string_view bytes, std::string_view file_name,
                                          parallel::Pool* pool = nullptr);

}  // namespace qcn::rinex
