// A small benchmark harness: load input outside the timed region, time repeated runs, report
// the median and spread, and peak resident memory.
#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace qcn::bench {

/// The whole file, or exit with a message.
inline std::string load_file(const char* path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path);
    std::exit(2);
  }
  std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

/// Peak resident memory of the process so far, in MiB.
inline double peak_rss_mib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

struct Timing {
  double median_s = 0.0;
  double min_s = 0.0;
  double max_s = 0.0;
};

/// Runs body `runs` times and returns the median, fastest and slowest wall time.
template <typename Body>
Timing time_runs(int runs, Body&& body) {
  std::vector<double> seconds;
  for (int i = 0; i < runs; ++i) {
    auto start = std::chrono::steady_clock::now();
    body();
    auto stop = std::chrono::steady_clock::now();
    seconds.push_back(std::chrono::duration<double>(stop - start).count());
  }
  std::sort(seconds.begin(), seconds.end());
  return {seconds[seconds.size() / 2], seconds.front(), seconds.back()};
}

inline void report(const char* what, const Timing& t, double megabytes) {
  std::printf("%-28s median %8.3f ms (min %8.3f, max %8.3f)  %8.1f MB/s\n", what, t.median_s * 1e3, t.min_s * 1e3,
              t.max_s * 1e3, megabytes / t.median_s);
}

}  // namespace qcn::bench
