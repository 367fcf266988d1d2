// The C/N0 analysis of one observation file: samples, then every step in a fixed order.
#pragma once

#include <optional>

#include "cn0/analysis_config.hpp"
#include "cn0/epoch_timeline.hpp"
#include "cn0/predicted_sky.hpp"
#include "cn0/samples.hpp"
#include "result/analysis_result.hpp"

namespace qcn::cn0 {

/// Runs the whole analysis. It never fails: a file without epochs or without accepted C/N0
/// values gives a result with only its file information filled.
result::AnalysisResult run_analysis(const AnalysisInput& input);

/// File identification, time span and receiver position from the header.
result::FileInfo file_info_of(const rinex::RinexObsData& observations);

/// What one pass over the epochs gives: the accepted C/N0 values and, with navigation data that
/// predicts any satellite from the receiver's position, the visibility result (has_prediction set).
/// Beside them every epoch of the file with its time index and, with such navigation data, the
/// satellites predicted above the mask at each.
struct Extraction {
  SampleSet samples;
  std::optional<result::VisibilityResult> visibility;
  FileEpochs epochs;
  PredictedSky sky;
};

/// The accepted C/N0 values (allowed systems, elevation mask, value range) and, with navigation
/// data, the visibility prediction, both from one pass over the epochs: each satellite's position
/// at an epoch is computed once and serves the sample look angles and the prediction.
Extraction extract_samples(const AnalysisInput& input);

}  // namespace qcn::cn0
