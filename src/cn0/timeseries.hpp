// The epoch series, the per-satellite and the per-constellation C/N0 series.
#pragma once

#include "cn0/samples.hpp"
#include "result/analysis_result.hpp"

namespace qcn::cn0 {

/// Fills result.timeseries: one time point per distinct sample timestamp, ascending.
void fill_timeseries(result::AnalysisResult& result, const SampleSet& set, const SampleGroups& groups);

/// Population standard deviation of the epoch series' mean C/N0; 0 for an empty series.
double cn0_std_dev(const result::TimeseriesData& timeseries);

}  // namespace qcn::cn0
