// Condensing the per-epoch comparison of predicted and observed satellites into the figures of
// the visibility result: means, confirmation rate, frequent satellites, per-constellation figures.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "result/analysis_result.hpp"

namespace qcn::visibility {

/// The letters of the constellations that get per-constellation figures, in the order the result
/// lists them.
inline constexpr std::array<char, 4> kSummarySystems{'G', 'R', 'E', 'C'};

/// Index into kSummarySystems of a satellite by its first letter; -1 for other constellations.
int summary_system_index(std::string_view satellite);

/// Everything the summary needs, gathered epoch by epoch. Satellites are numbered in order of
/// first sight; each one's counters sit at its number.
struct VisibilityTally {
  std::uint64_t epochs = 0;
  // Sums over the epochs of the per-epoch counts.
  std::uint64_t predicted = 0;
  std::uint64_t observed = 0;
  std::uint64_t confirmed = 0;
  std::uint64_t missing = 0;
  std::uint64_t unexpected = 0;
  std::array<std::uint64_t, kSummarySystems.size()> predicted_by_system{};  // predicted records

  std::vector<std::string> satellites;
  std::vector<std::uint64_t> missing_epochs;     // epochs in which the satellite was missing
  std::vector<std::uint64_t> unexpected_epochs;  // epochs in which it was unexpected
  std::vector<char> received;                    // confirmed or unexpected at least once
  std::vector<std::uint32_t> missing_order;      // satellites by their first missing epoch
  std::vector<std::uint32_t> unexpected_order;   // satellites by their first unexpected epoch
};

/// Numbers a new satellite; returns its number.
std::uint32_t add_satellite(VisibilityTally& tally, std::string satellite);

/// Counts one epoch in which the satellite was predicted and received, predicted and missing, or
/// received without being predicted.
void count_confirmed(VisibilityTally& tally, std::uint32_t satellite);
void count_missing(VisibilityTally& tally, std::uint32_t satellite);
void count_unexpected(VisibilityTally& tally, std::uint32_t satellite);

/// A satellite is frequent when its count exceeds a quarter of the epochs (integer division).
constexpr std::uint64_t frequent_threshold(std::uint64_t epochs) { return epochs / 4; }

/// Fills the means, the confirmation rate, the frequent satellites and by_system; leaves the
/// result untouched when no epoch was counted.
void summarize(const VisibilityTally& tally, result::VisibilityResult& out);

}  // namespace qcn::visibility
