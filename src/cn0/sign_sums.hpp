// The sums an epoch's L1 values leave per group of one system and code, from which the signs a
// spoofer leaves are read: the spread of C/N0 across satellites, and how closely C/N0 follows its
// expectation.
#pragma once

#include <cstdint>
#include <vector>

#include "cn0/degradation.hpp"

namespace qcn::cn0 {

class SignSums {
 public:
  SignSums() = default;
  explicit SignSums(std::uint32_t group_count) : groups_(group_count) {}

  /// A value received at the current epoch.
  void add(std::uint32_t group, double cn0) {
    Sums& g = groups_[group];
    if (g.n == 0) touched_.push_back(group);
    g.n += 1;
    g.x += cn0;
    g.xx += cn0 * cn0;
  }
  /// A value added before, with its expectation.
  void add_expected(std::uint32_t group, double cn0, double expected) {
    Sums& g = groups_[group];
    g.expected += 1;
    g.ex += cn0;
    g.exx += cn0 * cn0;
    g.e += expected;
    g.ee += expected * expected;
    g.xe += cn0 * expected;
  }

  /// The signs of the current epoch, over the groups with enough satellites (the correlation over
  /// those with an expectation); starts the next epoch.
  EpochSigns finish();

 private:
  struct Sums {
    std::uint32_t n = 0;
    double x = 0.0, xx = 0.0;
    std::uint32_t expected = 0;
    double ex = 0.0, exx = 0.0, e = 0.0, ee = 0.0, xe = 0.0;
  };
  std::vector<Sums> groups_;
  std::vector<std::uint32_t> touched_;  // groups with values at this epoch
};

}  // namespace qcn::cn0
