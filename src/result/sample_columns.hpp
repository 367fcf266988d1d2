// The samples, the epoch series and the visibility epochs of a result as columns: one contiguous
// array per quantity, which array libraries wrap without a per-value object.
#pragma once

#include <cstdint>
#include <vector>

#include "result/analysis_result.hpp"
#include "rinex/cn0_columns.hpp"

namespace qcn::result {

/// One row per C/N0 sample (satellite, signal, epoch), in time order; within a time point the
/// satellites in the order of the satellite series and each satellite's signals in sample order.
/// Elevation and azimuth are NaN where no look angle was computed (the JSON writes 45 and 0).
struct SampleColumns {
  std::vector<std::int64_t> time_ns;      // nanoseconds since 1970, kNoTime where out of range
  std::vector<std::uint32_t> time_index;  // the time point: row of the epoch columns
  rinex::CodedColumn satellite;
  rinex::CodedColumn system;
  rinex::CodedColumn signal;
  std::vector<double> cn0;        // dB-Hz
  std::vector<double> elevation;  // degrees
  std::vector<double> azimuth;    // degrees
  // dB-Hz below (negative) or above what the interference assessment expected of the sample; NaN
  // where it expected nothing (no assessment, a signal still being learnt).
  std::vector<double> residual;
};

/// The epoch series: one row per time point.
struct EpochColumns {
  std::vector<std::int64_t> time_ns;
  std::vector<double> mean_cn0;
  std::vector<std::uint64_t> satellite_count;
};

/// The visibility comparison: one row per compared epoch, in file order.
struct VisibilityColumns {
  std::vector<std::int64_t> time_ns;
  std::vector<std::uint32_t> predicted;
  std::vector<std::uint32_t> observed;
  std::vector<std::uint32_t> confirmed;
  std::vector<std::uint32_t> missing;
  std::vector<std::uint32_t> unexpected;
};

SampleColumns sample_columns(const AnalysisResult& result);
EpochColumns epoch_columns(const AnalysisResult& result);
/// Empty columns when the result has no visibility prediction.
VisibilityColumns visibility_columns(const AnalysisResult& result);

}  // namespace qcn::result
