// The analysis driver: file information, sample extraction and its filters, the early results.
#include <gtest/gtest.h>

#include "cn0/analysis.hpp"
#include "obs_text.hpp"
#include "rinex/obs_parser.hpp"

namespace qcn::cn0 {
namespace {

using test::epoch_v3;
using test::header_v3;
using test::obs_field;
using test::sat_line_v3;

rinex::RinexObsData parse(const std::string& text) {
  rinex::ObsParse parse = rinex::parse_observations(text, "site.obs");
  EXPECT_EQ(parse.error, rinex::ParseError::none);
  return std::move(parse.data);
}

/// Two epochs of G01 (S1C, S2W), R05, E11, J02 and I03 with C/N0 and one code that is not C/N0.
std::string mixed_file() {
  std::string text = header_v3({{'G', "C1C S1C S2W"}, {'R', "C1C S1C"}, {'E', "C1C S1C"}, {'J', "C1C S1C"},
                                {'I', "C5A S5A"}});
  for (const char* date : {"2024 03 01 00 00 30.0000000", "2024 03 01 00 01 00.0000000"}) {
    text += epoch_v3(date, 0, 5);
    text += sat_line_v3("G01", {obs_field("20000000.000"), obs_field("45.000"), obs_field("39.000")});
    text += sat_line_v3("R05", {obs_field("20000000.000"), obs_field("0.500")});
    text += sat_line_v3("E11", {obs_field("20000000.000"), obs_field("60.000")});
    text += sat_line_v3("J02", {obs_field("20000000.000"), obs_field("41.000")});
    text += sat_line_v3("I03", {obs_field("20000000.000"), obs_field("38.000")});
  }
  return text;
}

AnalysisInput input_for(const rinex::RinexObsData& data, std::optional<std::vector<std::string>> systems = {},
                        double min_elevation = 5.0) {
  return analysis_input(quick_config(min_elevation, std::move(systems)), data, nullptr);
}

std::vector<std::string> sample_texts(const SampleSet& set) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < set.size(); ++i) {
    out.push_back(set.timestamp_text(i).substr(14, 5) + " " + set.satellite_id(i) + " " + set.signal_text(i) + " " +
                  std::string(set.constellation_name(i)) + " " + std::to_string(set.cn0(i)).substr(0, 4));
  }
  return out;
}

TEST(SampleExtraction, DefaultSystemsEveryCn0CodeAndInclusiveRange) {
  rinex::RinexObsData data = parse(mixed_file());
  SampleSet set = extract_samples(input_for(data)).samples;
  // QZSS and NavIC are left out by default; 0.5 and 60.0 are inside [0, 60].
  EXPECT_EQ(sample_texts(set), (std::vector<std::string>{
                                   "00:30 G01 S1C GPS 45.0", "00:30 G01 S2W GPS 39.0", "00:30 R05 S1C GLONASS 0.50",
                                   "00:30 E11 S1C Galileo 60.0", "01:00 G01 S1C GPS 45.0", "01:00 G01 S2W GPS 39.0",
                                   "01:00 R05 S1C GLONASS 0.50", "01:00 E11 S1C Galileo 60.0"}));
  EXPECT_EQ(set.timestamps, (std::vector<std::string>{"2024-03-01T00:00:30.000Z", "2024-03-01T00:01:00.000Z"}));
  EXPECT_EQ(set.sightings.size(), 6u);
  for (const Sighting& s : set.sightings) {
    EXPECT_EQ(s.elevation, 45.0);
    EXPECT_EQ(s.azimuth, 0.0);
  }
}

TEST(SampleExtraction, SystemLettersValueRangeAndMask) {
  rinex::RinexObsData data = parse(mixed_file());
  struct Case {
    std::optional<std::vector<std::string>> systems;
    double min_cn0, max_cn0, min_elevation;
    std::size_t samples;
    std::vector<std::string_view> constellations;
  } cases[] = {
      {std::vector<std::string>{"J"}, 0.0, 60.0, 5.0, 2, {"QZSS"}},
      {std::vector<std::string>{"I"}, 0.0, 60.0, 5.0, 2, {"Unknown"}},
      {std::vector<std::string>{"GPS", "Galileo"}, 0.0, 60.0, 5.0, 4, {"GPS"}},
      {std::vector<std::string>{"", "E"}, 0.0, 60.0, 5.0, 2, {"Galileo"}},
      {std::vector<std::string>{}, 0.0, 60.0, 5.0, 0, {}},
      {std::nullopt, 39.0, 45.0, 5.0, 4, {"GPS"}},
      {std::nullopt, 0.0, 60.0, 45.0, 8, {"GPS", "GLONASS", "Galileo"}},
      {std::nullopt, 0.0, 60.0, 45.1, 0, {}},
  };
  for (const Case& c : cases) {
    AnalysisConfig config = quick_config(c.min_elevation, c.systems);
    config.min_cn0 = c.min_cn0;
    config.max_cn0 = c.max_cn0;
    SampleSet set = extract_samples(analysis_input(config, data, nullptr)).samples;
    EXPECT_EQ(set.size(), c.samples);
    EXPECT_EQ(set.constellations, c.constellations);
  }
}

TEST(RunAnalysis, FileInformationAndEarlyResults) {
  std::string header = header_v3({{'G', "C1C"}});
  header.insert(header.find("END OF HEADER") - 60,
                test::header_line("  3513649.6300   778954.5300  5248201.8000", "APPROX POSITION XYZ") +
                    test::header_line("BASE", "MARKER NAME"));
  std::string text = header + epoch_v3("2024 03 01 00 00 30.0000000", 0, 1) +
                     sat_line_v3("G01", {obs_field("20000000.000")}) + epoch_v3("2024 03 01 01 30 30.0000000", 0, 1) +
                     sat_line_v3("G01", {obs_field("20000000.000")});
  rinex::RinexObsData data = parse(text);
  result::AnalysisResult r = run_analysis(input_for(data));
  EXPECT_EQ(r.file_info.marker_name, "BASE");
  EXPECT_EQ(r.file_info.start_time, "2024-03-01T00:00:30.000Z");
  EXPECT_EQ(r.file_info.end_time, "2024-03-01T01:30:30.000Z");
  EXPECT_EQ(r.file_info.duration_hours, 1.5);
  EXPECT_NEAR(r.file_info.position_lon, 12.49996, 1e-5);
  // Epochs but no C/N0 code: nothing beyond the file information.
  EXPECT_EQ(r.summary.total_epochs, 0u);
  EXPECT_EQ(r.quality_score.grade, "N/A");
  EXPECT_EQ(r.quality_score.interpretation, "No data");
  EXPECT_TRUE(r.timeseries.timestamps.empty());
  EXPECT_EQ(r.spoofing_min_unexpected_count, 8.0);

  rinex::RinexObsData empty = parse(header_v3({{'G', "S1C"}}));
  result::AnalysisResult none = run_analysis(input_for(empty));
  EXPECT_EQ(none.file_info.start_time, "");
  EXPECT_EQ(none.file_info.duration_hours, 0.0);
  EXPECT_EQ(none.file_info.marker_name, "site.obs");
}

TEST(RunAnalysis, CopiesTheSpoofingThresholds) {
  rinex::RinexObsData data = parse(mixed_file());
  AnalysisConfig config = quick_config(5.0, std::nullopt);
  config.spoofing_unexpected_threshold = 0.7;
  config.spoofing_min_unexpected_count = 2.0;
  result::AnalysisResult r = run_analysis(analysis_input(config, data, nullptr));
  EXPECT_EQ(r.spoofing_unexpected_threshold, 0.7);
  EXPECT_EQ(r.spoofing_min_unexpected_count, 2.0);
  EXPECT_EQ(r.summary.total_observations, 8u);
  EXPECT_FALSE(r.visibility.has_value());
}

TEST(AnalysisConfig, ScalingAndSystemLetters) {
  AnalysisConfig given;
  given.anomaly_sensitivity = 0.5;
  AnalysisConfig scaled = scaled_config(given);
  EXPECT_EQ(scaled.anomaly_threshold_low, 2.25);
  EXPECT_EQ(scaled.anomaly_threshold_high, 4.5);
  EXPECT_EQ(scaled.anomaly_threshold_critical, 10.0);
  EXPECT_EQ(system_letters(std::nullopt), (std::vector<char>{'G', 'R', 'E', 'C'}));
  EXPECT_EQ(system_letters(std::vector<std::string>{"GPS", "", "Ez"}), (std::vector<char>{'G', 'E'}));
  AnalysisConfig quick = quick_config(7.5, std::nullopt, 30);
  EXPECT_EQ(quick.anomaly_threshold_low, 3.0);
  EXPECT_EQ(quick.min_elevation, 7.5);
  EXPECT_EQ(quick.time_bin_seconds, 30u);
}

/// The samples of a time index, as the groups visit them.
std::vector<std::uint32_t> samples_at(const SampleGroups& groups, std::uint32_t t) {
  std::vector<std::uint32_t> out;
  groups.by_time.for_each(t, [&](std::uint32_t i) { out.push_back(i); });
  return out;
}

TEST(SampleGroups, TimeGroupsKeepSampleOrder) {
  SampleSetBuilder builder;
  builder.begin_epoch("2024-03-01T00:01:00.000Z");
  builder.begin_satellite("G02", 30.0, 90.0);
  builder.add("S1C", 40.0);
  builder.begin_satellite("E01", 45.0, 0.0);
  builder.add("S1C", 41.0);
  builder.begin_epoch("2024-03-01T00:00:30.000Z");
  builder.begin_satellite("E01", 45.0, 0.0);  // no sample: makes no sighting
  builder.begin_satellite("G02", 31.0, 91.0);
  builder.add("S1C", 42.0);
  builder.add("S2W", 43.0);
  builder.begin_epoch("2024-03-01T00:01:00.000Z");  // the same time point again
  builder.begin_satellite("G02", 32.0, 92.0);
  builder.add("S1C", 44.0);
  SampleSet set = builder.finish();
  SampleGroups groups = group_samples(set);
  EXPECT_EQ(set.satellites.size(), 2u);
  EXPECT_EQ(set.timestamps.size(), 2u);
  EXPECT_EQ(set.sorted_times, (std::vector<std::uint32_t>{1, 0}));
  // The first time point recurs apart: its samples are gathered, in sample order.
  EXPECT_EQ(samples_at(groups, 0), (std::vector<std::uint32_t>{0, 1, 4}));
  EXPECT_EQ(samples_at(groups, 1), (std::vector<std::uint32_t>{2, 3}));
  EXPECT_EQ(groups.by_time.count(0), 3u);
  // Without the recurrence each time point is one run of the list.
  SampleSetBuilder runs;
  for (const char* time : {"2024-03-01T00:01:00.000Z", "2024-03-01T00:00:30.000Z"}) {
    runs.begin_epoch(time);
    runs.begin_satellite("G02", 30.0, 90.0);
    runs.add("S1C", 40.0);
    runs.add("S2W", 41.0);
  }
  SampleSet two = runs.finish();
  SampleGroups two_groups = group_samples(two);
  EXPECT_EQ(samples_at(two_groups, 0), (std::vector<std::uint32_t>{0, 1}));
  EXPECT_EQ(samples_at(two_groups, 1), (std::vector<std::uint32_t>{2, 3}));
  EXPECT_EQ(set.constellations, (std::vector<std::string_view>{"GPS", "Galileo"}));
  EXPECT_EQ(set.sightings.size(), 4u);
  EXPECT_EQ(set.elevation(4), 32.0);
  EXPECT_EQ(set.signal_text(3), "S2W");
}

}  // namespace
}  // namespace qcn::cn0
