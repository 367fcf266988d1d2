// JSON text of an analysis result, compact and indented, and the number texts of the result's
// dictionaries.
#pragma once

#include <string>

#include "result/analysis_result.hpp"

namespace qcn::result {

/// Compact JSON: no whitespace between tokens, no newline at the end.
std::string to_json(const AnalysisResult& result);

/// Indented JSON: two spaces per level, empty containers kept on one line.
std::string to_json_pretty(const AnalysisResult& result);

/// Appends a JSON number: the shortest round-trip digits, plain for decimal exponents -5 to 15,
/// otherwise 1e+16 / 2.5e-7 style; integral values end in ".0"; NaN and infinities are null.
void append_json_real(std::string& out, double value);

/// Appends a quoted JSON string; only the quote, the backslash and control bytes are escaped.
void append_json_string(std::string& out, std::string_view text);

/// Shortest round-trip digits in plain positional notation, no fraction when integral
/// (12.0 gives 12, 1e-7 gives 0.0000001); NaN gives "NaN", infinities "inf" and "-inf".
std::string shortest_text(double value);

}  // namespace qcn::result
