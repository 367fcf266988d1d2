// Reading, decoding and parsing of input files by path or as bytes. Nothing here touches the
// interpreter, so it may run with the interpreter lock released; a failure is a value, raised
// once the lock is held again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "archive/decoded.hpp"
#include "navigation/nav_parser.hpp"
#include "parallel/thread_pool.hpp"
#include "python/limited_api.hpp"
#include "rinex/obs_parser.hpp"

namespace qcn::python {

/// Why an input gave no record: it could not be read (OSError), or could not be decoded or
/// parsed (ValueError).
struct InputFailure {
  enum class Kind { none, unreadable, unparsable };
  Kind kind = Kind::none;
  std::string message;
};

/// A parsed input, or the failure that ended its reading.
template <typename Parsed>
struct FileInput {
  std::optional<Parsed> parsed;  // empty exactly when failure is set
  InputFailure failure;
};

/// How observations are read: the bound of each decoded layer, the threads of the parse, and
/// which values are kept (an analysis needs the C/N0 values alone).
struct ObservationReading {
  std::uint64_t limit = 0;
  parallel::Pool* pool = nullptr;
  rinex::ObservationScope scope = rinex::ObservationScope::all;
};

/// Reads, decodes and parses an observation file; the parser gets the plain file name (the last
/// component of path without its compression suffixes). A read failure's message is io_prefix
/// followed by the operating system's text; each decoded layer is bounded by reading.limit bytes.
FileInput<rinex::ObsParse> read_observations(const std::string& path, std::string_view io_prefix,
                                             const ObservationReading& reading);

/// Reads, decodes and parses a navigation file, with failures as for read_observations.
FileInput<navigation::NavParse> read_navigation_file(const std::string& path, std::string_view io_prefix,
                                                     std::uint64_t limit);

/// Decodes and parses observation bytes; file_name (without the suffixes of the layers decoded)
/// is the parser's file name.
FileInput<rinex::ObsParse> parse_observation_bytes(std::string_view bytes, std::string_view file_name,
                                                   const ObservationReading& reading);

/// Decodes and parses navigation bytes.
FileInput<navigation::NavParse> parse_navigation_bytes(std::string_view bytes, std::uint64_t limit);

/// The ValueError message of a decoding failure; one over the limit says how to raise it.
std::string undecodable_message(const archive::DecodeFailure& failure, std::uint64_t limit);

/// Raises the exception of failure; the interpreter lock must be held. Returns null.
PyObject* raise_input_failure(const InputFailure& failure);

}  // namespace qcn::python
