// Layer after layer: recognise the format of the bytes at hand, decode them, and go on with what
// they decoded to until plain data remain.
#include "archive/unpack.hpp"

#include <cctype>
#include <utility>

#include "archive/bzip2_decoder.hpp"
#include "archive/crinex_decoder.hpp"
#include "archive/format_detect.hpp"
#include "archive/gzip_decoder.hpp"
#include "archive/lzw_decoder.hpp"
#include "archive/zip_reader.hpp"

namespace qcn::archive {
namespace {

bool ends_with_folded(std::string_view name, std::string_view suffix) {
  if (name.size() <= suffix.size()) return false;
  std::string_view end = name.substr(name.size() - suffix.size());
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(end[i])) != suffix[i]) return false;
  }
  return true;
}

std::string without_suffix(std::string_view name, std::string_view suffix) {
  return std::string(ends_with_folded(name, suffix) ? name.substr(0, name.size() - suffix.size()) : name);
}

char same_case(char model, char lower) {
  return std::isupper(static_cast<unsigned char>(model)) ? static_cast<char>(std::toupper(lower)) : lower;
}

// Compact RINEX names: "*.crx" for the long names of RINEX 3, "*.yyd" (yy the year) for the
// short ones, whose plain files are "*.rnx" and "*.yyo".
std::string crinex_plain_name(std::string_view name) {
  std::string plain(name);
  std::size_t n = plain.size();
  if (ends_with_folded(name, ".crx")) {
    plain[n - 3] = same_case(plain[n - 3], 'r');
    plain[n - 2] = same_case(plain[n - 2], 'n');
  } else if (n > 4 && plain[n - 4] == '.' && std::isdigit(static_cast<unsigned char>(plain[n - 3])) &&
             std::isdigit(static_cast<unsigned char>(plain[n - 2])) && (plain[n - 1] == 'd' || plain[n - 1] == 'D')) {
    plain[n - 1] = same_case(plain[n - 1], 'o');
  }
  return plain;
}

// The last component of a member's path inside a zip archive.
std::string_view member_file_name(std::string_view member) {
  std::size_t slash = member.find_last_of("/\\");
  return slash == std::string_view::npos ? member : member.substr(slash + 1);
}

struct Layer {
  Decoded decoded;
  std::string name;
};

Layer decode_layer(std::string_view input, Format format, std::string_view name, std::uint64_t limit) {
  switch (format) {
    case Format::gzip:
      return {decode_gzip(input, limit), plain_name(name, format)};
    case Format::compress:
      return {decode_compress(input, limit), plain_name(name, format)};
    case Format::bzip2:
      return {decode_bzip2(input, limit), plain_name(name, format)};
    case Format::crinex:
      return {decode_crinex(input, limit), plain_name(name, format)};
    case Format::zip: {
      ZipMember member = read_zip_member(input, limit);
      std::string_view member_name = member_file_name(member.name);
      return {std::move(member.content), member_name.empty() ? plain_name(name, format) : std::string(member_name)};
    }
    case Format::plain:
      break;
  }
  return {Decoded{}, std::string(name)};
}

Unpacked unpack_layers(std::string_view input, std::string* owned_input, std::string_view name, std::uint64_t limit) {
  Unpacked unpacked;
  unpacked.name = std::string(name);
  std::string_view current = input;
  for (Format format = detect_format(current); format != Format::plain; format = detect_format(current)) {
    if (unpacked.layers == kMaxLayers) {
      unpacked.failure = {FailureKind::unsupported, format, "compression nested more than 8 layers deep"};
      break;
    }
    Layer layer = decode_layer(current, format, unpacked.name, limit);
    if (owned_input) {
      std::string().swap(*owned_input);
      owned_input = nullptr;
    }
    if (!layer.decoded.ok()) {
      unpacked.failure = std::move(layer.decoded.failure);
      break;
    }
    // The layer before is freed here: each layer lives only beside the next one.
    unpacked.bytes = std::move(layer.decoded.bytes);
    unpacked.name = std::move(layer.name);
    ++unpacked.layers;
    current = unpacked.bytes.view();
    if (format == Format::crinex) break;
  }
  if (!unpacked.ok()) unpacked.bytes.release();
  return unpacked;
}

}  // namespace

std::string plain_name(std::string_view name, Format format) {
  switch (format) {
    case Format::gzip:
      return without_suffix(name, ".gz");
    case Format::compress:
      return without_suffix(name, ".z");
    case Format::bzip2:
      return ends_with_folded(name, ".bz2") ? without_suffix(name, ".bz2") : without_suffix(name, ".bz");
    case Format::zip:
      return without_suffix(name, ".zip");
    case Format::crinex:
      return crinex_plain_name(name);
    case Format::plain:
      break;
  }
  return std::string(name);
}

Unpacked unpack(std::string_view input, std::string_view name, std::uint64_t limit) {
  return unpack_layers(input, nullptr, name, limit);
}

Unpacked unpack(std::string&& input, std::string_view name, std::uint64_t limit) {
  return unpack_layers(input, &input, name, limit);
}

}  // namespace qcn::archive
