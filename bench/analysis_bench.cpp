// End-to-end analysis speed and memory: read, parse and analyse an observation file, with the
// time of each analysis step.
#include <cstring>
#include <optional>
#include <filesystem>

#include "cn0/analysis.hpp"
#include "cn0/anomalies.hpp"
#include "cn0/assessment.hpp"
#include "cn0/quality.hpp"
#include "cn0/skyplot.hpp"
#include "cn0/statistics.hpp"
#include "cn0/timeseries.hpp"
#include "harness.hpp"
#include "navigation/nav_parser.hpp"
#include "result/json.hpp"
#include "rinex/file_reader.hpp"
#include "rinex/obs_parser.hpp"

namespace {

using namespace qcn;

struct Loaded {
  rinex::ObsParse obs;
  navigation::NavParse nav;
  bool has_nav = false;
};

Loaded load(const char* obs_path, const char* nav_path) {
  Loaded loaded;
  {
    rinex::FileRead file = rinex::read_file(obs_path);
    if (!file.ok()) {
      std::fprintf(stderr, "%s: %s\n", obs_path, file.error.c_str());
      std::exit(2);
    }
    loaded.obs = rinex::parse_observations(file.bytes, rinex::file_name_of(obs_path));
  }
  if (nav_path) {
    rinex::FileRead file = rinex::read_file(nav_path);
    if (!file.ok()) {
      std::fprintf(stderr, "%s: %s\n", nav_path, file.error.c_str());
      std::exit(2);
    }
    loaded.nav = navigation::parse_navigation(file.bytes);
    loaded.has_nav = true;
  }
  return loaded;
}

cn0::AnalysisInput input_of(const Loaded& loaded, const cn0::AnalysisConfig& config, parallel::Pool* pool = nullptr) {
  cn0::AnalysisInput input = cn0::analysis_input(config, loaded.obs.data, loaded.has_nav ? &loaded.nav.data : nullptr);
  input.pool = pool;
  return input;
}

void report_steps(const Loaded& loaded, const cn0::AnalysisConfig& config, int runs) {
  cn0::AnalysisInput input = input_of(loaded, config);
  cn0::SampleSet set;
  result::AnalysisResult r;
  auto step = [&](const char* name, auto&& body) { bench::report(name, bench::time_runs(runs, body), 0.0); };
  cn0::Extraction extraction;
  step("extract samples (+ visibility)", [&] { extraction = cn0::extract_samples(input); });
  set = extraction.samples;
  parallel::Pool pool(parallel::hardware_threads());
  cn0::AnalysisInput pooled = input;
  pooled.pool = &pool;
  step("extract samples, all threads", [&] { set = cn0::extract_samples(pooled).samples; });
  std::optional<cn0::SampleGroups> grouped;
  step("group samples", [&] { grouped.emplace(cn0::group_samples(set)); });
  const cn0::SampleGroups& groups = *grouped;
  const cn0::ObservationFigures figures = cn0::observation_figures(loaded.obs.data);
  step("summary + satellite stats", [&] { r = {}; cn0::fill_summary_and_satellite_stats(r, set, groups, figures); });
  step("constellation stats", [&] { cn0::fill_constellation_stats(r, set, groups, figures); });
  step("time series", [&] { r.timeseries = {}; cn0::fill_timeseries(r, set, groups); });
  step("skyplot + heatmap", [&] { r.skyplot = {}; r.heatmap = {}; cn0::fill_skyplot(r, set, groups); });
  step("anomalies", [&] {
    r.anomalies.clear();
    cn0::detect_anomalies(r, set, groups, {config.anomaly_threshold_low, config.anomaly_threshold_high,
                                           config.anomaly_threshold_critical});
  });
  const cn0::AssessmentInput assessment{&set,
                                       &groups.by_time,
                                       &extraction.epochs,
                                       &extraction.sky,
                                       cn0::assessment_header(loaded.obs.data, config),
                                       extraction.visibility ? &*extraction.visibility : nullptr,
                                       config.assessment};
  std::size_t episodes = 0;
  step("assessment", [&] {
    std::vector<std::vector<float>> expected;
    const std::optional<result::Assessment> assessed = cn0::assess_reception(assessment, &expected);
    episodes = assessed ? assessed->episodes.size() : 0;
  });
  std::printf("episodes %zu\n", episodes);
  std::printf("samples %zu, sightings %zu, satellites %zu, time points %zu\n", set.size(), set.sightings.size(),
              set.satellites.size(), set.timestamps.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OBSERVATION_FILE [NAVIGATION_FILE|-] [RUNS]\n", argv[0]);
    return 2;
  }
  const char* obs_path = argv[1];
  const char* nav_path = argc > 2 && std::strcmp(argv[2], "-") != 0 ? argv[2] : nullptr;
  const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
  const cn0::AnalysisConfig config = cn0::quick_config(5.0, std::nullopt);

  // The end-to-end figure first, so the peak memory is that of one read-parse-analyse.
  const auto file_bytes = static_cast<std::size_t>(std::filesystem::file_size(obs_path));
  const double megabytes = static_cast<double>(file_bytes) / 1e6;
  std::size_t samples = 0;
  bench::Timing end_to_end = bench::time_runs(runs, [&] {
    Loaded loaded = load(obs_path, nav_path);
    result::AnalysisResult r = cn0::run_analysis(input_of(loaded, config));
    samples = r.summary.total_observations;
  });
  const double peak = bench::peak_rss_mib();
  bench::report("read + parse + analyse", end_to_end, megabytes);
  std::printf("file %.1f MB, %zu samples, peak RSS %.0f MiB = %.2f x file\n", megabytes, samples, peak,
              peak * 1048576.0 / static_cast<double>(file_bytes));

  Loaded loaded = load(obs_path, nav_path);
  bench::report("read + parse", bench::time_runs(runs, [&] { Loaded again = load(obs_path, nav_path); }), megabytes);
  bench::report("analyse", bench::time_runs(runs, [&] { cn0::run_analysis(input_of(loaded, config)); }), megabytes);
  parallel::Pool pool(parallel::hardware_threads());
  char label[64];
  std::snprintf(label, sizeof label, "analyse, %u threads", pool.size());
  bench::report(label, bench::time_runs(runs, [&] { cn0::run_analysis(input_of(loaded, config, &pool)); }), megabytes);
  report_steps(loaded, config, runs);

  result::AnalysisResult r = cn0::run_analysis(input_of(loaded, config));
  std::size_t json_bytes = 0;
  bench::Timing json = bench::time_runs(runs, [&] { json_bytes = result::to_json(r).size(); });
  bench::report("to_json", json, static_cast<double>(json_bytes) / 1e6);
  return 0;
}
