// Reading, parsing and analysing files, with failures as values.
#include "python/file_analysis.hpp"

#include <utility>

#include "cn0/analysis.hpp"

namespace qcn::python {

FileAnalysis analyze_files(const FileRequest& request) {
  FileAnalysis analysis;
  FileInput<rinex::ObsParse> obs = read_observations(request.obs_path, request.obs_io_prefix, request.reading);
  if (!obs.parsed) {
    analysis.failure = std::move(obs.failure);
    return analysis;
  }
  FileInput<navigation::NavParse> nav;
  if (request.nav_path) {
    nav = read_navigation_file(*request.nav_path, request.nav_io_prefix, request.reading.limit);
    if (!nav.parsed) {
      analysis.failure = std::move(nav.failure);
      return analysis;
    }
  }
  const navigation::NavigationData* navigation = nav.parsed ? &nav.parsed->data : nullptr;
  cn0::AnalysisInput input = cn0::analysis_input(request.config, obs.parsed->data, navigation);
  input.pool = request.reading.pool;
  // The record was read for this analysis alone.
  input.release_observations = [&obs] { obs.parsed->data = rinex::RinexObsData{}; };
  analysis.result = cn0::run_analysis(input);
  return analysis;
}

}  // namespace qcn::python
