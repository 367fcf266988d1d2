// The interference assessment of one analysis: episodes of degraded reception found epoch by
// epoch against what the receiver should have seen, and the verdicts drawn from them. Kept
// beside the other sections of the result; the result's own JSON text leaves it out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "result/severity.hpp"

namespace qcn::result {

/// What an episode was: "jamming" (several bands, or most satellites lost), "interference" (one
/// band, partly), "obstruction" (the affected satellites in one part of the sky), "outage" (no
/// epochs recorded: every signal lost, or the recording interrupted) or "spoofing".
enum class EpisodeKind : std::uint8_t { jamming, interference, obstruction, outage, spoofing };

std::string_view episode_kind_text(EpisodeKind kind);

/// What the signals were judged against: "elevation", a model of C/N0 against elevation learnt from
/// the file (navigation data gives the look angles), or "baseline", each signal's own history.
enum class ExpectationSource : std::uint8_t { elevation, baseline };

std::string_view expectation_source_text(ExpectationSource source);

struct Episode {
  EpisodeKind kind = EpisodeKind::interference;
  Severity severity = Severity::low;
  std::string start_time;  // timestamp text of its first epoch
  std::string end_time;    // of its last
  double duration_seconds = 0.0;  // from start to end, plus one epoch interval
  double degraded_seconds = 0.0;  // of that, the epochs judged degraded or left out of the file
  std::vector<std::string> bands;  // "L1", "L2", "L5", "E6", "S"
  std::vector<std::string> systems;  // constellation names, ascending
  std::vector<std::string> affected_satellites;  // below expectation or lost, ascending
  std::vector<std::string> lost_satellites;      // with no signal received at some epoch
  std::optional<double> median_drop_db;  // of the bands' common drops; none without received values
  std::optional<double> max_drop_db;
  std::string description;
};

struct SpoofingIndicators {
  bool visibility = false;         // satellites received that the orbits put below the horizon
  bool cn0_spread_collapse = false;       // C/N0 alike across satellites
  bool elevation_dependence_lost = false;  // C/N0 no longer following its expectation
};

struct Assessment {
  ExpectationSource expectation = ExpectationSource::baseline;
  bool jamming_detected = false;
  bool interference_detected = false;
  bool obstruction_detected = false;
  bool spoofing_detected = false;
  SpoofingIndicators spoofing_indicators;
  double degraded_share = 0.0;  // of the file's time, in jamming, interference and obstruction episodes
  double outage_seconds = 0.0;  // in outage episodes
  std::uint64_t epochs = 0;     // of the file, left-out ones included
  double interval_seconds = 0.0;  // the nominal spacing of epochs
  std::vector<std::string> bands;  // bands the receiver records
  std::vector<Episode> episodes;   // in time order
};

}  // namespace qcn::result
