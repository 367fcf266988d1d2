// One pass over the stored values, satellites found by their numbers.
#include "rinex/snr_statistics.hpp"

#include <limits>
#include <vector>

namespace qcn::rinex {

OrderedMap<SnrFigures> snr_figures_by_satellite(const RinexObsData& data) {
  constexpr std::uint32_t kUnseen = std::numeric_limits<std::uint32_t>::max();
  const std::vector<char> is_cn0 = cn0_code_table(data);
  std::vector<std::uint32_t> place(data.satellite_ids.size(), kUnseen);  // by number: place in figures
  std::vector<std::uint32_t> order;                                       // numbers by first S value
  std::vector<SnrFigures> figures;
  for (const ObservationEpoch& epoch : data.epochs) {
    for (const SatelliteObservations& s : satellites_of(data, epoch)) {
      for (const Observation& o : observations_of(data, s)) {
        if (!is_cn0[o.code]) continue;
        if (s.number >= place.size()) place.resize(s.number + 1, kUnseen);
        if (place[s.number] == kUnseen) {
          place[s.number] = static_cast<std::uint32_t>(figures.size());
          order.push_back(s.number);
          figures.emplace_back();
        }
        SnrFigures& entry = figures[place[s.number]];
        ++entry.count;
        if (o.value > 0.0 && o.value < 100.0) {
          ++entry.valid;
          entry.valid_sum += o.value;
        }
      }
    }
  }
  OrderedMap<SnrFigures> by_satellite;
  for (std::size_t k = 0; k < order.size(); ++k) {
    const std::uint32_t number = order[k];
    by_satellite.insert_or_assign(number < data.satellite_ids.size() ? data.satellite_ids[number].view() : "",
                                  figures[k]);
  }
  return by_satellite;
}

}  // namespace qcn::rinex
