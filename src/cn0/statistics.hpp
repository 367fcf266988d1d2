// Whole-file summary figures, per-satellite and per-constellation C/N0 statistics.
#pragma once

#include "cn0/samples.hpp"
#include "result/analysis_result.hpp"
#include "rinex/obs_data.hpp"

namespace qcn::cn0 {

/// Raw system name of a letter (I is "IRNSS"; a letter outside the table names itself).
std::string raw_system_name(char letter);

/// Satellites a constellation is expected to show without a visibility prediction.
std::uint64_t default_expected_satellites(std::string_view constellation);

/// What the statistics read of the observation record itself, before any filtering: taken once,
/// so the record may go before the statistics run.
struct ObservationFigures {
  std::uint64_t total_epochs = 0;
  std::uint64_t total_satellites = 0;
  rinex::OrderedMap<std::vector<std::string>> satellites_by_system;  // letter -> identifiers
};

ObservationFigures observation_figures(const rinex::RinexObsData& observations);

/// Fills the summary counts, systems_observed, mean/min/max C/N0 and satellite_stats.
void fill_summary_and_satellite_stats(result::AnalysisResult& result, const SampleSet& set,
                                      const SampleGroups& groups, const ObservationFigures& observations);

/// Fills constellation_stats; satellites_expected reads result.visibility when present.
void fill_constellation_stats(result::AnalysisResult& result, const SampleSet& set, const SampleGroups& groups,
                              const ObservationFigures& observations);

}  // namespace qcn::cn0
