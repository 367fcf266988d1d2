#include "cn0/episodes.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "rinex/text.hpp"

namespace qcn::cn0 {

namespace {

// A share of satellites lost at once that makes an episode jamming.
constexpr double kMostLost = 0.5;
// The widest part of the sky an obstruction covers.
constexpr double kObstructionArcDeg = 150.0;
constexpr double kCriticalDropDb = 15.0;
constexpr double kHighDropDb = 8.0;
constexpr double kLongOutageS = 300.0;
// Tolerance of comparisons of times made of intervals.
constexpr double kEpsilonS = 1e-6;

bool within_merge(double gap_s, const AssessmentSettings& settings) { return gap_s <= settings.merge_seconds + kEpsilonS; }

/// Whether the file leaves out an outage's worth of epochs after epoch k.
bool is_outage(const EpochTimeline& timeline, std::uint32_t k, const AssessmentSettings& settings) {
  return timeline.missing_after[k] * timeline.interval_s >= settings.min_outage_seconds - kEpsilonS;
}

bool is_seed(const EpochSpan& run, const AssessmentSettings& settings) {
  return run.flagged_s >= settings.min_episode_seconds - kEpsilonS ||
         run.empty_s >= settings.min_outage_seconds - kEpsilonS;
}

bool has_outage(const EpochTimeline& timeline, std::uint32_t from, std::uint32_t to, const AssessmentSettings& settings) {
  for (std::uint32_t k = from; k < to; ++k) {
    if (is_outage(timeline, k, settings)) return true;
  }
  return false;
}

/// Runs of flagged epochs, in time order. A stretch left out of the file breaks a run when it is
/// long enough to be an outage of its own, and is passed over otherwise.
std::vector<EpochSpan> runs_of(std::span<const std::uint8_t> flagged, const EpochTimeline& timeline,
                               const AssessmentSettings& settings) {
  std::vector<EpochSpan> runs;
  bool open = false;
  EpochSpan current;
  auto close = [&] {
    if (open) runs.push_back(current);
    open = false;
  };
  const double interval = timeline.interval_s;
  for (std::uint32_t k = 0; k < timeline.size(); ++k) {
    if (flagged[k] == 0) {
      close();
    } else {
      if (!open) current = {{k, 0}, {k, 0}, 0.0, true, 0.0};
      open = true;
      current.end = {k, 0};
      current.flagged_s += interval;
      if (timeline.time_index[k] == kNoTimeIndex) current.empty_s += interval;
    }
    if (is_outage(timeline, k, settings)) close();
  }
  close();
  return runs;
}

/// Clusters of runs whose gaps are at most merge_seconds, kept when one run is a seed.
std::vector<EpochSpan> merged(const std::vector<EpochSpan>& runs, const EpochTimeline& timeline,
                              const AssessmentSettings& settings) {
  std::vector<EpochSpan> spans;
  bool open = false;
  bool seeded = false;
  EpochSpan current;
  for (const EpochSpan& run : runs) {
    const bool seed = is_seed(run, settings);
    const double gap = seconds_at(timeline, run.start) - seconds_at(timeline, current.end) - timeline.interval_s;
    const bool outage_between = open && has_outage(timeline, current.end.position, run.start.position, settings);
    if (open && within_merge(gap, settings) && !outage_between) {
      current.end = run.end;
      current.flagged_s += run.flagged_s;
      current.empty_s += run.empty_s;
      seeded = seeded || seed;
      continue;
    }
    if (open && seeded) spans.push_back(current);
    current = run;
    open = true;
    seeded = seed;
  }
  if (open && seeded) spans.push_back(current);
  return spans;
}

std::vector<std::string> sorted_unique(std::vector<std::string> texts) {
  std::sort(texts.begin(), texts.end());
  texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
  return texts;
}

std::string duration_text(double seconds) {
  if (seconds < 120.0) return std::to_string(std::lround(seconds)) + " s";
  if (seconds < 7200.0) return std::to_string(std::lround(seconds / 60.0)) + " min";
  return rinex::fixed_text(seconds / 3600.0, 1) + " h";
}

std::string joined_names(const std::vector<std::string>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += i + 1 == names.size() ? " and " : ", ";
    out += names[i];
  }
  return out;
}

/// What the records of a span show, satellite by satellite.
struct SpanGathering {
  EpisodeFacts facts;
  std::vector<double> drops_db;
  std::vector<std::uint32_t> affected;  // satellites in order of first effect
  std::vector<std::uint32_t> lost;
  std::vector<float> affected_azimuths;
  std::vector<float> clear_azimuths;
};

SpanGathering gather(const EpochSpan& span, const EpisodeInput& input) {
  const Degradation& degradation = *input.degradation;
  SpanGathering g;
  g.facts.recorded = span.recorded;
  const std::uint32_t first = span.start.steps == 0 ? span.start.position : span.start.position + 1;
  auto it = std::lower_bound(degradation.epochs.begin(), degradation.epochs.end(), first,
                             [](const DegradedEpoch& e, std::uint32_t p) { return e.position < p; });
  std::vector<std::uint8_t> seen(input.set->satellites.size(), 0);  // bit 0 affected, 1 lost, 2 clear
  std::vector<float> clear_azimuth(input.set->satellites.size(), std::numeric_limits<float>::quiet_NaN());
  for (; it != degradation.epochs.end() && it->position <= span.end.position; ++it) {
    g.facts.bands |= it->bands;
    g.facts.most_bands_at_once = std::max<std::uint32_t>(g.facts.most_bands_at_once, std::popcount(it->bands));
    // An epoch without any value loses every satellite, even with none expected (the file's start).
    const bool most_lost = it->nothing_received ||
                           (it->lost_satellites >= input.settings.min_satellites &&
                            it->lost_satellites >= kMostLost * it->expected_satellites);
    g.facts.most_lost = g.facts.most_lost || most_lost;
    for (float drop : it->drop_db) {
      if (!std::isnan(drop)) g.drops_db.push_back(drop);
    }
    for (std::uint32_t m = it->first_mark; m < it->first_mark + it->mark_count; ++m) {
      const SatelliteMark& mark = degradation.marks[m];
      std::uint8_t& flags = seen[mark.satellite];
      if (mark.state == SatelliteState::clear) {
        if (!(flags & 4u)) clear_azimuth[mark.satellite] = mark.azimuth_deg;
        flags |= 4u;
        continue;
      }
      if (!(flags & 1u)) {
        g.affected.push_back(mark.satellite);
        if (!std::isnan(mark.azimuth_deg)) g.affected_azimuths.push_back(mark.azimuth_deg);
      }
      flags |= 1u;
      if (mark.state == SatelliteState::lost && !(flags & 2u)) {
        g.lost.push_back(mark.satellite);
        flags |= 2u;
      }
    }
  }
  for (std::size_t s = 0; s < seen.size(); ++s) {
    if (seen[s] == 4u && !std::isnan(clear_azimuth[s])) g.clear_azimuths.push_back(clear_azimuth[s]);
  }
  if (!span.recorded) g.facts.bands = input.recorded_bands;
  for (double drop : g.drops_db) g.facts.max_drop_db = std::max(g.facts.max_drop_db, drop);
  g.facts.one_sector = input.with_navigation && g.affected.size() >= input.settings.min_satellites &&
                       in_one_sector(g.affected_azimuths, g.clear_azimuths, kObstructionArcDeg);
  return g;
}

double median_of(std::vector<double> values) {
  if (values.empty()) return std::numeric_limits<double>::quiet_NaN();
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

std::string describe(const result::Episode& e, const SpanGathering& g) {
  const std::string span = duration_text(e.duration_seconds);
  std::string text;
  if (e.kind == result::EpisodeKind::outage) {
    text.append("no epochs recorded for ").append(span).append(": every signal lost, or the recording interrupted");
    return text;
  }
  if (e.kind == result::EpisodeKind::obstruction) {
    text.append("satellites in one part of the sky");
  } else {
    text.append(joined_names(e.bands));
  }
  text.append(" degraded for ").append(span);
  if (e.median_drop_db && e.max_drop_db) {
    text.append(": signals ").append(rinex::fixed_text(*e.median_drop_db, 1)).append(" dB-Hz below expectation (largest ");
    text.append(rinex::fixed_text(*e.max_drop_db, 1)).append(")");
  } else {
    text.append(": no signal received");
  }
  text.append(", ").append(std::to_string(e.affected_satellites.size())).append(" satellites affected, ");
  text.append(std::to_string(e.lost_satellites.size())).append(" lost");
  if (g.facts.most_lost) text.append(" (most satellites at once)");
  return text;
}

result::Episode make_episode(const EpochSpan& span, const EpisodeInput& input) {
  const EpochTimeline& timeline = *input.timeline;
  const SpanGathering g = gather(span, input);
  result::Episode e;
  e.kind = classify_episode(g.facts);
  e.start_time = moment_text(timeline, *input.epochs, span.start);
  e.end_time = moment_text(timeline, *input.epochs, span.end);
  e.duration_seconds = seconds_at(timeline, span.end) - seconds_at(timeline, span.start) + timeline.interval_s;
  e.degraded_seconds = span.flagged_s;
  e.severity = episode_severity(g.facts, e.kind, e.duration_seconds);
  e.bands = band_names(g.facts.bands);
  std::vector<std::string> systems;
  for (std::uint32_t s : g.affected) {
    e.affected_satellites.push_back(input.set->satellites[s].id);
    systems.emplace_back(input.set->constellations[input.set->satellites[s].constellation]);
  }
  for (std::uint32_t s : g.lost) e.lost_satellites.push_back(input.set->satellites[s].id);
  e.affected_satellites = sorted_unique(std::move(e.affected_satellites));
  e.lost_satellites = sorted_unique(std::move(e.lost_satellites));
  e.systems = sorted_unique(std::move(systems));
  if (!g.drops_db.empty()) {
    e.median_drop_db = median_of(g.drops_db);
    e.max_drop_db = g.facts.max_drop_db;
  }
  e.description = describe(e, g);
  return e;
}

}  // namespace

double seconds_at(const EpochTimeline& timeline, TimelineMoment moment) {
  return timeline.seconds[moment.position] + moment.steps * timeline.interval_s;
}

std::vector<EpochSpan> merge_runs(std::span<const std::uint8_t> flagged, const EpochTimeline& timeline,
                                  const AssessmentSettings& settings) {
  return merged(runs_of(flagged, timeline, settings), timeline, settings);
}

std::vector<EpochSpan> outage_spans(const EpochTimeline& timeline, const AssessmentSettings& settings) {
  std::vector<EpochSpan> spans;
  for (std::uint32_t k = 0; k < timeline.size(); ++k) {
    if (!is_outage(timeline, k, settings)) continue;
    const std::uint32_t missing = timeline.missing_after[k];
    spans.push_back({{k, 1}, {k, missing}, missing * timeline.interval_s, false, missing * timeline.interval_s});
  }
  return spans;
}

rinex::EpochTime time_after(const rinex::EpochTime& t, double seconds) {
  if (seconds == 0.0) return t;
  const double total = rinex::seconds_of_day(t) + seconds;
  const double whole_days = std::floor(total / 86400.0);
  double of_day = total - whole_days * 86400.0;
  // Julian day number to the Gregorian calendar (Richards' algorithm).
  const std::int64_t j = rinex::day_number(t) + static_cast<std::int64_t>(whole_days);
  const std::int64_t f = j + 1401 + (((4 * j + 274277) / 146097) * 3) / 4 - 38;
  const std::int64_t e = 4 * f + 3;
  const std::int64_t h = 5 * ((e % 1461) / 4) + 2;
  rinex::EpochTime out;
  out.day = static_cast<std::uint32_t>((h % 153) / 5 + 1);
  out.month = static_cast<std::uint32_t>((h / 153 + 2) % 12 + 1);
  out.year = static_cast<std::int32_t>(e / 1461 - 4716 + (14 - out.month) / 12);
  // Whole seconds are counted in integers, so 30 s steps give exact fields.
  const auto whole = static_cast<std::int64_t>(std::floor(of_day + 1e-9));
  out.hour = static_cast<std::uint32_t>(whole / 3600);
  out.minute = static_cast<std::uint32_t>(whole / 60 % 60);
  of_day -= static_cast<double>(whole - whole % 60);
  out.second = std::max(of_day, 0.0);
  return out;
}

std::string moment_text(const EpochTimeline& timeline, const FileEpochs& epochs, TimelineMoment moment) {
  const rinex::EpochTime& anchor = epochs.times[timeline.file_epoch[moment.position]];
  return rinex::timestamp_text(time_after(anchor, moment.steps * timeline.interval_s));
}

bool in_one_sector(std::vector<float> affected_deg, std::span<const float> clear_deg, double max_arc_deg) {
  if (affected_deg.empty()) return false;
  std::sort(affected_deg.begin(), affected_deg.end());
  // The sector is the circle without its widest gap between neighbouring affected azimuths.
  double widest_gap = 360.0 - (affected_deg.back() - affected_deg.front());
  float sector_start = affected_deg.front();
  for (std::size_t i = 1; i < affected_deg.size(); ++i) {
    const double gap = affected_deg[i] - affected_deg[i - 1];
    if (gap > widest_gap) {
      widest_gap = gap;
      sector_start = affected_deg[i];
    }
  }
  const double arc = 360.0 - widest_gap;
  if (arc > max_arc_deg) return false;
  // Clear satellites may stand above an obstacle within the sector; others must be clear elsewhere.
  std::size_t outside = 0;
  for (float azimuth : clear_deg) {
    const double from_start = std::fmod(azimuth - sector_start + 720.0, 360.0);
    if (from_start > arc) ++outside;
  }
  return outside >= 2;
}

result::EpisodeKind classify_episode(const EpisodeFacts& facts) {
  if (!facts.recorded) return result::EpisodeKind::outage;
  if (facts.one_sector) return result::EpisodeKind::obstruction;
  if (facts.most_bands_at_once >= 2 || facts.most_lost) return result::EpisodeKind::jamming;
  return result::EpisodeKind::interference;
}

result::Severity episode_severity(const EpisodeFacts& facts, result::EpisodeKind kind, double duration_s) {
  if (kind == result::EpisodeKind::outage) return duration_s >= kLongOutageS ? result::Severity::high : result::Severity::low;
  if (facts.most_lost || facts.max_drop_db >= kCriticalDropDb) return result::Severity::critical;
  if (facts.max_drop_db >= kHighDropDb || facts.most_bands_at_once >= 2) return result::Severity::high;
  return result::Severity::low;
}

std::vector<std::string> band_names(std::uint8_t bands) {
  std::vector<std::string> names;
  for (Band band : kBands) {
    if (bands & band_bit(band)) names.emplace_back(band_name(band));
  }
  return names;
}

std::vector<result::Episode> degradation_episodes(const EpisodeInput& input) {
  std::vector<result::Episode> episodes;
  for (const EpochSpan& span : merge_runs(input.degradation->bands, *input.timeline, input.settings)) {
    episodes.push_back(make_episode(span, input));
  }
  for (const EpochSpan& span : outage_spans(*input.timeline, input.settings)) {
    episodes.push_back(make_episode(span, input));
  }
  std::stable_sort(episodes.begin(), episodes.end(), [&](const result::Episode& a, const result::Episode& b) {
    return a.start_time < b.start_time;
  });
  return episodes;
}

}  // namespace qcn::cn0
