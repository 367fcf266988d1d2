// When the C/N0 of the satellites stops spreading: the first sign a spoofer leaves. Satellites
// from the horizon to the zenith differ by 10 dB and more; one transmitter sends them all alike.
#pragma once

#include <vector>

namespace qcn::cn0 {

/// The spread most epochs stay under (the 80th percentile), so hours of spoofing do not make a
/// collapsed spread usual; NaN entries are skipped, 0 without any.
double usual_spread(std::vector<double> spreads_db);

/// Whether a spread has collapsed: below 1.5 dB and below a quarter of the usual spread. A group's
/// spread stays above 2.5 dB on every clean file at hand.
bool spread_collapsed(double spread_db, double usual_spread_db);

}  // namespace qcn::cn0
