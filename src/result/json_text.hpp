// JSON numbers and strings written into room the caller has made.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qcn::result {

/// The most a string of n bytes takes as JSON: every byte escaped as \u00XX, and the quotes.
constexpr std::size_t json_string_room(std::size_t n) { return 6 * n + 2; }

/// The most a JSON number takes.
constexpr std::size_t kRealRoom = 32;

/// A quoted JSON string at out, which has json_string_room(text.size()) bytes; only the quote,
/// the backslash and control bytes are escaped. Returns the end.
char* put_json_string(char* out, std::string_view text);

/// A JSON number at out, which has kRealRoom bytes (see append_json_real). Returns the end.
char* put_json_real(char* out, double value);

/// Appends a JSON number: the shortest round-trip digits, plain for decimal exponents -5 to 15,
/// otherwise 1e+16 / 2.5e-7 style; integral values end in ".0"; NaN and infinities are null.
void append_json_real(std::string& out, double value);

/// Appends a quoted JSON string; only the quote, the backslash and control bytes are escaped.
void append_json_string(std::string& out, std::string_view text);

/// Shortest round-trip digits in plain positional notation, no fraction when integral
/// (12.0 gives 12, 1e-7 gives 0.0000001); NaN gives "NaN", infinities "inf" and "-inf".
std::string shortest_text(double value);

}  // namespace qcn::result
