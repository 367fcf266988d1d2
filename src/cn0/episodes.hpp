// Degraded epochs merged into episodes: runs of degraded epochs and stretches the file leaves
// out, joined across short interruptions, each episode with its kind and severity.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "cn0/assessment_settings.hpp"
#include "cn0/degradation.hpp"
#include "cn0/epoch_timeline.hpp"
#include "result/assessment.hpp"
#include "rinex/epoch_time.hpp"

namespace qcn::cn0 {

/// A moment of the timeline: its epoch `position`, plus `steps` intervals into the stretch left
/// out after it.
struct TimelineMoment {
  std::uint32_t position = 0;
  std::uint32_t steps = 0;
};

/// A stretch of flagged epochs and left-out time, with the time it was flagged.
struct EpochSpan {
  TimelineMoment start;
  TimelineMoment end;
  double flagged_s = 0.0;  // one interval per flagged or left-out epoch
  bool recorded = false;   // holds a flagged epoch of the file, not only left-out time
  double empty_s = 0.0;    // of flagged_s, epochs without any value
};

/// Runs of flagged epochs, joined when the time between them is at most merge_seconds; a joined
/// span is kept when one of its runs alone was flagged for min_episode_seconds, or held epochs
/// without any value for min_outage_seconds. A run ends at any epoch not flagged and at an outage;
/// a shorter stretch left out of the file is passed over.
std::vector<EpochSpan> merge_runs(std::span<const std::uint8_t> flagged, const EpochTimeline& timeline,
                                  const AssessmentSettings& settings);

/// The stretches the file leaves out that last min_outage_seconds at least: outages.
std::vector<EpochSpan> outage_spans(const EpochTimeline& timeline, const AssessmentSettings& settings);

/// Seconds of a moment from the first epoch.
double seconds_at(const EpochTimeline& timeline, TimelineMoment moment);

/// The calendar time `seconds` after t, carried into minutes, hours and days.
rinex::EpochTime time_after(const rinex::EpochTime& t, double seconds);

/// What the kind and severity of an episode rest on.
struct EpisodeFacts {
  std::uint8_t bands = 0;                // bands degraded at any of its epochs
  std::uint32_t most_bands_at_once = 0;  // the most bands degraded at one epoch
  bool most_lost = false;  // at one epoch, half the expected satellites (min_satellites at least) lost
  bool recorded = false;                 // false: only left-out time
  double max_drop_db = 0.0;              // 0 without received values
  bool one_sector = false;               // affected satellites in one part of the sky only
};

/// jamming, interference, obstruction or outage.
result::EpisodeKind classify_episode(const EpisodeFacts& facts);

/// critical: most satellites lost, or a drop of 15 dB; high: a drop of 8 dB, several bands, or
/// outages of 5 minutes; low otherwise.
result::Severity episode_severity(const EpisodeFacts& facts, result::EpisodeKind kind, double duration_s);

/// Whether the affected azimuths lie within one sector of at most max_arc_deg, with at least two
/// clear azimuths outside it.
bool in_one_sector(std::vector<float> affected_deg, std::span<const float> clear_deg, double max_arc_deg);

/// Everything the episodes are built from.
struct EpisodeInput {
  const Degradation* degradation = nullptr;
  const EpochTimeline* timeline = nullptr;
  const FileEpochs* epochs = nullptr;
  const SampleSet* set = nullptr;
  AssessmentSettings settings;
  std::uint8_t recorded_bands = 0;
  bool with_navigation = false;  // azimuths are real: obstructions can be told apart
};

/// The degradation episodes, in time order.
std::vector<result::Episode> degradation_episodes(const EpisodeInput& input);

/// The band names of a set of band bits, in band order.
std::vector<std::string> band_names(std::uint8_t bands);

/// The timestamp text of a moment.
std::string moment_text(const EpochTimeline& timeline, const FileEpochs& epochs, TimelineMoment moment);

}  // namespace qcn::cn0
