// Reading, decoding and parsing of inputs, with failures as values.
#include "python/file_input.hpp"

#include <functional>
#include <utility>

#include "archive/unpack.hpp"
#include "python/module_state.hpp"
#include "rinex/plain_input.hpp"

namespace qcn::python {
namespace {

/// Told of the bytes a parse has passed, which a mapped file may give back.
using Release = std::function<void(std::size_t, std::size_t)>;

template <typename Parse>
using ParsedBy = decltype(std::declval<Parse>()(std::string_view{}, std::string_view{}, Release{}));

/// Parses plain bytes under their plain file name.
template <typename Parse>
FileInput<ParsedBy<Parse>> parse_plain(std::string_view bytes, std::string_view name, Parse parse,
                                       Release release = {}) {
  FileInput<ParsedBy<Parse>> input;
  auto parsed = parse(bytes, name, std::move(release));
  if (parsed.error != rinex::ParseError::none) {
    input.failure = {InputFailure::Kind::unparsable, std::string(rinex::parse_error_text(parsed.error))};
    return input;
  }
  input.parsed = std::move(parsed);
  return input;
}

/// Reads the whole file, decodes and parses it; the bytes are released as soon as they are parsed.
template <typename Parse>
FileInput<ParsedBy<Parse>> read_and_parse(const std::string& path, std::string_view io_prefix, std::uint64_t limit,
                                          Parse parse) {
  rinex::PlainInput file = rinex::read_plain_input(path, limit);
  if (!file.ok()) {
    FileInput<ParsedBy<Parse>> input;
    bool unreadable = file.failure == rinex::PlainInput::Failure::unreadable;
    input.failure = unreadable ? InputFailure{InputFailure::Kind::unreadable, std::string(io_prefix) + file.error}
                               : InputFailure{InputFailure::Kind::unparsable, undecodable_message(file.unpacked.failure, limit)};
    return input;
  }
  return parse_plain(file.bytes(), file.unpacked.name, parse,
                     [&file](std::size_t begin, std::size_t end) { file.release(begin, end); });
}

/// Decodes bytes held by the caller and parses them.
template <typename Parse>
FileInput<ParsedBy<Parse>> unpack_and_parse(std::string_view bytes, std::string_view name, std::uint64_t limit,
                                            Parse parse) {
  archive::Unpacked unpacked = archive::unpack(bytes, name, limit);
  if (!unpacked.ok()) {
    FileInput<ParsedBy<Parse>> input;
    input.failure = {InputFailure::Kind::unparsable, undecodable_message(unpacked.failure, limit)};
    return input;
  }
  return parse_plain(unpacked.layers > 0 ? unpacked.bytes.view() : bytes, unpacked.name, parse);
}

/// The observation parser with the reading's threads and scope.
auto observation_parser(const ObservationReading& reading) {
  return [&reading](std::string_view bytes, std::string_view name, Release release) {
    return rinex::parse_observations(bytes, name, rinex::ParseOptions{reading.pool, reading.scope, std::move(release)});
  };
}

navigation::NavParse parse_nav(std::string_view bytes, std::string_view, const Release&) {
  return navigation::parse_navigation(bytes);
}

}  // namespace

FileInput<rinex::ObsParse> read_observations(const std::string& path, std::string_view io_prefix,
                                             const ObservationReading& reading) {
  return read_and_parse(path, io_prefix, reading.limit, observation_parser(reading));
}

FileInput<navigation::NavParse> read_navigation_file(const std::string& path, std::string_view io_prefix,
                                                     std::uint64_t limit) {
  return read_and_parse(path, io_prefix, limit, parse_nav);
}

FileInput<rinex::ObsParse> parse_observation_bytes(std::string_view bytes, std::string_view file_name,
                                                   const ObservationReading& reading) {
  return unpack_and_parse(bytes, file_name, reading.limit, observation_parser(reading));
}

FileInput<navigation::NavParse> parse_navigation_bytes(std::string_view bytes, std::uint64_t limit) {
  return unpack_and_parse(bytes, "", limit, parse_nav);
}

std::string undecodable_message(const archive::DecodeFailure& failure, std::uint64_t limit) {
  std::string text = archive::failure_text(failure, limit);
  if (failure.kind == archive::FailureKind::too_large) text += " (quorlin_cn0.set_decompression_limit raises it)";
  return text;
}

PyObject* raise_input_failure(const InputFailure& failure) {
  if (failure.kind == InputFailure::Kind::unreadable) return raise_io_error(failure.message);
  return raise_parse_error(failure.message);
}

}  // namespace qcn::python
