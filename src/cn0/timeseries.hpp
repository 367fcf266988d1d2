// The epoch series, the per-satellite and the per-constellation C/N0 series.
#pragma once

#include <span>
#include <vector>

#include "cn0/samples.hpp"
#include "result/analysis_result.hpp"

namespace qcn::cn0 {

/// Fills result.timeseries: one time point per distinct sample timestamp, ascending.
void fill_timeseries(result::AnalysisResult& result, const SampleSet& set, const SampleGroups& groups);

/// Per satellite of the set, the C/N0 expected of each of its points, in the order of its points
/// (expected_db: one value per sample of the set, NaN where there was none); empty lists for a
/// list that does not describe the set's samples.
std::vector<std::vector<float>> expected_by_point(const SampleSet& set, std::span<const float> expected_db);

/// Gives the satellite series their expected values; a satellite whose list does not match its
/// points gets none.
void attach_expected_cn0(result::TimeseriesData& timeseries, const SampleSet& set,
                         std::vector<std::vector<float>> expected);

/// Population standard deviation of the epoch series' mean C/N0; 0 for an empty series.
double cn0_std_dev(const result::TimeseriesData& timeseries);

}  // namespace qcn::cn0
