// Epochs at which several satellites lose C/N0 together against their own baselines.
#include "cn0/anomalies.hpp"

#include "cn0/sample_figures.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "rinex/text.hpp"

namespace qcn::cn0 {

namespace {

// A satellite needs this many samples before its typical level means anything.
constexpr std::size_t kMinBaselineSamples = 10;
// A drop must exceed this in any case, whatever the satellite's noise.
constexpr double kMinDropDbhz = 10.0;
constexpr double kMinNoiseFloorDb = 1.0;
// The noise floor scaled by the low threshold never goes below this one.
constexpr double kMinScaledFloorDb = 5.0;

struct Baseline {
  bool present = false;
  double mean_cn0_dbhz = 0.0;
  double noise_floor_db = 0.0;
};

/// Baselines indexed by satellite number; satellites with too few samples have none.
std::vector<Baseline> satellite_baselines(const SampleSet& set) {
  const std::vector<Cn0Figures> figures =
      cn0_figures_by(set, set.satellites.size(), [&](std::size_t i) { return set.satellite(i); });
  std::vector<Baseline> baselines(set.satellites.size());
  for (std::size_t s = 0; s < figures.size(); ++s) {
    if (figures[s].count < kMinBaselineSamples) continue;
    baselines[s] = {true, figures[s].mean, std::fmax(figures[s].std_dev, kMinNoiseFloorDb)};
  }
  return baselines;
}

/// What one epoch's samples show against the baselines, in order of first detection.
struct EpochDrop {
  std::vector<std::uint32_t> satellites;
  std::vector<std::uint32_t> constellations;
  double largest_drop_dbhz = 0.0;
};

void add_once(std::vector<std::uint32_t>& list, std::uint32_t value) {
  if (std::find(list.begin(), list.end(), value) == list.end()) list.push_back(value);
}

void epoch_drop(const SampleSet& set, const TimeGroups& by_time, std::uint32_t t,
                const std::vector<Baseline>& baselines, double low_threshold, EpochDrop& epoch) {
  epoch.satellites.clear();
  epoch.constellations.clear();
  epoch.largest_drop_dbhz = 0.0;
  by_time.for_each(t, [&](std::uint32_t i) {
    const Baseline& baseline = baselines[set.satellite(i)];
    if (!baseline.present) return;
    const double drop = baseline.mean_cn0_dbhz - set.cn0(i);
    if (!(drop > kMinDropDbhz && drop > std::fmax(baseline.noise_floor_db, kMinScaledFloorDb) * low_threshold)) {
      return;
    }
    add_once(epoch.satellites, set.satellite(i));
    add_once(epoch.constellations, set.constellation(i));
    epoch.largest_drop_dbhz = std::fmax(epoch.largest_drop_dbhz, drop);
  });
}

result::Severity severity_of(double drop_dbhz, const AnomalyThresholds& thresholds) {
  if (drop_dbhz >= thresholds.critical) return result::Severity::critical;
  if (drop_dbhz >= thresholds.high) return result::Severity::high;
  return result::Severity::low;
}

result::CN0Anomaly to_event(const SampleSet& set, const std::string& timestamp, const EpochDrop& epoch,
                            const AnomalyThresholds& thresholds) {
  result::CN0Anomaly event;
  event.timestamp = timestamp;
  event.severity = severity_of(epoch.largest_drop_dbhz, thresholds);
  // Two systems failing together, or many satellites of one, point at the receiver's surroundings.
  const bool wide = epoch.constellations.size() >= 2 || epoch.satellites.size() >= 4;
  event.event_type = wide ? result::DropKind::multi_system : result::DropKind::multi_satellite;
  event.description = rinex::fixed_text(epoch.largest_drop_dbhz, 1) + " dB-Hz drop affecting " +
                      std::to_string(epoch.satellites.size()) + " satellite(s)";
  event.cn0_drop = epoch.largest_drop_dbhz;
  for (std::uint32_t s : epoch.satellites) event.affected_satellites.push_back(set.satellites[s].id);
  for (std::uint32_t c : epoch.constellations) event.affected_systems.emplace_back(set.constellations[c]);
  return event;
}

void count_severities(result::AnalysisResult& result) {
  result::ResultSummary& summary = result.summary;
  summary.anomaly_count = result.anomalies.size();
  summary.critical_count = 0;
  summary.high_count = 0;
  summary.low_count = 0;
  for (const result::CN0Anomaly& event : result.anomalies) {
    if (event.severity == result::Severity::critical) ++summary.critical_count;
    if (event.severity == result::Severity::high) ++summary.high_count;
    if (event.severity == result::Severity::low) ++summary.low_count;
  }
}

}  // namespace

void detect_anomalies(result::AnalysisResult& result, const SampleSet& set, const SampleGroups& groups,
                      const AnomalyThresholds& thresholds) {
  const std::vector<Baseline> baselines = satellite_baselines(set);
  const bool any_baseline =
      std::any_of(baselines.begin(), baselines.end(), [](const Baseline& b) { return b.present; });
  if (any_baseline) {
    EpochDrop epoch;
    for (std::uint32_t t : set.sorted_times) {
      epoch_drop(set, groups.by_time, t, baselines, thresholds.low, epoch);
      // One satellite alone fading is its own business (an obstruction), not an event.
      if (epoch.satellites.size() >= 2) result.anomalies.push_back(to_event(set, set.timestamps[t], epoch, thresholds));
    }
  }
  count_severities(result);
}

}  // namespace qcn::cn0
