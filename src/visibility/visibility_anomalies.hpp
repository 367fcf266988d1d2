// Runs of epochs with many missing satellites (jamming, obstruction) or several unexpected ones
// (spoofing, multipath), found by scanning the per-epoch comparison in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "result/analysis_result.hpp"
#include "rinex/epoch_time.hpp"

namespace qcn::visibility {

using AnomalyKind = result::VisibilityAnomalyKind;

/// Seconds between the two timestamp texts; when either does not read, 30 s for each of the
/// epochs_spanned epochs.
double anomaly_duration(std::string_view start_time, std::string_view end_time, std::uint64_t epochs_spanned);

/// The severity of an event affecting `satellites` satellites of `systems` distinct constellations.
result::Severity anomaly_severity(AnomalyKind kind, std::size_t satellites, std::size_t systems);

/// Such as "12 satellites missing for 300s - possible jamming or obstruction".
std::string anomaly_description(AnomalyKind kind, std::size_t satellites, double duration_seconds);

/// One scan. A missing-satellite event opens when more than 30 % of the predicted satellites are
/// missing and closes at the first epoch with at most 10 %; an unexpected-satellite event opens
/// at 3 or more unexpected satellites and closes at 1 or none. The closing epoch lies outside the
/// event, but its satellites are collected with the others. An event that lasts to the end of the
/// file ends at the last epoch (finish).
class AnomalyScan {
 public:
  explicit AnomalyScan(AnomalyKind kind) : kind_(kind) {}

  /// The next epoch: its timestamp text, its predicted count and its satellites with the status
  /// the scan looks at (missing or unexpected).
  void add_epoch(std::string_view timestamp, std::uint64_t predicted_count,
                 std::span<const std::string_view> satellites);

  /// Ends an event still open after the last epoch, at that epoch.
  void finish();

  /// The events closed so far, in closing order.
  const std::vector<result::VisibilityAnomaly>& anomalies() const { return anomalies_; }
  std::vector<result::VisibilityAnomaly> take_anomalies() { return std::move(anomalies_); }

 private:
  bool opens(std::uint64_t predicted_count, std::size_t flagged) const;
  bool closes(std::uint64_t predicted_count, std::size_t flagged) const;
  void emit(std::uint64_t closing_index);

  AnomalyKind kind_;
  bool open_ = false;
  std::uint64_t next_index_ = 0;
  std::uint64_t start_index_ = 0;
  std::string start_time_;
  std::string previous_time_;
  std::vector<std::string> collected_;  // in order of first sight
  std::unordered_set<std::string> collected_set_;
  std::vector<result::VisibilityAnomaly> anomalies_;
};

}  // namespace qcn::visibility
