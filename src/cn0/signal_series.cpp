#include "cn0/signal_series.hpp"

#include <string>

namespace qcn::cn0 {

namespace {

constexpr std::uint32_t kUnseen = static_cast<std::uint32_t>(-2);

}  // namespace

SeriesTable number_series(const SampleSet& set) {
  SeriesTable table;
  table.signal_count = static_cast<std::uint32_t>(set.signals.size());
  table.by_pair.assign(set.satellites.size() * set.signals.size(), kUnseen);
  std::vector<std::uint32_t> groups(256 * set.signals.size(), kNoSeries);  // system letter * signals
  for (std::size_t i = 0; i < set.size(); ++i) {
    std::uint32_t& entry = table.by_pair[std::size_t{set.satellite(i)} * table.signal_count + set.samples[i].signal];
    if (entry == kUnseen) {
      const SampleSatellite& satellite = set.satellites[set.satellite(i)];
      const char system = satellite.id.empty() ? 'G' : satellite.id.front();
      Band band = Band::l1;
      if (!band_of(system, set.signals[set.samples[i].signal], band)) {
        entry = kNoSeries;
        continue;
      }
      std::uint32_t& group = groups[static_cast<unsigned char>(system) * set.signals.size() + set.samples[i].signal];
      if (group == kNoSeries) group = table.group_count++;
      entry = static_cast<std::uint32_t>(table.series.size());
      table.series.push_back({set.satellite(i), set.samples[i].signal, group, band, 0, 0});
    }
    if (entry == kNoSeries) continue;
    SignalSeries& series = table.series[entry];
    ++series.samples;
    if (has_look_angles(set.sighting_of(i))) ++series.located;
  }
  for (std::uint32_t& entry : table.by_pair) {
    if (entry == kUnseen) entry = kNoSeries;
  }
  return table;
}

}  // namespace qcn::cn0
