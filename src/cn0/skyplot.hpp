// Skyplot traces, occupied azimuth/elevation cells, sky coverage and the heatmap matrices.
#pragma once

#include "cn0/samples.hpp"
#include "result/analysis_result.hpp"

namespace qcn::cn0 {

/// Fills result.skyplot and result.heatmap.
void fill_skyplot(result::AnalysisResult& result, const SampleSet& set, const SampleGroups& groups);

}  // namespace qcn::cn0
