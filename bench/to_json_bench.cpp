// JSON encoding speed: to_json and to_json_pretty over a large generated analysis result.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "harness.hpp"
#include "result/json.hpp"

namespace {

using namespace qcn::result;

constexpr double kDeg = 3.14159265358979323846 / 180.0;

std::string timestamp_at(int epoch) {
  char text[64];
  const int hour = epoch / 3600, minute = epoch / 60 % 60, second = epoch % 60;
  std::snprintf(text, sizeof text, "2024-03-%02dT%02d:%02d:%02d.000Z", 1 + hour / 24 % 28, hour % 24, minute, second);
  return text;
}

// A full day at one second for `satellites` satellites: look angles vary smoothly and carry all
// their digits, as computed angles do; C/N0 values have the three decimals of a RINEX file.
AnalysisResult make_result(int epochs, int satellites) {
  AnalysisResult r;
  r.file_info = {"", "BENCH", "GENERIC RCV", "GENERIC ANT", timestamp_at(0), timestamp_at(epochs - 1),
                 (epochs - 1) / 3600.0, 1.0, 48.8566, 2.3522, 35.5};
  r.summary.total_observations = static_cast<std::uint64_t>(epochs) * static_cast<std::uint64_t>(satellites);
  r.summary.total_satellites = static_cast<std::uint64_t>(satellites);
  r.summary.total_epochs = static_cast<std::uint64_t>(epochs);
  r.summary.systems_observed = {"GPS", "Galileo"};
  for (int e = 0; e < epochs; ++e) {
    r.timeseries.timestamps.push_back(timestamp_at(e));
    r.timeseries.mean_cn0.push_back(42.0 + std::sin(e * 1e-3) / 3.0);
    r.timeseries.satellite_count.push_back(static_cast<std::uint64_t>(satellites));
  }
  for (int s = 0; s < satellites; ++s) {
    char id[16];
    std::snprintf(id, sizeof id, "%c%02d", s % 2 == 0 ? 'G' : 'E', s / 2 + 1);
    const std::string system = s % 2 == 0 ? "GPS" : "Galileo";
    SatelliteTimeseries& series = r.timeseries.satellite_timeseries[id];
    series = {id, system, "S1C", {}};
    std::vector<TimeseriesPoint>& by_system = r.timeseries.constellation_timeseries[system];
    SkyplotTrace trace{id, system, {}};
    for (int e = 0; e < epochs; ++e) {
      const double phase = (e + 1000.0 * s) * 7.27e-5;
      const double elevation = 45.0 + 40.0 * std::sin(phase * kDeg * 57.0);
      const double azimuth = std::fmod(180.0 + 170.0 * std::cos(phase * 3.0) + s * 11.0, 360.0);
      const double cn0 = std::round((30.0 + elevation / 4.0) * 4.0) / 4.0 + (e % 7) * 0.001;
      const auto time = static_cast<std::uint32_t>(e);
      series.cn0_series.push_back({time, 0, false, cn0, elevation, azimuth});
      by_system.push_back({time, 0, false, cn0, elevation, azimuth});
      trace.points.push_back({azimuth, elevation, cn0});
    }
    r.skyplot.traces.push_back(std::move(trace));
  }
  for (int a = 0; a < 36; ++a) r.heatmap.azimuth_bins.push_back(a * 10.0);
  for (int e = 0; e < 18; ++e) {
    r.heatmap.elevation_bins.push_back(e * 5.0);
    r.heatmap.cn0_matrix.emplace_back(36, 38.0 + e * 0.5);
    r.heatmap.count_matrix.emplace_back(36, 1000 + static_cast<std::uint64_t>(e));
  }
  return r;
}

// The compact text is the indented one with the whitespace outside strings removed.
bool same_tokens(std::string_view compact, std::string_view pretty) {
  std::string stripped;
  stripped.reserve(compact.size());
  bool in_string = false;
  for (std::size_t i = 0; i < pretty.size(); ++i) {
    const char c = pretty[i];
    if (in_string) {
      stripped.push_back(c);
      if (c == '\\') {
        stripped.push_back(pretty[++i]);
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
      stripped.push_back(c);
    } else if (c != ' ' && c != '\n') {
      stripped.push_back(c);
    }
  }
  return stripped == compact;
}

std::size_t count_points(const AnalysisResult& r) {
  std::size_t points = 0;
  for (const auto& entry : r.timeseries.satellite_timeseries) points += entry.second.cn0_series.size();
  for (const auto& entry : r.timeseries.constellation_timeseries) points += entry.second.size();
  for (const SkyplotTrace& trace : r.skyplot.traces) points += trace.points.size();
  return points;
}

template <typename Encode>
void time_encoding(const char* what, const AnalysisResult& result, const std::string& expected, int runs,
                   Encode encode) {
  std::size_t mismatches = 0;
  auto timing = qcn::bench::time_runs(runs, [&] {
    const std::string text = encode(result);
    if (text.size() != expected.size() || text.back() != '}') ++mismatches;
  });
  if (mismatches != 0) {
    std::fprintf(stderr, "%s: output differs in %zu runs\n", what, mismatches);
    std::exit(1);
  }
  qcn::bench::report(what, timing, static_cast<double>(expected.size()) / 1e6);
}

/// Counts what it is handed, as a file would take it.
class CountingSink : public JsonSink {
 public:
  bool write(std::string_view piece) override {
    bytes += piece.size();
    last = piece.empty() ? last : piece.back();
    return true;
  }
  std::size_t bytes = 0;
  char last = 0;
};

void time_streaming(const char* what, const AnalysisResult& result, Layout layout, std::size_t expected, int runs,
                    qcn::parallel::Pool* pool) {
  std::size_t mismatches = 0;
  auto timing = qcn::bench::time_runs(runs, [&] {
    CountingSink sink;
    if (!write_json(result, layout, sink, pool) || sink.bytes != expected || sink.last != '}') ++mismatches;
  });
  if (mismatches != 0) {
    std::fprintf(stderr, "%s: output differs in %zu runs\n", what, mismatches);
    std::exit(1);
  }
  qcn::bench::report(what, timing, static_cast<double>(expected) / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
  const int epochs = argc > 1 ? std::atoi(argv[1]) : 86400;
  const int satellites = argc > 2 ? std::atoi(argv[2]) : 20;
  const int runs = argc > 3 ? std::atoi(argv[3]) : 7;
  if (epochs < 1 || satellites < 1 || runs < 1) {
    std::fprintf(stderr, "usage: %s [EPOCHS] [SATELLITES] [RUNS] [streamed]\n", argv[0]);
    return 2;
  }
  const AnalysisResult result = make_result(epochs, satellites);

  // Verify first: both forms carry the same tokens.
  const std::string compact = to_json(result);
  const std::string pretty = to_json_pretty(result);
  if (!same_tokens(compact, pretty)) {
    std::fprintf(stderr, "compact and indented texts differ beyond whitespace\n");
    return 1;
  }
  std::printf("compiler %s; %d epochs x %d satellites, %zu series and skyplot points\n", __VERSION__, epochs,
              satellites, count_points(result));
  std::printf("compact %.1f MB, indented %.1f MB\n", static_cast<double>(compact.size()) / 1e6,
              static_cast<double>(pretty.size()) / 1e6);

  const bool streamed_only = argc > 4 && std::string_view(argv[4]) == "streamed";
  if (!streamed_only) {
    time_encoding("to_json", result, compact, runs, [](const AnalysisResult& r) { return to_json(r); });
    time_encoding("to_json_pretty", result, pretty, runs, [](const AnalysisResult& r) { return to_json_pretty(r); });
  }
  time_streaming("write_json (streamed)", result, Layout::compact, compact.size(), runs, nullptr);
  if (std::getenv("QCN_SKIP_PRETTY") == nullptr) time_streaming("write_json_pretty (streamed)", result, Layout::indented, pretty.size(), runs, nullptr);
  qcn::parallel::Pool pool(qcn::parallel::hardware_threads());
  char label[64];
  std::snprintf(label, sizeof label, "write_json (streamed, %u threads)", pool.size());
  time_streaming(label, result, Layout::compact, compact.size(), runs, &pool);
  std::printf("peak RSS %.1f MiB\n", qcn::bench::peak_rss_mib());
  return 0;
}
