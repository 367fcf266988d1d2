// Mean, extremes and spread of the C/N0 of groups of samples, found in sequential passes over the
// sample list: each group's values are added in sample order, as a walk over the group would.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "cn0/samples.hpp"

namespace qcn::cn0 {

/// All 0 for a group without samples; min and max skip NaN values and stay NaN without others.
struct Cn0Figures {
  std::uint64_t count = 0;
  double mean = 0.0;
  double min = 0.0;
  double max = 0.0;
  double std_dev = 0.0;  // population standard deviation (divisor count)
};

/// Smallest and largest value; NaN values are skipped, and NaN stays when there is no other.
inline void widen(double value, double& min, double& max) {
  if (std::isnan(value)) return;
  if (std::isnan(min) || value < min) min = value;
  if (std::isnan(max) || value > max) max = value;
}

/// The figures of every group; group_of(i) is the group of sample i, below `groups`.
template <typename GroupOf>
std::vector<Cn0Figures> cn0_figures_by(const SampleSet& set, std::size_t groups, GroupOf group_of) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  std::vector<Cn0Figures> figures(groups, Cn0Figures{0, 0.0, kNaN, kNaN, 0.0});
  std::vector<double> sums(groups, 0.0);
  for (std::size_t i = 0; i < set.size(); ++i) {
    Cn0Figures& f = figures[group_of(i)];
    ++f.count;
    sums[group_of(i)] += set.cn0(i);
    widen(set.cn0(i), f.min, f.max);
  }
  for (std::size_t g = 0; g < groups; ++g) {
    if (figures[g].count == 0) {
      figures[g] = Cn0Figures{};
    } else {
      figures[g].mean = sums[g] / static_cast<double>(figures[g].count);
    }
    sums[g] = 0.0;
  }
  for (std::size_t i = 0; i < set.size(); ++i) {
    const double d = set.cn0(i) - figures[group_of(i)].mean;
    sums[group_of(i)] += d * d;
  }
  for (std::size_t g = 0; g < groups; ++g) {
    if (figures[g].count > 0) figures[g].std_dev = std::sqrt(sums[g] / static_cast<double>(figures[g].count));
  }
  return figures;
}

}  // namespace qcn::cn0
