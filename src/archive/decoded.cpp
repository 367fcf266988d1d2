// Messages of decoding failures.
#include "archive/decoded.hpp"

namespace qcn::archive {

std::string_view format_noun(Format format) {
  switch (format) {
    case Format::gzip:
      return "gzip data";
    case Format::compress:
      return "Unix compress data";
    case Format::bzip2:
      return "bzip2 data";
    case Format::zip:
      return "zip archive";
    case Format::crinex:
      return "compact RINEX";
    case Format::plain:
      break;
  }
  return "data";
}

std::string failure_text(const DecodeFailure& failure, std::uint64_t limit) {
  std::string noun(format_noun(failure.format));
  switch (failure.kind) {
    case FailureKind::corrupt:
      return "Corrupt " + noun + ": " + failure.problem;
    case FailureKind::unsupported:
      return "Unsupported " + noun + ": " + failure.problem;
    case FailureKind::too_large:
      return "Decompressed " + noun + " exceed the limit of " + std::to_string(limit) + " bytes";
    case FailureKind::none:
      break;
  }
  return "";
}

}  // namespace qcn::archive
