// Decoder throughput: every compression layer of a file held in memory, in MB/s of plain output.
// With a reference file the output is first checked byte for byte; with --write it is saved.
#include <cstring>
#include <fstream>

#include "archive/unpack.hpp"
#include "harness.hpp"

namespace {

int usage(const char* program) {
  std::fprintf(stderr, "usage: %s COMPRESSED_FILE [REFERENCE_PLAIN_FILE | --write OUT] [RUNS]\n", program);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage(argv[0]);
  const bool write = argc > 3 && std::strcmp(argv[2], "--write") == 0;
  const char* reference = !write && argc > 2 ? argv[2] : nullptr;
  const int runs = argc > (write ? 4 : 3) ? std::atoi(argv[write ? 4 : 3]) : 7;
  const std::string input = qcn::bench::load_file(argv[1]);
  const double rss_before = qcn::bench::peak_rss_mib();

  // Verify first.
  qcn::archive::Unpacked first = qcn::archive::unpack(std::string_view(input), argv[1], qcn::archive::kDefaultOutputLimit);
  if (!first.ok()) {
    std::fprintf(stderr, "%s\n", qcn::archive::failure_text(first.failure, qcn::archive::kDefaultOutputLimit).c_str());
    return 1;
  }
  const std::string_view plain = first.bytes.view();
  const double rss_after = qcn::bench::peak_rss_mib();
  if (write) {
    std::ofstream(argv[3], std::ios::binary).write(plain.data(), static_cast<std::streamsize>(plain.size()));
    return 0;
  }
  if (reference) {
    const std::string expected = qcn::bench::load_file(reference);
    if (expected != plain) {
      std::size_t at = 0;
      while (at < expected.size() && at < plain.size() && expected[at] == plain[at]) ++at;
      std::fprintf(stderr, "output differs from %s at byte %zu (sizes %zu and %zu)\n", reference, at, plain.size(),
                   expected.size());
      return 1;
    }
  }
  const double megabytes = static_cast<double>(plain.size()) / 1e6;
  std::printf("file %s: %.1f MB in %d layer(s) -> %.1f MB plain (%s)%s\n", argv[1], static_cast<double>(input.size()) / 1e6,
              first.layers, megabytes, first.name.c_str(), reference ? ", identical to the reference" : "");
  std::printf("peak RSS beyond the input during one decode: %.1f MiB\n", rss_after - rss_before);
  std::size_t mismatches = 0;
  auto timing = qcn::bench::time_runs(runs, [&] {
    qcn::archive::Unpacked again = qcn::archive::unpack(std::string_view(input), argv[1], qcn::archive::kDefaultOutputLimit);
    if (!again.ok() || again.bytes.size() != plain.size()) ++mismatches;
  });
  qcn::bench::report("unpack (MB/s of plain output)", timing, megabytes);
  if (mismatches) {
    std::fprintf(stderr, "%zu runs gave another size\n", mismatches);
    return 1;
  }
  return 0;
}
