#include "cn0/expectation.hpp"

namespace qcn::cn0 {

Expectation make_expectation(const ModelSamples& samples) {
  const SeriesTable& table = *samples.table;
  Expectation expectation;
  expectation.by_elevation.resize(table.size());
  bool any_located = false;
  for (std::size_t s = 0; s < table.size(); ++s) {
    expectation.by_elevation[s] = 2 * table.series[s].located >= table.series[s].samples && table.series[s].located > 0;
    any_located = any_located || expectation.by_elevation[s];
  }
  if (any_located) expectation.elevation.fit(samples);
  expectation.baseline = TimeBaseline(table.size(), samples.timeline->interval_s);
  return expectation;
}

}  // namespace qcn::cn0
