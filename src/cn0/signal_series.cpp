#include "cn0/signal_series.hpp"

#include <string>

namespace qcn::cn0 {

namespace {

constexpr std::uint32_t kUnseen = static_cast<std::uint32_t>(-2);

/// Numbers the series of a satellite's signal met for the first time; kNoSeries for a code
/// without a known band. `groups`: per system letter and signal, the group's number.
std::uint32_t add_series(SeriesTable& table, std::vector<std::uint32_t>& groups, const SampleSet& set,
                         std::uint32_t satellite, std::uint32_t signal) {
  const SampleSatellite& seen = set.satellites[satellite];
  const char system = seen.id.empty() ? 'G' : seen.id.front();
  Band band = Band::l1;
  if (!band_of(system, set.signals[signal], band)) return kNoSeries;
  std::uint32_t& group = groups[static_cast<unsigned char>(system) * set.signals.size() + signal];
  if (group == kNoSeries) group = table.group_count++;
  table.series.push_back({satellite, signal, group, band, 0, 0});
  return static_cast<std::uint32_t>(table.series.size() - 1);
}

}  // namespace

SeriesTable number_series(const SampleSet& set) {
  SeriesTable table;
  table.signal_count = static_cast<std::uint32_t>(set.signals.size());
  table.by_pair.assign(set.satellites.size() * set.signals.size(), kUnseen);
  std::vector<std::uint32_t> groups(256 * set.signals.size(), kNoSeries);  // system letter * signals
  // The samples of a sighting follow one another: its satellite and look angles are read once.
  std::uint32_t current = static_cast<std::uint32_t>(-1);
  std::uint32_t satellite = 0;
  std::uint32_t* series_of_signal = nullptr;
  std::uint64_t located = 0;
  for (const Cn0Sample& sample : set.samples) {
    if (sample.sighting != current) {
      current = sample.sighting;
      const Sighting& sighting = set.sightings[current];
      satellite = sighting.satellite;
      series_of_signal = table.row(satellite);
      located = has_look_angles(sighting) ? 1 : 0;
    }
    std::uint32_t& entry = series_of_signal[sample.signal];
    if (entry == kUnseen) entry = add_series(table, groups, set, satellite, sample.signal);
    if (entry == kNoSeries) continue;
    SignalSeries& series = table.series[entry];
    ++series.samples;
    series.located += located;
  }
  for (std::uint32_t& entry : table.by_pair) {
    if (entry == kUnseen) entry = kNoSeries;
  }
  return table;
}

}  // namespace qcn::cn0
