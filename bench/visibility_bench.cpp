// Cost of the visibility prediction over one observation file, the share of the per-epoch
// geometry, allocations of the geometry after its first epoch, and the figures it finds.
#include <cstdlib>
#include <cstring>

#include "allocation_count.hpp"
#include "harness.hpp"
#include "navigation/nav_parser.hpp"
#include "rinex/file_reader.hpp"
#include "rinex/obs_parser.hpp"
#include "visibility/predictor.hpp"

namespace {

using namespace qcn;

std::string read_or_exit(const char* path) {
  rinex::FileRead file = rinex::read_file(path);
  if (!file.ok()) {
    std::fprintf(stderr, "%s: %s\n", path, file.error.c_str());
    std::exit(2);
  }
  return std::move(file.bytes);
}

/// Confirmed over predicted records of one constellation letter, over all epochs, in percent.
void report_confirmation(const visibility::VisibilityOutcome& outcome) {
  struct Count {
    std::size_t predicted = 0, confirmed = 0;
  };
  Count counts[4];
  const char letters[4] = {'G', 'R', 'E', 'C'};
  for (const auto& epoch : outcome.epochs) {
    for (const auto& s : epoch.satellites) {
      for (int k = 0; k < 4; ++k) {
        if (s.satellite.front() != letters[k] || s.status == "unexpected") continue;
        ++counts[k].predicted;
        counts[k].confirmed += s.status == "confirmed";
      }
    }
  }
  for (int k = 0; k < 4; ++k) {
    const auto& figures = *outcome.summary.by_system.find(rinex::constellation_name(visibility::kSummarySystems[k]));
    std::printf("  %-8s confirmed/predicted %6.2f %%  (by_system: predicted %llu, observed %llu, rate %.1f)\n",
                std::string(rinex::constellation_name(visibility::kSummarySystems[k])).c_str(),
                counts[k].predicted ? 100.0 * counts[k].confirmed / counts[k].predicted : 0.0,
                static_cast<unsigned long long>(figures.predicted_satellites),
                static_cast<unsigned long long>(figures.observed_satellites), figures.confirmation_rate);
  }
}

void report_figures(const char* label, const visibility::VisibilityOutcome& outcome) {
  const result::VisibilityResult& v = outcome.summary;
  std::printf("%s: %s, %zu epochs\n", label, v.prediction_source.c_str(), outcome.epochs.size());
  std::printf("  confirmation %.2f %%, mean predicted %.3f, observed %.3f, missing %.3f, unexpected %.3f\n",
              v.confirmation_rate, v.mean_predicted, v.mean_observed, v.mean_missing, v.mean_unexpected);
  std::printf("  frequently missing %zu, frequently unexpected %zu, anomalies %zu\n", v.frequently_missing.size(),
              v.frequently_unexpected.size(), v.anomalies.size());
  report_confirmation(outcome);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s OBSERVATION_FILE NAVIGATION_FILE [RUNS] [MASK_DEG]\n", argv[0]);
    return 2;
  }
  const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
  const double mask = argc > 4 ? std::atof(argv[4]) : 5.0;
  const rinex::RinexObsData obs = rinex::parse_observations(read_or_exit(argv[1]), rinex::file_name_of(argv[1])).data;
  const navigation::NavigationData nav = navigation::parse_navigation(read_or_exit(argv[2])).data;
  if (!obs.approx_position) {
    std::fprintf(stderr, "%s: no approximate position\n", argv[1]);
    return 2;
  }
  const visibility::PredictionInput input = visibility::make_prediction_input(nav, mask);

  visibility::VisibilityOutcome outcome;
  bench::report("predict_visibility", bench::time_runs(runs, [&] { outcome = visibility::predict_visibility(input, obs); }), 0.0);

  const navigation::ReceiverFrame frame = navigation::receiver_frame(*obs.approx_position);
  visibility::EpochGeometry geometry;
  std::size_t allocations = 0;
  bench::report("geometry only", bench::time_runs(runs, [&] {
    geometry = {};
    visibility::geometry_at(input, frame, obs.epochs.front().time, geometry);
    const std::size_t before = qcn::bench::allocation_count();
    for (const auto& epoch : obs.epochs) visibility::geometry_at(input, frame, epoch.time, geometry);
    allocations = qcn::bench::allocation_count() - before;
  }), 0.0);
  std::printf("geometry allocations after the first epoch: %zu\n", allocations);

  bench::report("predictor without records", bench::time_runs(runs, [&] {
    visibility::VisibilityPredictor predictor(input);
    visibility::ObservedReader reader(obs);
    for (const auto& epoch : obs.epochs) {
      visibility::geometry_at(input, frame, epoch.time, geometry);
      predictor.add_epoch(epoch.time, geometry, reader.of(epoch));
    }
    (void)predictor.finish();
  }), 0.0);

  report_figures("all ephemerides", outcome);
  navigation::NavigationData gps_only;
  for (const auto& [id, records] : nav.gps_ephemerides) {
    if (id.front() == 'G') gps_only.gps_ephemerides.insert_or_assign(id, records);
  }
  report_figures("GPS ephemerides only",
                 visibility::predict_visibility(visibility::make_prediction_input(gps_only, mask), obs));
  return 0;
}
