// Observation parsing speed and memory: parse_observations over a file held in memory.
#include <cstring>

#include "harness.hpp"
#include "parallel/thread_pool.hpp"
#include "rinex/obs_parser.hpp"

namespace {

struct Digest {
  std::size_t epochs = 0;
  std::size_t satellites = 0;
  std::size_t observations = 0;
  double value_sum = 0.0;
};

Digest digest_of(const qcn::rinex::RinexObsData& data) {
  Digest d{data.epochs.size(), 0, 0, 0.0};
  for (const auto& epoch : data.epochs) {
    for (const auto& satellite : qcn::rinex::satellites_of(data, epoch)) {
      ++d.satellites;
      for (const auto& observation : qcn::rinex::observations_of(data, satellite)) {
        ++d.observations;
        d.value_sum += observation.value;
      }
    }
  }
  return d;
}

std::size_t record_bytes(const qcn::rinex::RinexObsData& data) {
  return data.epochs.capacity() * sizeof(data.epochs[0]) + data.satellites.capacity() * sizeof(data.satellites[0]) +
         data.observations.capacity() * sizeof(data.observations[0]);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OBSERVATION_FILE [RUNS]\n", argv[0]);
    return 2;
  }
  const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
  const std::string text = qcn::bench::load_file(argv[1]);
  const double megabytes = static_cast<double>(text.size()) / 1e6;
  const double rss_before = qcn::bench::peak_rss_mib();

  // Verify first: one parse whose digest the timed runs must reproduce.
  Digest expected;
  std::size_t memory = 0;
  {
    auto parse = qcn::rinex::parse_observations(text, "bench.obs");
    if (parse.error != qcn::rinex::ParseError::none) {
      std::fprintf(stderr, "parse failed: %s\n", qcn::rinex::parse_error_text(parse.error).data());
      return 1;
    }
    expected = digest_of(parse.data);
    memory = record_bytes(parse.data);
  }
  const double rss_after = qcn::bench::peak_rss_mib();

  std::printf("file %s: %.1f MB, version-dependent reader, %zu epochs, %zu satellite records, %zu observations\n",
              argv[1], megabytes, expected.epochs, expected.satellites, expected.observations);
  std::printf("record arrays: %.1f MB (%.2f x file); peak RSS beyond the input: %.1f MiB\n",
              static_cast<double>(memory) / 1e6, static_cast<double>(memory) / static_cast<double>(text.size()),
              rss_after - rss_before);

  // The timed region is the parse alone; each record is checked against the digest after it.
  std::size_t mismatches = 0;
  auto timed_parse = [&](qcn::parallel::Pool* pool) {
    qcn::rinex::ObsParse last;
    auto timing = qcn::bench::time_runs(runs, [&] {
      last = qcn::rinex::ObsParse{};
      last = qcn::rinex::parse_observations(text, "bench.obs", pool);
    });
    Digest d = digest_of(last.data);
    if (d.observations != expected.observations || d.value_sum != expected.value_sum) ++mismatches;
    return timing;
  };
  auto parse_timing = timed_parse(nullptr);
  qcn::parallel::Pool pool(qcn::parallel::hardware_threads());
  auto pool_timing = timed_parse(&pool);
  // What any fixed-column reader must do at least: find every line and touch every field of it.
  std::size_t touched = 0;
  auto columns_timing = qcn::bench::time_runs(runs, [&] {
    std::size_t sum = 0;
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
      const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
      const char* line_end = nl ? nl : end;
      for (const char* field = p + 3 + 13; field < line_end; field += 16) sum += static_cast<unsigned char>(*field);
      p = line_end + 1;
    }
    touched = sum;
  });
  std::size_t newlines = 0;
  auto newline_timing = qcn::bench::time_runs(runs, [&] {
    std::size_t n = 0;
    const char* p = text.data();
    const char* end = p + text.size();
    while ((p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)))) != nullptr) {
      ++n;
      ++p;
    }
    newlines = n;
  });
  if (mismatches != 0) {
    std::fprintf(stderr, "digest mismatch in %zu runs\n", mismatches);
    return 1;
  }
  qcn::bench::report("parse_observations", parse_timing, megabytes);
  char label[64];
  std::snprintf(label, sizeof label, "parse_observations, %u threads", pool.size());
  qcn::bench::report(label, pool_timing, megabytes);
  qcn::bench::report("newline count (memchr)", newline_timing, megabytes);
  qcn::bench::report("fixed-column field scan", columns_timing, megabytes);
  std::printf("field byte sum: %zu\n", touched);
  std::printf("lines: %zu\n", newlines);
  return 0;
}
