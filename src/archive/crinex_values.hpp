// The arithmetic and text rules of compact RINEX: differenced integer values, text differences
// and the fixed-point output of the decompression tools.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qcn::archive::detail {

constexpr int kMaxDifferenceOrder = 9;

/// One observable of one satellite (or the receiver clock): its latest value and differences.
struct Arc {
  std::int64_t terms[kMaxDifferenceOrder + 1] = {};  // terms[0] the value, terms[k] its k-th difference
  std::uint8_t order = 0;                            // the arc's difference order
  std::uint8_t filled = 0;                           // differences known so far (up to order)
  bool active = false;                               // false after a missing value
};

enum class FieldRead : std::uint8_t { value, missing, malformed, unstarted, out_of_range };

/// Applies one data field to arc: "3&1234" starts an arc of order 3 at 1234, "-27" is the next
/// difference of a started arc, "" means no value (and ends the arc). value is the integer in
/// units of the last decimal (thousandths for observations).
FieldRead read_field(std::string_view field, Arc& arc, std::int64_t& value);

/// Applies a text difference to text: a blank keeps the character, '&' blanks it, any other
/// character replaces it; text grows with blanks when the difference is longer.
void apply_text_difference(std::string_view difference, std::string& text);

/// The most characters format_scaled writes.
constexpr std::size_t kMaxScaledWidth = 24;

/// Writes value / 10^decimals right-aligned in width columns (wider when it does not fit) the
/// way the compact RINEX tools print it: no zero before the point ("-.920", ".000"). Returns
/// the characters written; `to` needs room for max(width, kMaxScaledWidth).
std::size_t format_scaled(std::int64_t value, int decimals, int width, char* to);

}  // namespace qcn::archive::detail
