// Reading and parsing of input files by path. Nothing here touches the interpreter, so it may run
// with the interpreter lock released; a failure is a value, raised once the lock is held again.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "navigation/nav_parser.hpp"
#include "python/limited_api.hpp"
#include "rinex/obs_parser.hpp"

namespace qcn::python {

/// Why a file gave no record: it could not be read (OSError) or did not parse (ValueError).
struct InputFailure {
  enum class Kind { none, unreadable, unparsable };
  Kind kind = Kind::none;
  std::string message;
};

/// A parsed file, or the failure that ended its reading.
template <typename Parsed>
struct FileInput {
  std::optional<Parsed> parsed;  // empty exactly when failure is set
  InputFailure failure;
};

/// Reads and parses an observation file; the parser gets the last component of path as file name.
/// A read failure's message is io_prefix followed by the operating system's text.
FileInput<rinex::ObsParse> read_observations(const std::string& path, std::string_view io_prefix);

/// Reads and parses a navigation file, with read failures as for read_observations.
FileInput<navigation::NavParse> read_navigation_file(const std::string& path, std::string_view io_prefix);

/// Raises the exception of failure; the interpreter lock must be held. Returns null.
PyObject* raise_input_failure(const InputFailure& failure);

}  // namespace qcn::python
