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

/// Fills the summary counts, systems_observed, mean/min/max C/N0 and satellite_stats.
void fill_summary_and_satellite_stats(result::AnalysisResult& result, const SampleSet& set,
                                      const SampleGroups& groups, const rinex::RinexObsData& observations);

/// Fills constellation_stats; satellites_expected reads result.visibility when present.
void fill_constellation_stats(result::AnalysisResult& result, const SampleSet& set, const SampleGroups& groups,
                              const rinex::RinexObsData& observations);

}  // namespace qcn::cn0
