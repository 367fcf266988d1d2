// The two visibility anomaly scans and the texts of what they find.
#include "visibility/visibility_anomalies.hpp"

#include <algorithm>
#include <cmath>

#include "rinex/text.hpp"
#include "visibility/satellite_system.hpp"

namespace qcn::visibility {

namespace {

constexpr double kMissingOpenRatio = 0.3;    // opens above
constexpr double kMissingCloseRatio = 0.1;   // closes at or below
constexpr std::size_t kUnexpectedOpenCount = 3;   // opens at or above
constexpr std::size_t kUnexpectedCloseCount = 2;  // closes below
constexpr double kFallbackSecondsPerEpoch = 30.0;  // when a timestamp does not read back

double missing_ratio(std::uint64_t predicted_count, std::size_t missing) {
  return predicted_count == 0 ? 0.0 : static_cast<double>(missing) / static_cast<double>(predicted_count);
}

}  // namespace

double anomaly_duration(std::string_view start_time, std::string_view end_time, std::uint64_t epochs_spanned) {
  const auto start = rinex::epoch_from_timestamp(start_time);
  const auto end = rinex::epoch_from_timestamp(end_time);
  if (!start || !end) return static_cast<double>(epochs_spanned) * kFallbackSecondsPerEpoch;
  return std::fabs(rinex::julian_day(*end) - rinex::julian_day(*start)) * 86400.0;
}

result::Severity anomaly_severity(AnomalyKind kind, std::size_t satellites, std::size_t systems) {
  using result::Severity;
  if (kind == AnomalyKind::unexpected_satellites) {
    if (satellites < 3) return Severity::low;
    return satellites < 6 ? Severity::high : Severity::critical;
  }
  // Losing satellites of three constellations at once is rarely a matter of sky view.
  if (satellites >= 11 || systems >= 3) return Severity::critical;
  return satellites < 6 ? Severity::low : Severity::high;
}

std::string anomaly_description(AnomalyKind kind, std::size_t satellites, double duration_seconds) {
  const bool missing = kind == AnomalyKind::missing_satellites;
  std::string text = std::to_string(satellites);
  text += missing ? " satellites missing for " : " unexpected satellites for ";
  text += rinex::fixed_text(duration_seconds, 0);
  text += missing ? "s - possible jamming or obstruction" : "s - possible spoofing or multipath";
  return text;
}

bool AnomalyScan::opens(std::uint64_t predicted_count, std::size_t flagged) const {
  if (kind_ == AnomalyKind::missing_satellites) return missing_ratio(predicted_count, flagged) > kMissingOpenRatio;
  return flagged >= kUnexpectedOpenCount;
}

bool AnomalyScan::closes(std::uint64_t predicted_count, std::size_t flagged) const {
  if (kind_ == AnomalyKind::missing_satellites) return missing_ratio(predicted_count, flagged) <= kMissingCloseRatio;
  return flagged < kUnexpectedCloseCount;
}

void AnomalyScan::add_epoch(std::string_view timestamp, std::uint64_t predicted_count,
                            std::span<const std::string_view> satellites) {
  const std::uint64_t index = next_index_++;
  if (!open_ && opens(predicted_count, satellites.size())) {
    open_ = true;
    start_index_ = index;
    start_time_.assign(timestamp);
    collected_.clear();
    collected_set_.clear();
  }
  if (open_) {
    for (std::string_view satellite : satellites) {
      if (collected_set_.emplace(satellite).second) collected_.emplace_back(satellite);
    }
    if (closes(predicted_count, satellites.size())) {
      emit(index);
      open_ = false;
    }
  }
  previous_time_.assign(timestamp);
}

void AnomalyScan::finish() {
  if (!open_) return;
  // The last epoch is inside the event: it ends there, as if the next epoch had closed it.
  emit(next_index_);
  open_ = false;
}

void AnomalyScan::emit(std::uint64_t closing_index) {
  result::VisibilityAnomaly anomaly;
  anomaly.start_time = start_time_;
  anomaly.end_time = previous_time_;
  anomaly.duration_seconds = anomaly_duration(anomaly.start_time, anomaly.end_time, closing_index - start_index_);
  anomaly.anomaly_type = kind_;
  for (const std::string& satellite : collected_) {
    anomaly.affected_systems.emplace_back(constellation_name(satellite));
  }
  std::sort(anomaly.affected_systems.begin(), anomaly.affected_systems.end());
  anomaly.affected_systems.erase(std::unique(anomaly.affected_systems.begin(), anomaly.affected_systems.end()),
                                 anomaly.affected_systems.end());
  const std::size_t count = collected_.size();
  anomaly.severity = anomaly_severity(kind_, count, anomaly.affected_systems.size());
  anomaly.description = anomaly_description(kind_, count, anomaly.duration_seconds);
  anomaly.affected_satellites = std::move(collected_);
  collected_.clear();
  collected_set_.clear();
  anomalies_.push_back(std::move(anomaly));
}

}  // namespace qcn::visibility
