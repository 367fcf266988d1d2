// The common observation field read at once: fourteen columns holding an F14.3 value
// ("  20971438.123", "     -1234.567", "        45.250") or nothing. Its bytes are classified
// all together and its digits combined eight at a time, with no branch on how many digits it has,
// which the column-by-column reading cannot avoid and mispredicts from one field to the next.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qcn::rinex::column_field {

inline constexpr std::size_t kWidth = 14;
inline constexpr std::size_t kPoint = 10;  // the column of the decimal point

enum class Shape : std::uint8_t { blank, fixed_3, other };

namespace detail {

inline constexpr std::uint64_t kOnes = 0x0101010101010101;
inline constexpr std::uint64_t kHigh = 0x8080808080808080;

inline std::uint64_t load(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

/// 0x80 in each byte that is an ASCII digit, 0 in the others.
constexpr std::uint64_t digit_bytes(std::uint64_t word) {
  const std::uint64_t low = word & ~kHigh;
  const std::uint64_t at_least_0 = (low | kHigh) - kOnes * '0';
  const std::uint64_t at_most_9 = (kOnes * ('9' | 0x80)) - low;
  return at_least_0 & at_most_9 & ~word & kHigh;
}

/// 0x80 in each byte that is a space, 0 in the others.
constexpr std::uint64_t space_bytes(std::uint64_t word) {
  const std::uint64_t x = word ^ (kOnes * ' ');
  const std::uint64_t nonzero = (((x & ~kHigh) + ~kHigh) | x) & kHigh;
  return nonzero ^ kHigh;
}

/// One bit per byte, byte i to bit i, of a word of 0x80 and 0 bytes.
constexpr unsigned byte_bits(std::uint64_t flags) {
  return static_cast<unsigned>(((flags >> 7) * 0x0102040810204080) >> 56);
}

/// The number eight digit values (one per byte, the first byte the most significant) make.
constexpr std::uint64_t eight_digits(std::uint64_t values) {
  values = (values * 10 + (values >> 8)) & 0x00FF00FF00FF00FF;
  values = (values * 100 + (values >> 16)) & 0x0000FFFF0000FFFF;
  return (values * 10000 + (values >> 32)) & 0xFFFFFFFF;
}

/// The digit values of a word, its other bytes as 0.
constexpr std::uint64_t digit_values(std::uint64_t word, std::uint64_t digits) {
  return word & (kOnes * 0x0F) & ((digits >> 7) * 0xFF);
}

/// read() with the bytes classified in 64-bit words, for any little-endian processor.
inline Shape read_words(const char* text, std::uint64_t& mantissa, bool& negative) {
  // Columns 0-7 and 6-13; the second word's bytes 2-7 are columns 8-13.
  const std::uint64_t head = load(text);
  const std::uint64_t tail = load(text + kWidth - 8);
  if ((head & tail) == kOnes * ' ' && (head | tail) == kOnes * ' ') return Shape::blank;
  if (text[kPoint] != '.') return Shape::other;
  // Columns 8, 9, 11, 12, 13 as the last five bytes of a word whose first three are 0.
  const std::uint64_t rest = ((tail >> 16) & 0xFFFF) << 24 | (tail >> 40) << 40;
  const std::uint64_t head_digits = digit_bytes(head);
  const std::uint64_t rest_digits = digit_bytes(rest);
  const unsigned rest_bits = byte_bits(rest_digits);
  // Column 9 and the three decimals are digits; columns 0-8 are spaces, a sign, digits in turn.
  if ((rest_bits & 0xF0) != 0xF0) return Shape::other;
  const unsigned digits = (byte_bits(head_digits) | (rest_bits & 0x08) << 5 | 0x200) & 0x3FF;
  if (((digits + (digits & (~digits + 1))) & 0x7FF) != 0x400) return Shape::other;
  const int first = std::countr_zero(digits);
  const unsigned before = (1u << first) - 1;
  const unsigned spaces = (byte_bits(space_bytes(head)) | (text[8] == ' ' ? 0x100u : 0u)) & before;
  negative = false;
  if (spaces != before) {
    const char sign = text[first - 1];
    if ((spaces | (1u << (first - 1))) != before || (sign != '-' && sign != '+')) return Shape::other;
    negative = sign == '-';
  }
  mantissa = eight_digits(digit_values(head, head_digits)) * 100000 + eight_digits(digit_values(rest, rest_digits));
  return Shape::fixed_3;
}


#if defined(__SSE2__)
/// read() with the bytes classified in one SSE2 register (x86-64 always has SSE2): a comparison
/// and a mask per class of byte instead of arithmetic per word.
inline Shape read_sse2(const char* text, std::uint64_t& mantissa, bool& negative) {
  const __m128i both = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(text)),
                                          _mm_loadl_epi64(reinterpret_cast<const __m128i*>(text + kWidth - 8)));
  const unsigned space_mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(both, _mm_set1_epi8(' '))));
  if (space_mask == 0xFFFF) return Shape::blank;
  // Signed comparisons: bytes of 0x80 and above are negative and no digits.
  const __m128i is_digit =
      _mm_and_si128(_mm_cmpgt_epi8(both, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(both, _mm_set1_epi8('9' + 1)));
  const unsigned digit_mask = static_cast<unsigned>(_mm_movemask_epi8(is_digit));
  // Bits 0-7 are columns 0-7 and bits 8-15 columns 6-13: column 9 is bit 11, the decimals 13-15.
  if (text[kPoint] != '.' || (digit_mask & 0xE800) != 0xE800) return Shape::other;
  const auto columns = [](unsigned mask) { return (mask & 0xFF) | ((mask >> 2) & 0x300); };
  const unsigned digits = columns(digit_mask);
  const unsigned lowest = digits & (~digits + 1);
  if (digits + lowest != 0x400) return Shape::other;  // digits from the first one to column 9
  const unsigned before = lowest - 1;
  const unsigned spaces = columns(space_mask) & before;
  negative = false;
  if (spaces != before) {
    // Only a sign may stand between the spaces and the first digit.
    const unsigned sign_place = lowest >> 1;
    const unsigned minus_mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(both, _mm_set1_epi8('-'))));
    const unsigned plus_mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(both, _mm_set1_epi8('+'))));
    if ((spaces | sign_place) != before || (columns(minus_mask | plus_mask) & sign_place) == 0) return Shape::other;
    negative = (columns(minus_mask) & sign_place) != 0;
  }
  const __m128i values = _mm_and_si128(_mm_sub_epi8(both, _mm_set1_epi8('0')), is_digit);
  const auto head = static_cast<std::uint64_t>(_mm_cvtsi128_si64(values));
  const auto tail = static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(values, values)));
  // Columns 8, 9, 11, 12, 13 as the last five bytes of a word whose first three are 0.
  const std::uint64_t rest = ((tail >> 16) & 0xFFFF) << 24 | (tail >> 40) << 40;
  mantissa = eight_digits(head) * 100000 + eight_digits(rest);
  return Shape::fixed_3;
}
#endif

}  // namespace detail

/// Reads the kWidth bytes at `text`: `blank` when all are spaces; `fixed_3` when they are spaces,
/// an optional sign, at least one digit, the point at column kPoint and three digits, with the
/// digits as one integer in `mantissa` (below 10^13); `other` for any other content, which the
/// caller reads column by column.
inline Shape read(const char* text, std::uint64_t& mantissa, bool& negative) {
#if defined(__SSE2__)
  return detail::read_sse2(text, mantissa, negative);
#else
  if constexpr (std::endian::native == std::endian::little) {
    return detail::read_words(text, mantissa, negative);
  } else {
    return Shape::other;
  }
#endif
}

}  // namespace qcn::rinex::column_field
