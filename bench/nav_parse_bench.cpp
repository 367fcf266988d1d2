// Navigation parsing speed: parse_navigation over a large file held in memory.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "harness.hpp"
#include "navigation/nav_parser.hpp"

namespace {

struct Digest {
  std::size_t satellites = 0;
  std::size_t records = 0;
  double value_sum = 0.0;
  friend bool operator==(const Digest&, const Digest&) = default;
};

template <typename Map>
void add(Digest& d, const Map& map) {
  d.satellites += map.size();
  for (const auto& [key, records] : map) {
    d.records += records.size();
    for (const auto& record : records) d.value_sum += record.clock_bias + record.epoch.second;
  }
}

Digest digest_of(const qcn::navigation::NavigationData& nav) {
  Digest d;
  add(d, nav.gps_ephemerides);
  add(d, nav.galileo_ephemerides);
  add(d, nav.beidou_ephemerides);
  add(d, nav.glonass_ephemerides);
  return d;
}

// The file's header once, then its records repeated until the text reaches target_bytes.
std::string repeat_records(const std::string& file, std::size_t target_bytes) {
  constexpr std::string_view kEnd = "END OF HEADER";
  std::size_t end = file.find(kEnd);
  if (end == std::string::npos) {
    std::fprintf(stderr, "input has no END OF HEADER\n");
    std::exit(2);
  }
  std::size_t body = file.find('\n', end) + 1;
  std::string text = file.substr(0, body);
  std::string_view records(file.data() + body, file.size() - body);
  text.reserve(target_bytes + records.size());
  while (text.size() < target_bytes) text += records;
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s NAVIGATION_FILE [TARGET_MB] [RUNS]\n", argv[0]);
    return 2;
  }
  const double target_mb = argc > 2 ? std::atof(argv[2]) : 200.0;
  const int runs = argc > 3 ? std::atoi(argv[3]) : 7;
  const std::string file = qcn::bench::load_file(argv[1]);
  const std::string text = repeat_records(file, static_cast<std::size_t>(target_mb * 1e6));
  const double megabytes = static_cast<double>(text.size()) / 1e6;

  // Verify first: the repeated text must hold exactly the file's records times the repetitions.
  const auto once = qcn::navigation::parse_navigation(file);
  const auto reference = qcn::navigation::parse_navigation(text);
  const Digest single = digest_of(once.data);
  const Digest expected = digest_of(reference.data);
  const std::size_t repetitions = single.records == 0 ? 0 : expected.records / single.records;
  if (reference.error != qcn::rinex::ParseError::none || single.records == 0 ||
      expected.records != single.records * repetitions || expected.satellites != single.satellites) {
    std::fprintf(stderr, "digest mismatch: %zu records once, %zu in the repeated text\n", single.records,
                 expected.records);
    return 1;
  }

  bool mismatch = false;
  auto timing = qcn::bench::time_runs(runs, [&] {
    auto parse = qcn::navigation::parse_navigation(text);
    mismatch |= !(digest_of(parse.data) == expected);
  });
  if (mismatch) {
    std::fprintf(stderr, "digest changed between runs\n");
    return 1;
  }
  std::printf("input %.1f MB, %zu satellites, %zu records (%zu x the file)\n", megabytes, expected.satellites,
              expected.records, repetitions);
  qcn::bench::report("parse_navigation", timing, megabytes);
  std::printf("records/s %.3g, peak RSS %.1f MiB\n", static_cast<double>(expected.records) / timing.median_s,
              qcn::bench::peak_rss_mib());
  return 0;
}
