#include "cn0/elevation_model.hpp"

#include <algorithm>
#include <cmath>

#include "cn0/cn0_histogram.hpp"
#include "cn0/frequency_bands.hpp"
#include "cn0/spread_collapse.hpp"

namespace qcn::cn0 {

namespace {

// Samples a bin of a shape, or a series' offset, needs before its median means anything.
constexpr std::uint32_t kMinBinSamples = 10;
constexpr std::uint32_t kMinSeriesSamples = 20;
constexpr double kMinNoiseDb = 0.5;
constexpr double kShapeLowDb = 0.0;       // shapes hold C/N0, 0 to 64 dB-Hz
constexpr double kResidualLowDb = -16.0;  // residuals, -16 to 16 dB (farther ones count at the ends)
constexpr std::uint32_t kResidualBins = 128;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Common falls below this are the scatter of a clean band, and left alone (a clean day stays
// within 1.5 dB).
constexpr double kMinCommonFallDb = 2.0;
// A signal shares its band's common fall when it fell by this share of it at least.
constexpr double kSharedFallShare = 0.5;
// A band needs this many signals at an epoch for its common fall to be measured.
constexpr std::size_t kMinFallSignals = 3;
// A bin of a satellite's bend needs this many samples; residuals count at most this far out.
constexpr std::uint32_t kMinBendSamples = 10;
constexpr double kBendClipDb = 6.0;
// A group needs this many satellites at an epoch for its spread to say anything.
constexpr std::uint32_t kMinSpreadSatellites = 5;
// Rounds of measuring the common falls and learning again; each brings the model nearer the
// level without them.
constexpr int kCorrectionRounds = 8;

std::size_t elevation_bin(double elevation_deg) {
  const double x = elevation_deg / ElevationModel::kBinDeg;
  if (!(x >= 0.0)) return 0;
  return std::min(static_cast<std::size_t>(x), ElevationModel::kElevationBins - 1);
}

/// The value of bins over elevation at an elevation: linear between bin centres, flat beyond the
/// first and last centre.
double interpolated(const double* bins, double elevation_deg) {
  const double x = elevation_deg / ElevationModel::kBinDeg - 0.5;
  if (!(x > 0.0)) return bins[0];
  const auto low = static_cast<std::size_t>(x);
  if (low >= ElevationModel::kElevationBins - 1) return bins[ElevationModel::kElevationBins - 1];
  const double f = x - static_cast<double>(low);
  return bins[low] + (bins[low + 1] - bins[low]) * f;
}

/// Where an elevation falls between bin centres: the lower bin and the fraction towards the next;
/// flat beyond the first and last centre.
void place(double elevation_deg, std::uint8_t& low, float& fraction) {
  const double x = elevation_deg / ElevationModel::kBinDeg - 0.5;
  if (!(x > 0.0)) {
    low = 0;
    fraction = 0.0f;
  } else if (x >= ElevationModel::kElevationBins - 1) {
    low = ElevationModel::kElevationBins - 2;
    fraction = 1.0f;
  } else {
    low = static_cast<std::uint8_t>(x);
    fraction = static_cast<float>(x - low);
  }
}

double between(const double* bins, std::uint8_t low, float fraction) {
  return bins[low] + (bins[low + 1] - bins[low]) * fraction;
}

}  // namespace

void fill_empty_bins(std::span<double> bins) {
  std::ptrdiff_t previous = -1;
  const auto n = static_cast<std::ptrdiff_t>(bins.size());
  for (std::ptrdiff_t b = 0; b < n; ++b) {
    if (std::isnan(bins[b])) continue;
    if (previous < 0) {
      for (std::ptrdiff_t k = 0; k < b; ++k) bins[k] = bins[b];
    } else {
      for (std::ptrdiff_t k = previous + 1; k < b; ++k) {
        const double f = static_cast<double>(k - previous) / static_cast<double>(b - previous);
        bins[k] = bins[previous] + (bins[b] - bins[previous]) * f;
      }
    }
    previous = b;
  }
  if (previous >= 0) {
    for (std::ptrdiff_t k = previous + 1; k < n; ++k) bins[k] = bins[previous];
  }
}

void ElevationModel::fit(const ModelSamples& samples) {
  const SeriesTable& table = *samples.table;
  series_group_.resize(table.size());
  for (std::size_t s = 0; s < table.size(); ++s) series_group_[s] = table.series[s].group;
  groups_ = table.group_count;
  offset_db_.assign(table.size(), 0.0);
  noise_db_.assign(table.size(), kMinNoiseDb);
  common_fall_db_.clear();
  bend_db_.clear();
  gather_lessons(samples);
  // Shapes from raw values first, then from values freed of each satellite's offset, then from
  // values freed of the common falls as well.
  fit_shapes();
  fit_offsets(false);
  fit_shapes();
  fit_offsets(true);
  for (int round = 0; round < kCorrectionRounds; ++round) {
    if (!measure_common_falls()) break;
    fit_shapes();
    fit_offsets(true);
  }
  fit_series_bends();
  fit_offsets(true);
  lessons_ = {};
}

// The samples of every stride-th epoch of the series with look angles, epoch by epoch.
void ElevationModel::gather_lessons(const ModelSamples& samples) {
  const SeriesTable& table = *samples.table;
  const SampleSet& set = *samples.set;
  const EpochTimeline& timeline = *samples.timeline;
  std::vector<char> located(table.size());
  for (std::size_t s = 0; s < table.size(); ++s) located[s] = 2 * table.series[s].located >= table.series[s].samples;
  rows_ = (timeline.size() + samples.stride - 1) / samples.stride;
  lessons_.clear();
  std::size_t room = 0;
  for (std::size_t row = 0; row < rows_; ++row) {
    const std::uint32_t time = timeline.time_index[row * samples.stride];
    if (time != kNoTimeIndex) room += samples.by_time->count(time);
  }
  lessons_.reserve(room);
  for (std::size_t row = 0; row < rows_; ++row) {
    const std::uint32_t time = timeline.time_index[row * samples.stride];
    if (time == kNoTimeIndex) continue;
    samples.by_time->for_each(time, [&](std::uint32_t i) {
      const Sighting& sighting = set.sighting_of(i);
      if (!has_look_angles(sighting)) return;
      const std::uint32_t series = table.row(sighting.satellite)[set.samples[i].signal];
      if (series == kNoSeries || !located[series]) return;
      Lesson lesson;
      lesson.cn0_dbhz = static_cast<float>(set.cn0(i));
      lesson.series = series;
      lesson.row = static_cast<std::uint32_t>(row);
      lesson.bin = static_cast<std::uint8_t>(elevation_bin(sighting.elevation));
      lesson.band = static_cast<std::uint8_t>(table.series[series].band);
      place(sighting.elevation, lesson.low, lesson.fraction);
      lessons_.push_back(lesson);
    });
  }
  drop_spoofed_lessons();
}

// Epochs whose L1 signals are all alike (a spoofer's) teach nothing about elevation: hours of them
// would flatten every shape.
void ElevationModel::drop_spoofed_lessons() {
  std::vector<double> spreads(rows_, std::numeric_limits<double>::quiet_NaN());
  struct Sums {
    std::uint32_t n = 0;
    double x = 0.0, xx = 0.0;
  };
  std::vector<Sums> groups(groups_);
  for (std::size_t first = 0; first < lessons_.size();) {
    const std::uint32_t row = lessons_[first].row;
    std::size_t last = first;
    for (; last < lessons_.size() && lessons_[last].row == row; ++last) {
      const Lesson& lesson = lessons_[last];
      if (lesson.band != static_cast<std::uint8_t>(Band::l1)) continue;
      Sums& g = groups[series_group_[lesson.series]];
      ++g.n;
      g.x += lesson.cn0_dbhz;
      g.xx += static_cast<double>(lesson.cn0_dbhz) * lesson.cn0_dbhz;
    }
    first = last;
    double spread = 0.0, weight = 0.0;
    for (Sums& g : groups) {
      if (g.n >= kMinSpreadSatellites) {
        const double mean = g.x / g.n;
        spread += g.n * std::sqrt(std::max(g.xx / g.n - mean * mean, 0.0));
        weight += g.n;
      }
      g = {};
    }
    if (weight > 0.0) spreads[row] = spread / weight;
  }
  const double usual = usual_spread(spreads);
  std::erase_if(lessons_, [&](const Lesson& lesson) {
    return !std::isnan(spreads[lesson.row]) && spread_collapsed(spreads[lesson.row], usual);
  });
}

inline double ElevationModel::expected(const Lesson& lesson) const {
  double value = between(shape_db_.data() + series_group_[lesson.series] * kElevationBins, lesson.low, lesson.fraction) +
                 offset_db_[lesson.series];
  if (!bend_db_.empty()) value += between(bend_db_.data() + lesson.series * kElevationBins, lesson.low, lesson.fraction);
  return value;
}

// A signal that does not share the fall of its band (a satellite clear of an obstruction that
// lowers the others) keeps its value.
inline double ElevationModel::corrected(const Lesson& lesson) const {
  const double cn0 = lesson.cn0_dbhz;
  if (common_fall_db_.empty() || !ready(lesson.series)) return cn0;
  const double fall = common_fall_db_[lesson.row * kBandCount + lesson.band];
  if (fall == 0.0) return cn0;
  return expected(lesson) - cn0 >= kSharedFallShare * fall ? cn0 + fall : cn0;
}

void ElevationModel::fit_shapes() {
  std::vector<std::uint32_t> counts(groups_ * kElevationBins * kHistogramBins, 0);
  for (const Lesson& lesson : lessons_) {
    const double offset = std::isnan(offset_db_[lesson.series]) ? 0.0 : offset_db_[lesson.series];
    const std::size_t row = series_group_[lesson.series] * kElevationBins + lesson.bin;
    ++counts[row * kHistogramBins + histogram_bin(corrected(lesson) - offset, kShapeLowDb)];
  }
  shape_db_.assign(groups_ * kElevationBins, kNaN);
  for (std::size_t row = 0; row < shape_db_.size(); ++row) {
    std::span<const std::uint32_t> bins(counts.data() + row * kHistogramBins, kHistogramBins);
    std::uint64_t total = 0;
    for (std::uint32_t c : bins) total += c;
    if (total >= kMinBinSamples) shape_db_[row] = histogram_quantile(bins, 0.5, kShapeLowDb);
  }
  for (std::size_t g = 0; g < groups_; ++g) fill_empty_bins(std::span(shape_db_).subspan(g * kElevationBins, kElevationBins));
}

void ElevationModel::fit_offsets(bool with_noise) {
  const std::size_t n = series_group_.size();
  std::vector<std::uint32_t> counts(n * kResidualBins, 0);
  for (const Lesson& lesson : lessons_) {
    // The residual from the model without the offset being learnt.
    const double base = expected(lesson) - (std::isnan(offset_db_[lesson.series]) ? 0.0 : offset_db_[lesson.series]);
    const std::uint32_t bin = std::min(histogram_bin(corrected(lesson) - base, kResidualLowDb), kResidualBins - 1);
    ++counts[lesson.series * kResidualBins + bin];
  }
  for (std::size_t s = 0; s < n; ++s) {
    std::span<const std::uint32_t> bins(counts.data() + s * kResidualBins, kResidualBins);
    std::uint64_t total = 0;
    for (std::uint32_t c : bins) total += c;
    if (total < kMinSeriesSamples || std::isnan(shape_at(series_group_[s], 45.0))) {
      offset_db_[s] = kNaN;
      continue;
    }
    offset_db_[s] = histogram_quantile(bins, 0.5, kResidualLowDb);
    if (with_noise) {
      // The interquartile range of a normal distribution is 1.349 standard deviations.
      const double iqr = histogram_quantile(bins, 0.75, kResidualLowDb) - histogram_quantile(bins, 0.25, kResidualLowDb);
      noise_db_[s] = std::max(iqr / 1.349, kMinNoiseDb);
    }
  }
}

bool ElevationModel::measure_common_falls() {
  std::vector<float> falls(rows_ * kBandCount, 0.0f);
  std::array<std::vector<double>, kBandCount> drops;
  // Lessons come epoch by epoch: each run of one row is one teaching epoch.
  for (std::size_t first = 0; first < lessons_.size();) {
    const std::uint32_t row = lessons_[first].row;
    for (auto& d : drops) d.clear();
    std::size_t last = first;
    for (; last < lessons_.size() && lessons_[last].row == row; ++last) {
      const Lesson& lesson = lessons_[last];
      if (ready(lesson.series)) drops[lesson.band].push_back(expected(lesson) - lesson.cn0_dbhz);
    }
    first = last;
    for (std::size_t b = 0; b < kBandCount; ++b) {
      if (drops[b].size() < kMinFallSignals) continue;
      auto middle = drops[b].begin() + static_cast<std::ptrdiff_t>(drops[b].size() / 2);
      std::nth_element(drops[b].begin(), middle, drops[b].end());
      if (*middle >= kMinCommonFallDb) falls[row * kBandCount + b] = static_cast<float>(*middle);
    }
  }
  // Measured against raw values: the nearer the model comes to the level without the falls, the
  // nearer the measure comes to the whole fall.
  const bool any = std::any_of(falls.begin(), falls.end(), [](float f) { return f != 0.0f; });
  common_fall_db_ = any ? std::move(falls) : std::vector<float>{};
  return any;
}

void ElevationModel::fit_series_bends() {
  const std::size_t cells = series_group_.size() * kElevationBins;
  std::vector<double> sums(cells, 0.0);
  std::vector<std::uint32_t> counts(cells, 0);
  for (const Lesson& lesson : lessons_) {
    if (std::isnan(offset_db_[lesson.series])) continue;
    const std::size_t cell = lesson.series * kElevationBins + lesson.bin;
    sums[cell] += std::clamp(corrected(lesson) - expected(lesson), -kBendClipDb, kBendClipDb);
    ++counts[cell];
  }
  bend_db_.assign(cells, kNaN);
  for (std::size_t s = 0; s < series_group_.size(); ++s) {
    std::span<double> bins(bend_db_.data() + s * kElevationBins, kElevationBins);
    bool any = false;
    for (std::size_t b = 0; b < kElevationBins; ++b) {
      const std::size_t cell = s * kElevationBins + b;
      if (counts[cell] < kMinBendSamples) continue;
      bins[b] = sums[cell] / counts[cell];
      any = true;
    }
    if (!any) {
      std::fill(bins.begin(), bins.end(), 0.0);
      continue;
    }
    fill_empty_bins(bins);
  }
}

double ElevationModel::bend_at(std::uint32_t series, double elevation_deg) const {
  if (bend_db_.empty()) return 0.0;
  return interpolated(bend_db_.data() + series * kElevationBins, elevation_deg);
}

double ElevationModel::shape_at(std::uint32_t group, double elevation_deg) const {
  return interpolated(shape_db_.data() + group * kElevationBins, elevation_deg);
}

double ElevationModel::expected(std::uint32_t series, double elevation_deg) const {
  return shape_at(series_group_[series], elevation_deg) + offset_db_[series] + bend_at(series, elevation_deg);
}

}  // namespace qcn::cn0
