// A position in the Earth-centred, Earth-fixed frame.
#pragma once

namespace qcn::rinex {

/// Earth-centred, Earth-fixed position in metres.
struct Ecef {
  double x_m = 0.0;
  double y_m = 0.0;
  double z_m = 0.0;
};

}  // namespace qcn::rinex
