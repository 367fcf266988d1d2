// RINEX observation parsing: bytes to RinexObsData.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "parallel/thread_pool.hpp"
#include "rinex/obs_data.hpp"
#include "rinex/parse_error.hpp"

namespace qcn::rinex {

struct ObsParse {
  RinexObsData data;
  ParseError error = ParseError::none;
};

/// Which observations a parse stores: all of them, or the C/N0 values alone (codes beginning with
/// S) for an analysis that reads nothing else. Epochs and satellites are the same either way: a
/// satellite is kept when it holds any value; with cn0_only it may keep no stored observation.
enum class ObservationScope : std::uint8_t { all, cn0_only };

/// How a parse runs: on which threads, what it keeps, and whom it tells of the text it has passed
/// (bytes that a mapped file may give back; offsets into the bytes parsed).
struct ParseOptions {
  parallel::Pool* pool = nullptr;
  ObservationScope scope = ObservationScope::all;
  std::function<void(std::size_t begin, std::size_t end)> release;
};

/// Parses a whole observation file; file_name becomes the marker name when the header has none.
/// Bytes of 0x80 and above read as '?'. Fails only without an END OF HEADER line. A large file is
/// read on the pool's threads when one is given, into the same record.
[[nodiscard]] ObsParse parse_observations(std::string_view bytes, std::string_view file_name,
                                          const ParseOptions& options);

/// The same with a pool and a scope.
[[nodiscard]] ObsParse parse_observations(std::string_view bytes, std::string_view file_name,
                                          parallel::Pool* pool = nullptr,
                                          ObservationScope scope = ObservationScope::all);

}  // namespace qcn::rinex
