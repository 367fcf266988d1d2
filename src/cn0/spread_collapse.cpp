#include "cn0/spread_collapse.hpp"

#include <algorithm>
#include <cmath>

namespace qcn::cn0 {

namespace {

constexpr double kCollapsedShare = 0.25;
constexpr double kCollapsedDb = 1.5;
constexpr double kUsualQuantile = 0.8;

}  // namespace

double usual_spread(std::vector<double> spreads_db) {
  std::erase_if(spreads_db, [](double s) { return std::isnan(s); });
  if (spreads_db.empty()) return 0.0;
  auto usual = spreads_db.begin() + static_cast<std::ptrdiff_t>(kUsualQuantile * static_cast<double>(spreads_db.size() - 1));
  std::nth_element(spreads_db.begin(), usual, spreads_db.end());
  return *usual;
}

bool spread_collapsed(double spread_db, double usual_spread_db) {
  return spread_db < std::min(kCollapsedDb, kCollapsedShare * usual_spread_db);
}

}  // namespace qcn::cn0
