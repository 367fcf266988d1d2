// RINEX observation parsing: the header, then the reader of the header's version.
#include "rinex/obs_parser.hpp"

#include "rinex/obs_records.hpp"

namespace qcn::rinex {

std::string_view parse_error_text(ParseError error) {
  return error == ParseError::no_end_of_header ? "No END OF HEADER found" : "";
}

ObsParse parse_observations(std::string_view bytes, std::string_view file_name, parallel::Pool* pool,
                            ObservationScope scope) {
  return parse_observations(bytes, file_name, ParseOptions{pool, scope, {}});
}

ObsParse parse_observations(std::string_view bytes, std::string_view file_name, const ParseOptions& options) {
  parallel::Pool* pool = options.pool;
  const ObservationScope scope = options.scope;
  ObsParse parse;
  RinexObsData& data = parse.data;
  LineCursor cursor(bytes);
  if (!read_header(cursor, data)) {
    parse.data = RinexObsData{};
    parse.error = ParseError::no_end_of_header;
    return parse;
  }
  if (data.marker_name.empty()) data.marker_name = std::string(file_name);
  CodeTable codes = build_code_table(data, scope == ObservationScope::cn0_only);
  read_records(cursor, codes, data, pool, options.release ? &options.release : nullptr);
  return parse;
}

}  // namespace qcn::rinex
