// RINEX observation parsing: the header, then the reader of the header's version.
#include "rinex/obs_parser.hpp"

#include "rinex/obs_records.hpp"

namespace qcn::rinex {

std::string_view parse_error_text(ParseError error) {
  return error == ParseError::no_end_of_header ? "No END OF HEADER found" : "";
}

ObsParse parse_observations(std::string_view bytes, std::string_view file_name) {
  ObsParse parse;
  RinexObsData& data = parse.data;
  LineCursor cursor(bytes);
  if (!read_header(cursor, data)) {
    parse.data = RinexObsData{};
    parse.error = ParseError::no_end_of_header;
    return parse;
  }
  if (data.marker_name.empty()) data.marker_name = std::string(file_name);
  CodeTable codes = build_code_table(data);
  // Every stored value takes a field of 16 characters in the text, so this bounds real files;
  // denser input just grows the array.
  data.observations.reserve(cursor.remaining() / 16);
  if (data.version >= 3.0) {
    read_epochs_v3(cursor, codes, data);
  } else {
    read_epochs_v2(cursor, codes, data);
  }
  return parse;
}

}  // namespace qcn::rinex
