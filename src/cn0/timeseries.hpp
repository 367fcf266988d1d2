// The epoch series, the per-satellite and the per-constellation C/N0 series.
#pragma once

#include <span>

#include "cn0/samples.hpp"
#include "result/analysis_result.hpp"

namespace qcn::cn0 {

/// Fills result.timeseries: one time point per distinct sample timestamp, ascending.
void fill_timeseries(result::AnalysisResult& result, const SampleSet& set, const SampleGroups& groups);

/// Gives every point of the satellite series the C/N0 expected of its sample (expected_db: one
/// value per sample of the set, NaN where there was none). A mismatched list attaches nothing.
void attach_expected_cn0(result::TimeseriesData& timeseries, const SampleSet& set, std::span<const float> expected_db);

/// Population standard deviation of the epoch series' mean C/N0; 0 for an empty series.
double cn0_std_dev(const result::TimeseriesData& timeseries);

}  // namespace qcn::cn0
