// Magic numbers and first lines of the recognised formats.
#include "archive/format_detect.hpp"

namespace qcn::archive {
namespace {

bool starts_with_bytes(std::string_view data, std::string_view magic) { return data.substr(0, magic.size()) == magic; }

// "BZh" and the block size digit, then the magic of the first block or of the end of an empty stream.
bool is_bzip2(std::string_view data) {
  if (data.size() < 10 || !starts_with_bytes(data, "BZh") || data[3] < '1' || data[3] > '9') return false;
  std::string_view next = data.substr(4, 6);
  return next == std::string_view("\x31\x41\x59\x26\x53\x59", 6) || next == std::string_view("\x17\x72\x45\x38\x50\x90", 6);
}

std::string_view first_line(std::string_view data) {
  std::size_t end = data.find('\n');
  return end == std::string_view::npos ? data : data.substr(0, end);
}

// Header labels start in column 61.
bool has_label(std::string_view line, std::string_view label) {
  return line.size() >= 60 && line.substr(60).substr(0, label.size()) == label;
}

}  // namespace

Format detect_format(std::string_view data) {
  if (starts_with_bytes(data, "\x1f\x8b")) return Format::gzip;
  if (starts_with_bytes(data, "\x1f\x9d")) return Format::compress;
  if (is_bzip2(data)) return Format::bzip2;
  if (starts_with_bytes(data, "PK\x03\x04") || starts_with_bytes(data, "PK\x05\x06")) return Format::zip;
  if (has_label(first_line(data.substr(0, 256)), "CRINEX VERS")) return Format::crinex;
  return Format::plain;
}

bool starts_like_rinex(std::string_view data) {
  std::string_view line = first_line(data.substr(0, 256));
  return has_label(line, "RINEX VERSION / TYPE") || has_label(line, "CRINEX VERS");
}

}  // namespace qcn::archive
