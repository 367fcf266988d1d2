// Every compression layer of an input, decoded in turn, and the file name of the plain content.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/decoded.hpp"

namespace qcn::archive {

/// The default output limit of every decoder: 4 GiB.
constexpr std::uint64_t kDefaultOutputLimit = std::uint64_t{4} << 30;

/// Layers nested deeper than this fail as unsupported.
constexpr int kMaxLayers = 8;

/// The plain content of an input and the name it would have as a plain file.
struct Unpacked {
  ByteBuffer bytes;       // the plain content, when layers > 0
  std::string name;       // the file name without the compression suffixes
  int layers = 0;         // 0: the input was plain, and bytes stays empty
  DecodeFailure failure;  // kind none on success
  bool ok() const { return failure.kind == FailureKind::none; }
};

/// Decodes gzip, Unix compress, bzip2, zip and compact RINEX, nested in any order (compact
/// RINEX decodes to RINEX, so it is always the innermost), into the plain content. name is the
/// input's file name; each layer takes off its suffix (".gz", ".Z", ".bz2"; a zip member's own
/// name; compact RINEX ".crx" becomes ".rnx" and ".yyd" becomes ".yyo"). Each layer's output is
/// bounded by limit.
[[nodiscard]] Unpacked unpack(std::string_view input, std::string_view name, std::uint64_t limit);

/// As unpack, for input owned by the caller: it is freed as soon as the first layer is decoded,
/// so that it never lives beside more than one decoded layer.
[[nodiscard]] Unpacked unpack(std::string&& input, std::string_view name, std::uint64_t limit);

/// The name a file keeps once the layer format is decoded ("site.rnx.gz" -> "site.rnx").
std::string plain_name(std::string_view name, Format format);

}  // namespace qcn::archive
