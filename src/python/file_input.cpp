// Reading and parsing of input files by path, with failures as values.
#include "python/file_input.hpp"

#include <utility>

#include "python/module_state.hpp"
#include "rinex/file_reader.hpp"

namespace qcn::python {
namespace {

/// Reads the whole file and parses it; the bytes are released as soon as they are parsed.
template <typename Parse>
auto read_and_parse(const std::string& path, std::string_view io_prefix, Parse parse)
    -> FileInput<decltype(parse(std::string_view{}))> {
  FileInput<decltype(parse(std::string_view{}))> input;
  rinex::FileRead file = rinex::read_file(path);
  if (!file.ok()) {
    input.failure = {InputFailure::Kind::unreadable, std::string(io_prefix) + file.error};
    return input;
  }
  auto parsed = parse(std::string_view(file.bytes));
  if (parsed.error != rinex::ParseError::none) {
    input.failure = {InputFailure::Kind::unparsable, std::string(rinex::parse_error_text(parsed.error))};
    return input;
  }
  input.parsed = std::move(parsed);
  return input;
}

}  // namespace

FileInput<rinex::ObsParse> read_observations(const std::string& path, std::string_view io_prefix) {
  return read_and_parse(path, io_prefix, [&](std::string_view bytes) {
    return rinex::parse_observations(bytes, rinex::file_name_of(path));
  });
}

FileInput<navigation::NavParse> read_navigation_file(const std::string& path, std::string_view io_prefix) {
  return read_and_parse(path, io_prefix, [](std::string_view bytes) { return navigation::parse_navigation(bytes); });
}

PyObject* raise_input_failure(const InputFailure& failure) {
  if (failure.kind == InputFailure::Kind::unreadable) return raise_io_error(failure.message);
  return raise_parse_error(failure.message);
}

}  // namespace qcn::python
