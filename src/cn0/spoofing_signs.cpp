#include "cn0/spoofing_signs.hpp"

#include <algorithm>
#include <cmath>

#include "cn0/spread_collapse.hpp"
#include "rinex/text.hpp"

namespace qcn::cn0 {

namespace {

// A correlation with the expectation below this follows nothing.
constexpr double kIndependentBelow = 0.3;

}  // namespace

SpoofingFlags spoofing_flags(std::span<const EpochSigns> signs) {
  SpoofingFlags flags;
  std::vector<double> spreads;
  spreads.reserve(signs.size());
  for (const EpochSigns& s : signs) spreads.push_back(s.spread_db);
  flags.usual_spread_db = usual_spread(std::move(spreads));
  flags.collapsed.assign(signs.size(), 0);
  flags.independent.assign(signs.size(), 0);
  flags.spoofed.assign(signs.size(), 0);
  for (std::size_t k = 0; k < signs.size(); ++k) {
    if (std::isnan(signs[k].spread_db)) continue;
    flags.collapsed[k] = spread_collapsed(signs[k].spread_db, flags.usual_spread_db);
    // Without any expectation to follow, nothing shows that C/N0 still follows one.
    flags.independent[k] = !(signs[k].dependence >= kIndependentBelow);
    flags.spoofed[k] = flags.collapsed[k] && flags.independent[k];
  }
  return flags;
}

std::vector<result::Episode> spoofing_episodes(const SpoofingFlags& flags, std::span<const EpochSigns> signs,
                                               const EpisodeInput& input) {
  std::vector<result::Episode> episodes;
  const EpochTimeline& timeline = *input.timeline;
  for (const EpochSpan& span : merge_runs(flags.spoofed, timeline, input.settings)) {
    result::Episode e;
    e.kind = result::EpisodeKind::spoofing;
    e.severity = result::Severity::critical;
    e.start_time = moment_text(timeline, *input.epochs, span.start);
    e.end_time = moment_text(timeline, *input.epochs, span.end);
    e.duration_seconds = seconds_at(timeline, span.end) - seconds_at(timeline, span.start) + timeline.interval_s;
    e.degraded_seconds = span.flagged_s;
    std::uint8_t bands = 0;
    double spread = 0.0;
    std::size_t counted = 0;
    for (std::uint32_t k = span.start.position; k <= span.end.position; ++k) {
      if (!flags.spoofed[k]) continue;
      bands |= signs[k].bands;
      spread += signs[k].spread_db;
      ++counted;
    }
    e.bands = band_names(bands);
    e.description.append("C/N0 alike across satellites (spread ")
        .append(rinex::fixed_text(counted ? spread / counted : 0.0, 1))
        .append(" dB, usually ")
        .append(rinex::fixed_text(flags.usual_spread_db, 1))
        .append(" dB) and no longer following elevation for ")
        .append(std::to_string(std::lround(e.duration_seconds)))
        .append(" s");
    episodes.push_back(std::move(e));
  }
  return episodes;
}

}  // namespace qcn::cn0
