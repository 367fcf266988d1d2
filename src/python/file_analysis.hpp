// The analysis of files by path, shared by analyze_cn0 and CN0Analyzer: reading, decoding,
// parsing and analysing, none of it touching the interpreter, so it may run without its lock.
#pragma once

#include <optional>
#include <string>

#include "cn0/analysis_config.hpp"
#include "python/file_input.hpp"
#include "result/analysis_result.hpp"

namespace qcn::python {

/// Everything the analysis of files needs, owned.
struct FileRequest {
  cn0::AnalysisConfig config;
  std::string obs_path;
  std::optional<std::string> nav_path;
  ObservationReading reading;
  std::string obs_io_prefix;  // before the system's text of a read failure
  std::string nav_io_prefix;
};

/// The result, or the failure of the first file that could not be read or parsed.
struct FileAnalysis {
  std::optional<result::AnalysisResult> result;
  InputFailure failure;
};

/// Reads and parses the files and analyses them, on the reading's pool.
FileAnalysis analyze_files(const FileRequest& request);

}  // namespace qcn::python
