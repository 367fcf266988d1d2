#include "cn0/assessment.hpp"

#include <algorithm>
#include <utility>

#include "cn0/degradation.hpp"
#include "cn0/episodes.hpp"
#include "cn0/expectation.hpp"
#include "cn0/signal_series.hpp"
#include "cn0/spoofing_signs.hpp"
#include "cn0/timeseries.hpp"

namespace qcn::cn0 {

namespace {

// The elevation model learns from at most about this many epochs, evenly spread: neighbouring
// epochs of a 1-second file repeat one another, and a day at 60 s teaches the model well.
constexpr double kTeachingEpochs = 1440.0;
constexpr double kLongUnexpectedS = 300.0;

/// The bands of the series received, else those the header declares.
std::uint8_t recorded_bands(const SeriesTable& table, const AssessmentInput& input) {
  std::uint8_t bands = 0;
  for (const SignalSeries& series : table.series) bands |= band_bit(series.band);
  return bands != 0 ? bands : input.header.bands;
}

double file_seconds(const EpochTimeline& timeline) {
  if (timeline.size() == 0) return 0.0;
  return timeline.seconds.back() - timeline.seconds.front() + timeline.interval_s;
}

void fill_verdicts(result::Assessment& out, const EpochTimeline& timeline, const SpoofingFlags& flags,
                   const AssessmentInput& input) {
  double degraded_s = 0.0;
  for (const result::Episode& e : out.episodes) {
    switch (e.kind) {
      case result::EpisodeKind::jamming: out.jamming_detected = true; break;
      case result::EpisodeKind::interference: out.interference_detected = true; break;
      case result::EpisodeKind::obstruction: out.obstruction_detected = true; break;
      case result::EpisodeKind::outage: out.outage_seconds += e.degraded_seconds; break;
      case result::EpisodeKind::spoofing: out.spoofing_detected = true; break;
    }
    if (e.kind != result::EpisodeKind::outage && e.kind != result::EpisodeKind::spoofing) degraded_s += e.degraded_seconds;
  }
  const double total_s = file_seconds(timeline);
  out.degraded_share = total_s > 0.0 ? std::min(degraded_s / total_s, 1.0) : 0.0;
  out.spoofing_indicators.cn0_spread_collapse =
      std::any_of(flags.collapsed.begin(), flags.collapsed.end(), [](std::uint8_t f) { return f != 0; });
  out.spoofing_indicators.elevation_dependence_lost =
      std::any_of(flags.spoofed.begin(), flags.spoofed.end(), [](std::uint8_t f) { return f != 0; });
  if (input.visibility != nullptr) {
    for (const result::VisibilityAnomaly& a : input.visibility->anomalies) {
      if (a.anomaly_type == result::VisibilityAnomalyKind::unexpected_satellites && a.duration_seconds > kLongUnexpectedS) {
        out.spoofing_indicators.visibility = true;
      }
    }
  }
  out.spoofing_detected = out.spoofing_detected || out.spoofing_indicators.visibility;
}

}  // namespace

AssessmentHeader assessment_header(const rinex::RinexObsData& observations, const AnalysisConfig& config) {
  const std::vector<char> letters = system_letters(config.systems);
  AssessmentHeader header;
  header.interval_seconds = observations.interval;
  for (const auto& [system, codes] : observations.obs_types) {
    if (system.empty() || std::find(letters.begin(), letters.end(), system.front()) == letters.end()) continue;
    for (const std::string& code : codes) {
      Band band = Band::l1;
      if (rinex::is_cn0_code(code) && band_of(system.front(), code, band)) header.bands |= band_bit(band);
    }
  }
  return header;
}

std::optional<result::Assessment> assess_reception(const AssessmentInput& input,
                                                   std::vector<std::vector<float>>* expected) {
  const FileEpochs& epochs = *input.epochs;
  if (epochs.times.empty()) return std::nullopt;
  const SampleSet& set = *input.set;
  const SeriesTable table = number_series(set);
  const std::uint8_t bands = recorded_bands(table, input);
  if (bands == 0) return std::nullopt;
  const EpochTimeline timeline = make_timeline(epochs, set.timestamps.size(), input.header.interval_seconds);

  const auto stride = static_cast<std::size_t>(std::max(1.0, std::ceil(static_cast<double>(timeline.size()) / kTeachingEpochs)));
  const ModelSamples model_samples{&set, input.by_time, &table, &timeline, stride};
  Expectation expectation = make_expectation(model_samples);
  const ScanInput scan{&set, input.by_time, &table, &timeline, input.sky, input.settings, bands, expected != nullptr};
  Degradation degradation = scan_degradation(scan, expectation);
  if (expected != nullptr) {
    *expected = degradation.expected_by_satellite.empty() ? expected_by_point(set, degradation.expected_db)
                                                          : std::move(degradation.expected_by_satellite);
  }

  // Azimuths are real where the elevation model serves: obstructions can be told apart.
  const bool located = std::any_of(expectation.by_elevation.begin(), expectation.by_elevation.end(),
                                   [](char c) { return c != 0; });
  const EpisodeInput episode_input{&degradation, &timeline, &epochs, &set, input.settings, bands, located};
  result::Assessment out;
  out.expectation = located ? result::ExpectationSource::elevation : result::ExpectationSource::baseline;
  out.episodes = degradation_episodes(episode_input);
  const SpoofingFlags flags = spoofing_flags(degradation.signs);
  for (result::Episode& e : spoofing_episodes(flags, degradation.signs, episode_input)) out.episodes.push_back(std::move(e));
  std::stable_sort(out.episodes.begin(), out.episodes.end(),
                   [](const result::Episode& a, const result::Episode& b) { return a.start_time < b.start_time; });
  out.epochs = timeline.size();
  for (std::uint32_t missing : timeline.missing_after) out.epochs += missing;
  out.interval_seconds = timeline.interval_s;
  out.bands = band_names(bands);
  fill_verdicts(out, timeline, flags, input);
  return out;
}

}  // namespace qcn::cn0
