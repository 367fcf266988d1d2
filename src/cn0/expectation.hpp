// What each signal should show at an epoch: the elevation model for the series the navigation
// data places in the sky, the time baseline for every other one.
#pragma once

#include <cstdint>
#include <vector>

#include "cn0/elevation_model.hpp"
#include "cn0/signal_series.hpp"
#include "cn0/time_baseline.hpp"

namespace qcn::cn0 {

struct Expectation {
  ElevationModel elevation;
  TimeBaseline baseline;
  std::vector<char> by_elevation;  // per series: whether the elevation model serves it

  /// The expected C/N0 and noise of the series at a sighting; false while it has none.
  bool of(std::uint32_t series, const Sighting& sighting, double& expected_db, double& noise_db) const {
    if (by_elevation[series]) {
      if (!elevation.ready(series) || !has_look_angles(sighting)) return false;
      expected_db = elevation.expected(series, sighting.elevation);
      noise_db = elevation.noise(series);
      return true;
    }
    if (!baseline.ready(series)) return false;
    expected_db = baseline.expected(series);
    noise_db = baseline.noise(series);
    return true;
  }

  /// Forgets the history of a series served by the time baseline.
  void forget(std::uint32_t series) {
    if (!by_elevation[series]) baseline.forget(series);
  }
};

/// Elevation model for every series whose samples mostly carry look angles, fitted from the
/// samples (when navigation data placed any), time baselines for the rest.
Expectation make_expectation(const ModelSamples& samples);

}  // namespace qcn::cn0
