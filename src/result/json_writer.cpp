// The JSON writer: tokens, separators and layout, numbers and strings.
#include "result/json_writer.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>

namespace qcn::result {

namespace {

// Shortest round-trip digits of a finite double: value = d1.d2...dn x 10^exponent.
struct Decimal {
  bool negative = false;
  std::array<char, 17> digits{};  // a double never needs more than 17
  int count = 0;
  int exponent = 0;
};

Decimal shortest_decimal(double value) {
  // to_chars without a precision gives the shortest round-trip form: "-1.2345e+300", "0e+00".
  char sci[32];
  const char* end = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific).ptr;
  const char* p = sci;
  Decimal d;
  if (*p == '-') {
    d.negative = true;
    ++p;
  }
  d.digits[d.count++] = *p++;
  if (*p == '.') {
    for (++p; *p != 'e'; ++p) d.digits[d.count++] = *p;
  }
  ++p;  // 'e'
  const bool negative_exponent = *p == '-';
  for (++p; p != end; ++p) d.exponent = d.exponent * 10 + (*p - '0');
  if (negative_exponent) d.exponent = -d.exponent;
  return d;
}

char* put_digits(char* out, const char* digits, int count) {
  for (int i = 0; i < count; ++i) *out++ = digits[i];
  return out;
}

char* put_zeros(char* out, int count) {
  for (int i = 0; i < count; ++i) *out++ = '0';
  return out;
}

// Positional layout of d; integral values get ".0" when with_point_zero is set.
char* put_positional(char* out, const Decimal& d, bool with_point_zero) {
  if (d.negative) *out++ = '-';
  if (d.count <= d.exponent + 1) {
    out = put_zeros(put_digits(out, d.digits.data(), d.count), d.exponent + 1 - d.count);
    if (with_point_zero) {
      *out++ = '.';
      *out++ = '0';
    }
  } else if (d.exponent < 0) {
    *out++ = '0';
    *out++ = '.';
    out = put_digits(put_zeros(out, -d.exponent - 1), d.digits.data(), d.count);
  } else {
    out = put_digits(out, d.digits.data(), d.exponent + 1);
    *out++ = '.';
    out = put_digits(out, d.digits.data() + d.exponent + 1, d.count - d.exponent - 1);
  }
  return out;
}

// 1e+16, 2.5e-7: the exponent always signed, never zero-padded.
char* put_scientific(char* out, const Decimal& d) {
  if (d.negative) *out++ = '-';
  *out++ = d.digits[0];
  if (d.count > 1) {
    *out++ = '.';
    out = put_digits(out, d.digits.data() + 1, d.count - 1);
  }
  *out++ = 'e';
  *out++ = d.exponent < 0 ? '-' : '+';
  return std::to_chars(out, out + 4, d.exponent < 0 ? -d.exponent : d.exponent).ptr;
}

// Bytes of a JSON string that cannot be copied as they are.
constexpr std::array<bool, 256> kNeedsEscape = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 0x20; ++c) table[c] = true;
  table['"'] = true;
  table['\\'] = true;
  return table;
}();

void append_escape(std::string& out, unsigned char c) {
  static constexpr char kHex[] = "0123456789abcdef";
  switch (c) {
    case '"': out.append("\\\""); return;
    case '\\': out.append("\\\\"); return;
    case '\b': out.append("\\b"); return;
    case '\t': out.append("\\t"); return;
    case '\n': out.append("\\n"); return;
    case '\f': out.append("\\f"); return;
    case '\r': out.append("\\r"); return;
    default: {
      const char code[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
      out.append(code, sizeof code);
    }
  }
}

}  // namespace

void JsonWriter::key(std::string_view name) {
  next_token();
  append_json_string(out_, name);
  if (indented_) {
    out_.append(": ");
  } else {
    out_.push_back(':');
  }
  after_key_ = true;
}

void JsonWriter::real(double value) {
  next_token();
  append_json_real(out_, value);
}

void JsonWriter::count(std::uint64_t value) {
  next_token();
  char digits[20];
  out_.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

void JsonWriter::text(std::string_view value) {
  next_token();
  append_json_string(out_, value);
}

void JsonWriter::flag(bool value) {
  next_token();
  out_.append(value ? "true" : "false");
}

void JsonWriter::null() {
  next_token();
  out_.append("null");
}

bool JsonWriter::finish() {
  if (sink_ != nullptr) flush();
  return !sink_failed_;
}

// A value after its key follows directly, as does the outermost value; any other token is a new
// member or element.
void JsonWriter::next_token() {
  if (sink_ != nullptr && out_.size() >= chunk_) flush();
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (level_ == 0) return;
  if (!first_in_container_) out_.push_back(',');
  first_in_container_ = false;
  new_line();
}

void JsonWriter::open(char bracket) {
  next_token();
  out_.push_back(bracket);
  ++level_;
  first_in_container_ = true;
}

// The enclosing container holds at least this one, so its next token needs a comma.
void JsonWriter::close(char bracket) {
  --level_;
  if (!first_in_container_) new_line();
  first_in_container_ = false;
  out_.push_back(bracket);
}

void JsonWriter::new_line() {
  if (!indented_) return;
  out_.push_back('\n');
  out_.append(2 * static_cast<std::size_t>(level_), ' ');
}

void JsonWriter::flush() {
  if (!sink_failed_ && !out_.empty()) sink_failed_ = !sink_->write(out_);
  out_.clear();
}

void append_json_real(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out.append("null");
    return;
  }
  const Decimal d = shortest_decimal(value);
  // Longest forms: "-0.0000" plus 17 digits, or "-d." plus 16 digits and "e-308".
  char text[32];
  const bool positional = d.exponent >= -5 && d.exponent <= 15;
  char* end = positional ? put_positional(text, d, true) : put_scientific(text, d);
  out.append(text, end);
}

void append_json_string(std::string& out, std::string_view text) {
  out.push_back('"');
  std::size_t run_start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (!kNeedsEscape[c]) continue;
    out.append(text.data() + run_start, i - run_start);
    append_escape(out, c);
    run_start = i + 1;
  }
  out.append(text.data() + run_start, text.size() - run_start);
  out.push_back('"');
}

std::string shortest_text(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  const Decimal d = shortest_decimal(value);
  // The largest double has 309 integer digits; the smallest needs 323 zeros after the point.
  char text[340];
  return std::string(text, put_positional(text, d, false));
}

}  // namespace qcn::result
