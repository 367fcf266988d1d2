// Means, confirmation rates, frequent satellites and per-constellation visibility figures.
#include "visibility/summary.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "rinex/satellite_id.hpp"

namespace qcn::visibility {

int summary_system_index(std::string_view satellite) {
  if (satellite.empty()) return -1;
  for (std::size_t i = 0; i < kSummarySystems.size(); ++i) {
    if (kSummarySystems[i] == satellite.front()) return static_cast<int>(i);
  }
  return -1;
}

std::uint32_t add_satellite(VisibilityTally& tally, std::string satellite) {
  tally.satellites.push_back(std::move(satellite));
  tally.missing_epochs.push_back(0);
  tally.unexpected_epochs.push_back(0);
  tally.received.push_back(0);
  return static_cast<std::uint32_t>(tally.satellites.size() - 1);
}

void count_confirmed(VisibilityTally& tally, std::uint32_t satellite) { tally.received[satellite] = 1; }

void count_missing(VisibilityTally& tally, std::uint32_t satellite) {
  if (tally.missing_epochs[satellite]++ == 0) tally.missing_order.push_back(satellite);
}

void count_unexpected(VisibilityTally& tally, std::uint32_t satellite) {
  tally.received[satellite] = 1;
  if (tally.unexpected_epochs[satellite]++ == 0) tally.unexpected_order.push_back(satellite);
}

namespace {

/// The satellites of order whose count exceeds the threshold, optionally of one constellation only.
std::vector<std::string> frequent(const VisibilityTally& tally, const std::vector<std::uint32_t>& order,
                                  const std::vector<std::uint64_t>& counts, int system = -1) {
  const std::uint64_t threshold = frequent_threshold(tally.epochs);
  std::vector<std::string> out;
  for (std::uint32_t satellite : order) {
    if (counts[satellite] <= threshold) continue;
    if (system >= 0 && summary_system_index(tally.satellites[satellite]) != system) continue;
    out.push_back(tally.satellites[satellite]);
  }
  return out;
}

result::SystemVisibility system_figures(const VisibilityTally& tally, int system) {
  result::SystemVisibility figures;
  figures.system = std::string(rinex::constellation_name(kSummarySystems[static_cast<std::size_t>(system)]));
  const double epochs = static_cast<double>(tally.epochs);
  const double mean_predicted = static_cast<double>(tally.predicted_by_system[static_cast<std::size_t>(system)]) / epochs;
  figures.predicted_satellites = static_cast<std::uint64_t>(std::ceil(mean_predicted));
  for (std::size_t i = 0; i < tally.satellites.size(); ++i) {
    if (tally.received[i] && summary_system_index(tally.satellites[i]) == system) ++figures.observed_satellites;
  }
  // Distinct satellites over the whole file against a mean per epoch: long files reach the cap.
  if (figures.predicted_satellites > 0) {
    figures.confirmation_rate = std::min(static_cast<double>(figures.observed_satellites) /
                                             static_cast<double>(figures.predicted_satellites) * 100.0,
                                         100.0);
  }
  figures.missing_satellites = frequent(tally, tally.missing_order, tally.missing_epochs, system);
  figures.unexpected_satellites = frequent(tally, tally.unexpected_order, tally.unexpected_epochs, system);
  return figures;
}

}  // namespace

void summarize(const VisibilityTally& tally, result::VisibilityResult& out) {
  if (tally.epochs == 0) return;
  const double epochs = static_cast<double>(tally.epochs);
  out.mean_predicted = static_cast<double>(tally.predicted) / epochs;
  out.mean_observed = static_cast<double>(tally.observed) / epochs;
  out.mean_missing = static_cast<double>(tally.missing) / epochs;
  out.mean_unexpected = static_cast<double>(tally.unexpected) / epochs;
  const double mean_confirmed = static_cast<double>(tally.confirmed) / epochs;
  out.confirmation_rate = out.mean_predicted > 0.0 ? mean_confirmed / out.mean_predicted * 100.0 : 0.0;
  out.frequently_missing = frequent(tally, tally.missing_order, tally.missing_epochs);
  out.frequently_unexpected = frequent(tally, tally.unexpected_order, tally.unexpected_epochs);
  for (std::size_t s = 0; s < kSummarySystems.size(); ++s) {
    out.by_system.insert_or_assign(rinex::constellation_name(kSummarySystems[s]), system_figures(tally, static_cast<int>(s)));
  }
}

}  // namespace qcn::visibility
