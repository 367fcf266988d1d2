#include "cn0/sign_sums.hpp"

#include <algorithm>
#include <cmath>

namespace qcn::cn0 {

namespace {

// A group of one system and code needs this many satellites for its spread to say anything.
constexpr std::uint32_t kMinSignSatellites = 5;

}  // namespace

EpochSigns SignSums::finish() {
  double spread = 0.0, spread_weight = 0.0, dependence = 0.0, dependence_weight = 0.0;
  for (std::uint32_t group : touched_) {
    Sums& g = groups_[group];
    if (g.n >= kMinSignSatellites) {
      const double n = g.n;
      spread += n * std::sqrt(std::max(g.xx / n - (g.x / n) * (g.x / n), 0.0));
      spread_weight += n;
    }
    if (g.expected >= kMinSignSatellites) {
      const double n = g.expected;
      const double var_x = std::max(g.exx / n - (g.ex / n) * (g.ex / n), 0.0);
      const double var_e = std::max(g.ee / n - (g.e / n) * (g.e / n), 0.0);
      const double cov = g.xe / n - (g.ex / n) * (g.e / n);
      // Values that do not vary at all follow nothing.
      dependence += n * (var_x > 1e-6 && var_e > 1e-6 ? cov / std::sqrt(var_x * var_e) : 0.0);
      dependence_weight += n;
    }
    g = {};
  }
  touched_.clear();
  EpochSigns signs;
  if (spread_weight > 0.0) {
    signs.spread_db = static_cast<float>(spread / spread_weight);
    signs.bands = band_bit(Band::l1);
  }
  if (dependence_weight > 0.0) signs.dependence = static_cast<float>(dependence / dependence_weight);
  return signs;
}

}  // namespace qcn::cn0
