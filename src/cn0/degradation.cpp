#include "cn0/degradation.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <span>
#include <utility>

#include "cn0/epoch_list.hpp"
#include "cn0/sign_sums.hpp"
#include "cn0/sky_level.hpp"

namespace qcn::cn0 {

namespace {

// A signal is held steadily when received at this share of its satellite's epochs, averaged over
// about two minutes; such a signal is missed for this time (or this many intervals) after it was
// last received. Signals that come and go (tracked at the edge of sensitivity) are never missed.
constexpr double kSteadyShare = 0.75;
constexpr double kSteadyTimeS = 120.0;
constexpr double kLostLookbackS = 60.0;
constexpr double kLostLookbackIntervals = 2.5;
constexpr double kFallingShareOfMargin = 0.5;
// A band held this long through degradation has its baselines learnt afresh when it recovers.
constexpr double kRelearnAfterS = 600.0;
// A signal unseen this long starts afresh: its satellite set and rose again, or every signal was
// lost for long.
constexpr double kNewPassAfterS = 600.0;
constexpr float kNaNf = std::numeric_limits<float>::quiet_NaN();

double median_of(std::span<double> values) {
  if (values.empty()) return std::numeric_limits<double>::quiet_NaN();
  auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  if (values.size() % 2 == 1) return *middle;
  const double upper = *middle;
  return 0.5 * (upper + *std::max_element(values.begin(), middle));
}

/// What the scan keeps of one series, together: every sample reads and writes most of it.
struct SeriesState {
  double last_seen_s = -1e300;
  std::uint32_t present_stamp = 0;  // stamp of the epoch it was last received at
  float steadiness = 0.0f;          // running share of its satellite's epochs it was received at
  float previous_db = std::numeric_limits<float>::quiet_NaN();  // its value when last received
  std::uint32_t satellite = 0;
  std::uint32_t group = 0;
  Band band = Band::l1;
  bool by_elevation = false;  // the elevation model, not the time baseline, gives its expectation
  bool in_loss = false;       // a member of its band's loss
};

/// A value waiting for the judgement of its epoch before it may enter its baseline.
struct Feed {
  std::uint32_t series = 0;
  float cn0_dbhz = 0.0f;
};

/// The signals of a band lost at once, followed until most of them are back or the band receives
/// as many signals again as it held before.
struct Loss {
  bool active = false;
  std::vector<std::uint32_t> members;  // series
  std::uint32_t held_before = 0;       // signals the band held steadily before the loss
};

class Scanner {
 public:
  Scanner(const ScanInput& input, Expectation& expectation);
  Degradation run() {
    for (std::uint32_t k = 0; k < timeline_.size(); ++k) scan_epoch(k);
    return std::move(out_);
  }

 private:
  void scan_epoch(std::uint32_t k);
  void take_received(std::uint32_t k, std::uint32_t stamp);
  void take_sample(std::uint32_t s, double cn0, double seconds, std::uint32_t stamp);
  float judge_sample(std::uint32_t s, const Sighting& sighting, double cn0);
  void keep_expected(std::uint32_t i, std::uint32_t satellite, float expected);
  void prepare_expected();
  void take_missing(std::uint32_t k, std::uint32_t stamp);
  void take_missed(std::uint32_t s, std::uint32_t satellite, bool satellite_received, double seconds,
                   std::uint32_t stamp);
  double median_drop(std::size_t b);
  bool rising(std::size_t b);
  bool judge_band(Band band, std::uint32_t still_lost);
  void start_loss(Band band);
  void end_loss(Band band, bool risen);
  std::uint8_t judge_bands(std::uint32_t k, std::uint32_t stamp, bool nothing_received);
  std::uint32_t mark_still_lost(Band band, std::uint32_t k, std::uint32_t stamp);
  void count_satellites();
  void relearn_after_long_holds(std::uint32_t k, std::uint8_t degraded);
  void record(std::uint32_t k, std::uint8_t degraded, bool nothing_received);
  void feed_baselines(std::uint32_t k, std::uint8_t degraded);

  void touch_satellite(std::uint32_t satellite, std::uint32_t stamp) {
    if (satellite_stamp_[satellite] == stamp) return;
    satellite_stamp_[satellite] = stamp;
    satellite_bad_[satellite] = 0;
    satellite_lost_[satellite] = 0;
    satellite_received_[satellite] = 0;
    satellite_expected_[satellite] = 0;
    satellite_signals_[satellite] = 0;
    touched_.push_back(satellite);
  }
  bool satellite_set(std::uint32_t satellite, std::uint32_t k) const;
  /// Counts a satellite once per band and epoch among those still lost or low in the band's loss.
  void count_loss_satellite(std::uint32_t satellite, std::size_t b, std::uint32_t stamp) {
    const std::uint64_t key = std::uint64_t{stamp} * kBandCount + b;
    if (loss_counted_[satellite] == key) return;
    loss_counted_[satellite] = key;
    ++loss_satellites_[b];
  }

  const ScanInput& in_;
  const SampleSet& set_;
  const SeriesTable& table_;
  const EpochTimeline& timeline_;
  Expectation& expectation_;
  bool has_sky_ = false;  // the satellites the orbits put above the mask are known
  bool by_satellite_ = false;  // the expected values are kept per satellite
  double lookback_s_ = kLostLookbackS;
  float steady_weight_ = 0.25f;

  double min_drop_db_ = 0.0;  // the margin
  double falling_db_ = 0.0;   // a drop of half the margin: the signal falls
  double noise_factor_ = 0.0;
  std::vector<SeriesState> state_;
  std::vector<std::uint64_t> loss_counted_;  // per satellite: epoch and band it was last counted in
  std::array<std::uint32_t, kBandCount> loss_satellites_{};  // satellites still lost or low, per band
  std::vector<double> satellite_seen_s_;
  std::vector<std::vector<std::uint32_t>> series_of_satellite_;
  std::vector<std::uint32_t> satellite_stamp_;
  std::vector<std::uint8_t> satellite_bad_;   // bands with a low or lost signal
  std::vector<std::uint8_t> satellite_lost_;  // bands with a signal lost at once
  std::vector<std::uint8_t> satellite_received_;
  std::vector<std::uint32_t> satellite_signals_;  // signals received at the current epoch
  std::vector<std::uint8_t> satellite_expected_;
  std::vector<float> azimuth_deg_;
  std::vector<std::uint32_t> touched_;  // satellites of the current epoch
  std::vector<std::uint32_t> recent_;   // satellites received within the lookback
  std::vector<std::uint32_t> next_recent_;

  std::array<EpochList<double>, kBandCount> drops_;
  std::array<double, kBandCount> noise_sums_{};
  std::array<bool, kBandCount> drop_known_{};
  std::array<EpochList<double>, kBandCount> rises_;
  std::array<bool, kBandCount> falling_{};
  std::array<double, kBandCount> onset_drop_db_{};  // median drop when the band began to fall
  std::array<double, kBandCount> degraded_since_s_{};
  std::array<double, kBandCount> clear_since_s_{};  // start of the band's current clear stretch
  std::uint8_t previous_degraded_ = 0;
  std::uint8_t recovered_ = 0;  // bands whose degradation ended in a common rise at this epoch
  std::uint8_t watched_ = 0;    // bands falling or lost at the start of the epoch
  std::array<std::uint32_t, kBandCount> received_{};  // signals received at this epoch
  std::array<BandTally, kBandCount> tallies_;
  std::array<EpochList<std::uint32_t>, kBandCount> steady_before_;  // series received steadily at k - 1
  std::array<Loss, kBandCount> losses_;

  std::vector<Feed> to_feed_;
  SkyLevel sky_level_;
  bool sky_wanted_ = true;  // the sky's values are gathered at this epoch
  SignSums signs_;

  Degradation out_;
};

Scanner::Scanner(const ScanInput& input, Expectation& expectation)
    : in_(input), set_(*input.set), table_(*input.table), timeline_(*input.timeline), expectation_(expectation) {
  const std::size_t series = table_.size();
  const std::size_t satellites = set_.satellites.size();
  state_.resize(series);
  std::array<std::size_t, kBandCount> band_series{};
  for (std::uint32_t s = 0; s < series; ++s) {
    const SignalSeries& signal = table_.series[s];
    state_[s].satellite = signal.satellite;
    state_[s].group = signal.group;
    state_[s].band = signal.band;
    state_[s].by_elevation = expectation_.by_elevation[s] != 0;
    ++band_series[static_cast<std::size_t>(signal.band)];
  }
  for (std::size_t b = 0; b < kBandCount; ++b) {
    drops_[b].resize(band_series[b]);
    rises_[b].resize(band_series[b]);
    steady_before_[b].resize(band_series[b]);
  }
  to_feed_.reserve(series);
  min_drop_db_ = input.settings.min_drop_db;
  falling_db_ = kFallingShareOfMargin * min_drop_db_;
  noise_factor_ = input.settings.noise_factor;
  loss_counted_.assign(satellites, 0);
  satellite_seen_s_.assign(satellites, -1e300);
  series_of_satellite_.resize(satellites);
  for (std::uint32_t s = 0; s < series; ++s) series_of_satellite_[table_.series[s].satellite].push_back(s);
  satellite_stamp_.assign(satellites, 0);
  satellite_bad_.assign(satellites, 0);
  satellite_lost_.assign(satellites, 0);
  satellite_received_.assign(satellites, 0);
  satellite_signals_.assign(satellites, 0);
  satellite_expected_.assign(satellites, 0);
  azimuth_deg_.assign(satellites, kNaNf);
  signs_ = SignSums(table_.group_count);
  has_sky_ = input.sky != nullptr && !input.sky->empty();
  lookback_s_ = std::max(kLostLookbackS, kLostLookbackIntervals * timeline_.interval_s);
  steady_weight_ = static_cast<float>(std::min(1.0, timeline_.interval_s / kSteadyTimeS));
  out_.bands.assign(timeline_.size(), 0);
  out_.signs.assign(timeline_.size(), {});
  if (input.keep_expected) prepare_expected();
  clear_since_s_.fill(-1e300);
  std::vector<Band> group_band(table_.group_count, Band::l1);
  for (const SignalSeries& s : table_.series) group_band[s.group] = s.band;
  sky_level_ = SkyLevel(std::move(group_band));
}

// Per satellite where the timeline visits the time points in ascending order (a file in time
// order), else per sample.
void Scanner::prepare_expected() {
  by_satellite_ = set_.sorted_times.size() == set_.timestamps.size() && visits_times_in_order(timeline_, set_.sorted_times);
  if (!by_satellite_) {
    out_.expected_db.assign(set_.size(), kNaNf);
    return;
  }
  out_.expected_by_satellite.resize(set_.satellites.size());
  std::vector<std::uint64_t> counts(set_.satellites.size(), 0);
  for (const SignalSeries& series : table_.series) counts[series.satellite] += series.samples;
  for (std::size_t satellite = 0; satellite < counts.size(); ++satellite) {
    out_.expected_by_satellite[satellite].reserve(counts[satellite]);
  }
}

void Scanner::scan_epoch(std::uint32_t k) {
  const std::uint32_t stamp = k + 1;
  touched_.clear();
  for (std::size_t b = 0; b < kBandCount; ++b) {
    drops_[b].clear();
    noise_sums_[b] = 0.0;
    drop_known_[b] = false;
    rises_[b].clear();
    steady_before_[b].clear();
    tallies_[b] = {};
    received_[b] = 0;
  }
  const bool nothing_received = timeline_.time_index[k] == kNoTimeIndex;
  // The sky's strength is learnt now and then, and read only where a band goes on falling.
  sky_wanted_ = sky_level_.learns_at(timeline_.seconds[k]) ||
                std::any_of(falling_.begin(), falling_.end(), [](bool f) { return f; });
  if (!nothing_received) take_received(k, stamp);
  take_missing(k, stamp);
  const std::uint8_t degraded = judge_bands(k, stamp, nothing_received);
  if (degraded != 0) record(k, degraded, nothing_received);
  out_.bands[k] = degraded;
  feed_baselines(k, degraded);
  out_.signs[k] = signs_.finish();
}

// The samples of a satellite follow one another: its own bookkeeping is done once per sighting.
// Everything a sample calls is inlined into this one loop.
[[gnu::flatten]] void Scanner::take_received(std::uint32_t k, std::uint32_t stamp) {
  const double seconds = timeline_.seconds[k];
  // A band judged degraded watches for its signals to rise together again.
  watched_ = 0;
  for (Band band : kBands) {
    const auto b = static_cast<std::size_t>(band);
    if (falling_[b] || losses_[b].active) watched_ |= band_bit(band);
  }
  std::uint32_t current = kNoSeries;
  const Sighting* sighting = nullptr;
  const std::uint32_t* series_of_signal = nullptr;
  in_.by_time->for_each(timeline_.time_index[k], [&](std::uint32_t i) {
    const Cn0Sample& sample = set_.samples[i];
    if (sample.sighting != current) {
      current = sample.sighting;
      sighting = &set_.sightings[current];
      touch_satellite(sighting->satellite, stamp);
      satellite_received_[sighting->satellite] = 1;
      satellite_seen_s_[sighting->satellite] = seconds;
      azimuth_deg_[sighting->satellite] = static_cast<float>(sighting->azimuth);
      series_of_signal = table_.row(sighting->satellite);
    }
    const std::uint32_t s = series_of_signal[sample.signal];
    float expected = kNaNf;
    if (s != kNoSeries && state_[s].present_stamp != stamp) {
      take_sample(s, sample.cn0, seconds, stamp);
      expected = judge_sample(s, *sighting, sample.cn0);
    }
    keep_expected(i, sighting->satellite, expected);
  });
}

// What each sample was judged against. When the timeline visits the time points in ascending
// order, the values of a satellite arrive in the order of its points.
void Scanner::keep_expected(std::uint32_t i, std::uint32_t satellite, float expected) {
  if (by_satellite_) {
    out_.expected_by_satellite[satellite].push_back(expected);
  } else if (!out_.expected_db.empty()) {
    out_.expected_db[i] = expected;
  }
}

// What a received value tells of its signal's steadiness and level, whatever its expectation.
inline void Scanner::take_sample(std::uint32_t s, double cn0, double seconds, std::uint32_t stamp) {
  SeriesState& state = state_[s];
  const auto b = static_cast<std::size_t>(state.band);
  const bool received_before = state.present_stamp + 1 == stamp;
  state.present_stamp = stamp;
  ++received_[b];
  ++satellite_signals_[state.satellite];
  if (received_before && state.steadiness >= kSteadyShare) {
    steady_before_[b].push(s);
    ++tallies_[b].steady_before;
  }
  state.steadiness += (1.0f - state.steadiness) * steady_weight_;
  if (!state.by_elevation) {
    if (seconds - state.last_seen_s > kNewPassAfterS) expectation_.baseline.forget(s);
    if (expectation_.baseline.due(s, seconds)) to_feed_.push_back({s, static_cast<float>(cn0)});
  }
  state.last_seen_s = seconds;
  if (received_before && (watched_ & band_bit(state.band))) rises_[b].push(cn0 - state.previous_db);
  state.previous_db = static_cast<float>(cn0);
  if (sky_wanted_) sky_level_.add(state.group, static_cast<float>(cn0));
  // A spoofer sends L1 whatever else it sends, and every receiver tracks L1: the signs are read there.
  if (state.band == Band::l1) signs_.add(state.group, cn0);
}

// The value against its expectation, where the signal has one; returns the expectation, NaN
// without one.
inline float Scanner::judge_sample(std::uint32_t s, const Sighting& sighting, double cn0) {
  double expected = 0.0;
  double noise = 0.0;
  if (!expectation_.of(s, sighting, expected, noise)) return kNaNf;
  const SeriesState& state = state_[s];
  const auto b = static_cast<std::size_t>(state.band);
  const double drop = expected - cn0;
  drops_[b].push(drop);
  noise_sums_[b] += noise;
  BandTally& tally = tallies_[b];
  ++tally.measured;
  if (drop >= falling_db_) ++tally.falling;
  if (drop >= min_drop_db_ && drop >= noise_factor_ * noise) {
    ++tally.low;
    satellite_bad_[state.satellite] |= band_bit(state.band);
  }
  if (state.band == Band::l1) signs_.add_expected(state.group, cn0, expected);
  return static_cast<float>(expected);
}

// Signals missed: held steadily until a moment ago and not received now. Those received steadily
// at the previous epoch and missed now are lost at once.
void Scanner::take_missing(std::uint32_t k, std::uint32_t stamp) {
  const double seconds = timeline_.seconds[k];
  // The satellites received within the lookback: only their signals can be missed now.
  next_recent_.assign(touched_.begin(), touched_.end());
  for (std::uint32_t satellite : recent_) {
    if (satellite_stamp_[satellite] != stamp && seconds - satellite_seen_s_[satellite] <= lookback_s_) {
      next_recent_.push_back(satellite);
    }
  }
  recent_.swap(next_recent_);
  for (std::uint32_t satellite : recent_) {
    const bool satellite_received = satellite_stamp_[satellite] == stamp && satellite_received_[satellite];
    const std::vector<std::uint32_t>& signals = series_of_satellite_[satellite];
    // Most satellites deliver every signal they have: nothing of theirs is missing.
    if (satellite_received && satellite_signals_[satellite] == signals.size()) continue;
    for (std::uint32_t s : signals) {
      if (state_[s].present_stamp != stamp) take_missed(s, satellite, satellite_received, seconds, stamp);
    }
  }
  for (std::uint32_t satellite : touched_) {
    if (satellite_received_[satellite]) satellite_expected_[satellite] = 1;
  }
}

void Scanner::take_missed(std::uint32_t s, std::uint32_t satellite, bool satellite_received, double seconds,
                          std::uint32_t stamp) {
  const Band band = table_.series[s].band;
  const auto b = static_cast<std::size_t>(band);
  SeriesState& state = state_[s];
  const bool steady = state.steadiness >= kSteadyShare;
  const bool received_before = state.present_stamp + 1 == stamp;
  // With the orbits, a satellite received during a loss of its band without this signal, which it
  // delivered on an earlier pass, joins the loss: the band stays lost as the first satellites set
  // and others rise. Without them no satellite leaves a loss, and none joins.
  Loss& loss = losses_[b];
  if (has_sky_ && satellite_received && loss.active && !state.in_loss && state.last_seen_s > -1e300) {
    loss.members.push_back(s);
    state.in_loss = true;
  }
  // A signal missing while its satellite is received was not held: its steadiness decays.
  if (satellite_received) state.steadiness -= state.steadiness * steady_weight_;
  if (!steady || seconds - state.last_seen_s > lookback_s_) return;
  touch_satellite(satellite, stamp);
  satellite_expected_[satellite] = 1;
  ++tallies_[b].lost;
  satellite_bad_[satellite] |= band_bit(band);
  if (received_before) {
    steady_before_[b].push(s);
    ++tallies_[b].steady_before;
    ++tallies_[b].lost_at_once;
    satellite_lost_[satellite] |= band_bit(band);
  }
}

// Only the orbits tell that a lost satellite has set; without them it stays in the loss, whose end
// the band's count of signals received tells instead.
bool Scanner::satellite_set(std::uint32_t satellite, std::uint32_t k) const {
  if (in_.sky == nullptr || in_.sky->empty()) return false;
  return !in_.sky->predicted(timeline_.file_epoch[k], set_.satellites[satellite].number);
}

// The signals of a loss under way that are still missing, marked lost on their satellites; signals
// whose satellite has set leave the loss. Returns how many are still missing or received far below
// their expectation.
std::uint32_t Scanner::mark_still_lost(Band band, std::uint32_t k, std::uint32_t stamp) {
  Loss& loss = losses_[static_cast<std::size_t>(band)];
  std::uint32_t still_lost = 0;
  const auto b = static_cast<std::size_t>(band);
  loss_satellites_[b] = 0;
  std::size_t kept = 0;
  const bool has_sky = has_sky_;
  for (std::uint32_t s : loss.members) {
    const std::uint32_t satellite = table_.series[s].satellite;
    if (satellite_set(satellite, k)) {
      state_[s].in_loss = false;
      continue;
    }
    loss.members[kept++] = s;
    if (state_[s].present_stamp == stamp) {
      // Received again, but still far below its expectation (of elevation: a level held from before
      // the loss no longer says so): the loss is not over for it.
      if (has_sky && satellite_stamp_[satellite] == stamp && (satellite_bad_[satellite] & band_bit(band))) {
        ++still_lost;
        count_loss_satellite(satellite, b, stamp);
      }
      continue;
    }
    ++still_lost;
    count_loss_satellite(satellite, b, stamp);
    // Without the orbits a satellite unseen for long has more likely set than been lost: it keeps
    // the loss going but is not counted among the satellites lost now.
    if (!has_sky && timeline_.seconds[k] - satellite_seen_s_[satellite] > kNewPassAfterS) continue;
    touch_satellite(satellite, stamp);
    satellite_expected_[satellite] = 1;
    satellite_lost_[satellite] |= band_bit(band);
    satellite_bad_[satellite] |= band_bit(band);
  }
  loss.members.resize(kept);
  return still_lost;
}

// The satellites of each band with a low or lost signal, and with a signal lost, in one pass.
void Scanner::count_satellites() {
  for (std::size_t b = 0; b < kBandCount; ++b) {
    tallies_[b].bad_satellites = 0;
    tallies_[b].lost_at_once_satellites = 0;
  }
  for (std::uint32_t satellite : touched_) {
    for (std::uint8_t bad = satellite_bad_[satellite]; bad != 0; bad &= static_cast<std::uint8_t>(bad - 1)) {
      ++tallies_[static_cast<std::size_t>(std::countr_zero(bad))].bad_satellites;
    }
    for (std::uint8_t lost = satellite_lost_[satellite]; lost != 0; lost &= static_cast<std::uint8_t>(lost - 1)) {
      ++tallies_[static_cast<std::size_t>(std::countr_zero(lost))].lost_at_once_satellites;
    }
  }
}

double Scanner::median_drop(std::size_t b) {
  if (!drop_known_[b]) tallies_[b].median_drop_db = median_of(drops_[b].values());
  drop_known_[b] = true;
  return tallies_[b].median_drop_db;
}

bool Scanner::rising(std::size_t b) {
  BandTally& tally = tallies_[b];
  tally.compared = static_cast<std::uint32_t>(rises_[b].size());
  tally.median_rise_db = median_of(rises_[b].values());
  return rises_together(tally, in_.settings);
}

// Medians are taken only where a judgement needs them: most epochs of most bands are plainly clear.
std::uint8_t Scanner::judge_bands(std::uint32_t k, std::uint32_t stamp, bool nothing_received) {
  recovered_ = 0;
  std::array<std::uint32_t, kBandCount> still_lost{};
  for (Band band : kBands) {
    if (losses_[static_cast<std::size_t>(band)].active) still_lost[static_cast<std::size_t>(band)] = mark_still_lost(band, k, stamp);
  }
  count_satellites();
  std::uint8_t degraded = 0;
  for (Band band : kBands) {
    if (judge_band(band, still_lost[static_cast<std::size_t>(band)])) degraded |= band_bit(band);
  }
  // An epoch without any value: every band the receiver records is lost.
  if (nothing_received) degraded |= in_.recorded_bands;
  relearn_after_long_holds(k, degraded);
  previous_degraded_ = degraded;
  return degraded;
}

bool Scanner::judge_band(Band band, std::uint32_t still_lost) {
  const auto b = static_cast<std::size_t>(band);
  BandTally& tally = tallies_[b];
  const AssessmentSettings& settings = in_.settings;
  if (tally.measured > 0) tally.typical_noise_db = noise_sums_[b] / tally.measured;
  Loss& loss = losses_[b];
  const bool risen = (loss.active || falling_[b]) && rising(b);
  if (!loss.active) {
    const bool may_lose = tally.steady_before > 0 && tally.lost_at_once >= settings.loss_share * tally.steady_before;
    if (may_lose) median_drop(b);
    if (may_lose && loses_at_once(tally, settings)) start_loss(band);
  } else {
    // While a loss goes on, the satellites lost in the band are those of its missing signals.
    const bool goes_on = !risen &&
                         loss_goes_on(static_cast<std::uint32_t>(loss.members.size()), still_lost,
                                      loss_satellites_[b], settings) &&
                         received_[b] < (1.0 - settings.loss_share) * loss.held_before;
    if (!goes_on) end_loss(band, risen);
  }
  const bool may_fall =
      tally.measured > 0 && tally.falling + tally.lost >= settings.signal_share * (tally.measured + tally.lost);
  if (may_fall) median_drop(b);
  if (may_fall && falls_together(tally, settings)) {
    if (!falling_[b]) onset_drop_db_[b] = tally.median_drop_db;
    falling_[b] = true;
  } else if (falling_[b]) {
    median_drop(b);
    // Late in a long fall the levels held from before it lose track of the passes, and the
    // elevation model, learnt from the file, takes in part of what a fall of hours did.
    const bool held = sky_stays_down(sky_level_.deficit_db(band), onset_drop_db_[b], settings);
    if (risen || !(keeps_falling(tally, settings) || held)) {
      falling_[b] = false;
      if (risen) recovered_ |= band_bit(band);
    }
  }
  return loss.active || falling_[b];
}

void Scanner::start_loss(Band band) {
  const auto b = static_cast<std::size_t>(band);
  Loss& loss = losses_[b];
  loss.active = true;
  loss.held_before = tallies_[b].steady_before;
  for (std::uint32_t s : steady_before_[b].values()) {
    loss.members.push_back(s);
    state_[s].in_loss = true;
  }
}

void Scanner::end_loss(Band band, bool risen) {
  Loss& loss = losses_[static_cast<std::size_t>(band)];
  for (std::uint32_t s : loss.members) state_[s].in_loss = false;
  loss.members.clear();
  loss.active = false;
  if (risen) recovered_ |= band_bit(band);
}

// A band seen to recover (its signals rising together) after a long degraded stretch has its time
// baselines learnt afresh: the levels held from before the stretch no longer match the passes.
void Scanner::relearn_after_long_holds(std::uint32_t k, std::uint8_t degraded) {
  const double seconds = timeline_.seconds[k];
  for (Band band : kBands) {
    const auto b = static_cast<std::size_t>(band);
    const std::uint8_t bit = band_bit(band);
    if ((degraded & bit) && !(previous_degraded_ & bit)) degraded_since_s_[b] = seconds;
    if (!(degraded & bit) && (previous_degraded_ & bit) && (recovered_ & bit) &&
        seconds - degraded_since_s_[b] >= kRelearnAfterS) {
      for (std::uint32_t s = 0; s < table_.size(); ++s) {
        if (table_.series[s].band == band) expectation_.forget(s);
      }
    }
  }
}

void Scanner::record(std::uint32_t k, std::uint8_t degraded, bool nothing_received) {
  DegradedEpoch epoch;
  epoch.position = k;
  epoch.bands = degraded;
  epoch.nothing_received = nothing_received;
  for (Band band : kBands) {
    const auto b = static_cast<std::size_t>(band);
    const bool has_drop = (degraded & band_bit(band)) && !std::isnan(median_drop(b));
    epoch.drop_db[b] = has_drop ? static_cast<float>(tallies_[b].median_drop_db) : kNaNf;
  }
  epoch.first_mark = static_cast<std::uint32_t>(out_.marks.size());
  for (std::uint32_t satellite : touched_) {
    if (satellite_expected_[satellite]) ++epoch.expected_satellites;
    SatelliteState state = SatelliteState::clear;
    if (satellite_expected_[satellite] && !satellite_received_[satellite]) {
      state = SatelliteState::lost;
      ++epoch.lost_satellites;
    } else if (satellite_bad_[satellite] & degraded) {
      state = SatelliteState::affected;
    }
    out_.marks.push_back({satellite, azimuth_deg_[satellite], state});
  }
  epoch.mark_count = static_cast<std::uint32_t>(out_.marks.size()) - epoch.first_mark;
  out_.epochs.push_back(epoch);
}

// A band clear for less than the interruption an episode tolerates may still be inside one: its
// values wait outside the baselines until the band has been clear that long. In a 1-second file
// the judgement of a long episode wavers for a moment now and then, and each moment would teach
// the baselines a little of the degraded level.
void Scanner::feed_baselines(std::uint32_t k, std::uint8_t degraded) {
  const double seconds = timeline_.seconds[k];
  std::uint8_t settled = 0;
  for (Band band : kBands) {
    const auto b = static_cast<std::size_t>(band);
    if (degraded & band_bit(band)) {
      clear_since_s_[b] = 1e300;
    } else {
      clear_since_s_[b] = std::min(clear_since_s_[b], seconds);
      if (seconds - clear_since_s_[b] >= in_.settings.merge_seconds) settled |= band_bit(band);
    }
  }
  for (const Feed& f : to_feed_) {
    if (settled & band_bit(table_.series[f.series].band)) expectation_.baseline.feed(f.series, seconds, f.cn0_dbhz);
  }
  to_feed_.clear();
  sky_level_.end_epoch(seconds, settled);
}

}  // namespace

Degradation scan_degradation(const ScanInput& input, Expectation& expectation) {
  return Scanner(input, expectation).run();
}

}  // namespace qcn::cn0
