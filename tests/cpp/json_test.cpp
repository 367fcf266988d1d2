// JSON numbers, strings and the layout of whole results, and the shortest number text.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <string_view>

#include "result/json.hpp"

namespace {

using namespace std::string_view_literals;
using qcn::result::AnalysisResult;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::string json_real(double value) {
  std::string out = "x";
  qcn::result::append_json_real(out, value);
  EXPECT_EQ(out[0], 'x') << "appends, keeps what was there";
  return out.substr(1);
}

std::string json_string(std::string_view text) {
  std::string out;
  qcn::result::append_json_string(out, text);
  return out;
}

TEST(JsonRealTest, WritesPlainInsideTheExponentWindowAndScientificOutside) {
  struct Case {
    double value;
    std::string_view text;
  };
  static constexpr Case kCases[] = {
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {45.0, "45.0"},
      {100.0, "100.0"},
      {-1.5, "-1.5"},
      {0.1, "0.1"},
      {0.25, "0.25"},
      {12.34, "12.34"},
      {0.1 + 0.2, "0.30000000000000004"},
      {0.00001, "0.00001"},
      {0.0000123, "0.0000123"},
      {1e15, "1000000000000000.0"},
      {1e15 + 0.5, "1000000000000000.5"},
      {9999999999999998.0, "9999999999999998.0"},
      {1e16, "1e+16"},
      {1.5e16, "1.5e+16"},
      {-1.2345678901234568e17, "-1.2345678901234568e+17"},
      {1e300, "1e+300"},
      {0.000001, "1e-6"},
      {9.99e-6, "9.99e-6"},
      {2.5e-7, "2.5e-7"},
      {5e-324, "5e-324"},
      {DBL_MAX, "1.7976931348623157e+308"},
      {-DBL_MIN, "-2.2250738585072014e-308"},
      {kNaN, "null"},
      {kInf, "null"},
      {-kInf, "null"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(json_real(c.value), c.text);
  }
}

// Digits from the first non-zero digit to the last non-zero one, exponent and point left out.
int significant_digits(std::string_view text) {
  text = text.substr(0, text.find_first_of("eE"));
  std::string digits;
  for (char c : text) {
    if (c >= '0' && c <= '9') digits.push_back(c);
  }
  const auto first = digits.find_first_not_of('0');
  if (first == std::string::npos) return 0;
  return static_cast<int>(digits.find_last_not_of('0') - first + 1);
}

double read_back(std::string_view text) {
  double value = kNaN;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  EXPECT_EQ(error, std::errc()) << text;
  EXPECT_EQ(end, text.data() + text.size()) << text;
  return value;
}

// Half the patterns are arbitrary; the other half get a binary exponent that lands near the
// plain window of decimal exponents -5 to 15.
double random_double(std::mt19937_64& random, bool near_window) {
  std::uint64_t bits = random();
  if (near_window) {
    const std::uint64_t exponent = 1023 - 20 + bits % 80;
    bits = (bits & 0x800F'FFFF'FFFF'FFFFull) | (exponent << 52);
  }
  return std::bit_cast<double>(bits);
}

TEST(JsonRealTest, RandomDoublesReadBackWithTheShortestDigits) {
  std::mt19937_64 random(20240301);
  for (int i = 0; i < 1'000'000; ++i) {
    const double value = random_double(random, i % 2 == 1);
    const std::string text = json_real(value);
    if (!std::isfinite(value)) {
      ASSERT_EQ(text, "null");
      continue;
    }
    SCOPED_TRACE(text);
    ASSERT_EQ(std::bit_cast<std::uint64_t>(read_back(text)), std::bit_cast<std::uint64_t>(value));
    ASSERT_EQ(std::bit_cast<std::uint64_t>(read_back(qcn::result::shortest_text(value))),
              std::bit_cast<std::uint64_t>(value));

    char reference[32];
    const char* end = std::to_chars(reference, reference + sizeof reference, value, std::chars_format::scientific).ptr;
    const int digits = significant_digits(text);
    ASSERT_EQ(digits, significant_digits(std::string_view(reference, end - reference)));
    // No shorter text reads back: the nearest one with a digit less already misses.
    if (digits >= 2) {
      char shorter[40];
      std::snprintf(shorter, sizeof shorter, "%.*e", digits - 2, value);
      ASSERT_NE(std::strtod(shorter, nullptr), value) << shorter;
    }
  }
}

TEST(ShortestTextTest, IsPositionalWithoutFractionForIntegers) {
  struct Case {
    double value;
    std::string text;
  };
  const Case cases[] = {
      {12.0, "12"},
      {0.25, "0.25"},
      {1e-7, "0.0000001"},
      {0.0, "0"},
      {-0.0, "-0"},
      {-42.125, "-42.125"},
      {123.456, "123.456"},
      {1e16, "10000000000000000"},
      {1e21, "1000000000000000000000"},
      {5e-324, "0." + std::string(323, '0') + "5"},
      {DBL_MAX, "17976931348623157" + std::string(292, '0')},
      {kNaN, "NaN"},
      {kInf, "inf"},
      {-kInf, "-inf"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(qcn::result::shortest_text(c.value), c.text);
  }
}

TEST(JsonStringTest, EscapesQuoteBackslashAndControlBytesOnly) {
  struct Case {
    std::string_view text;
    std::string_view json;
  };
  static constexpr Case kCases[] = {
      {"", R"("")"},
      {"ROOF 1", R"("ROOF 1")"},
      {"a\"b\\c\td", R"("a\"b\\c\td")"},
      {"\b\f\n\r", R"("\b\f\n\r")"},
      {"\x01|\x1f|\x0b", R"("\u0001|\u001f|\u000b")"},
      {"nul\0end"sv, R"("nul\u0000end")"},
      {"a/b\x7f", "\"a/b\x7f\""},
      {"caf\xc3\xa9", "\"caf\xc3\xa9\""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.json);
    EXPECT_EQ(json_string(c.text), c.json);
  }
}

constexpr std::string_view kT0 = "2024-03-01T00:00:00.000Z";
constexpr std::string_view kT1 = "2024-03-01T00:00:30.000Z";

AnalysisResult small_result() {
  AnalysisResult r;
  r.file_info = {"", "ROOF", "RCV X", "", std::string(kT0), std::string(kT1), 0.5, 30.0, 52.25, -0.125, 1.5e-6};
  r.quality_score = {kNaN, 87.5, 100.0, 1e16, "B", "Good"};
  r.summary = {18446744073709551615ull, 2, 2, {"GPS"}, 42.25, 40.0, 44.5, 1, 1, 0, 0};
  r.satellite_stats["G01"] = {"G01", "GPS", 2, 42.25, 40.0, 44.5, 2.25, 30.5};
  r.timeseries.timestamps = {std::string(kT0), std::string(kT1)};
  r.timeseries.mean_cn0 = {40.0, kNaN};
  r.timeseries.satellite_count = {1, 1};
  // The second point's time index lies past the time points.
  r.timeseries.satellite_timeseries["G01"] = {"G01", "GPS", "S1C", {{1, 0, false, 44.5, 31.0, 120.25}, {7, 0, false, 44.5, 31.0, 120.25}}, {}};
  r.timeseries.constellation_timeseries["GPS"] = {{0, 0, false, 40.0, 30.0, 120.0}};
  r.skyplot.traces = {{"G01", "GPS", {{120.0, 30.0, 40.0}}}};
  r.skyplot.coverage_percent = 0.25;
  r.heatmap.azimuth_bins = {0.0, 10.0};
  r.heatmap.cn0_matrix = {{40.0, kNaN}};
  r.heatmap.count_matrix = {{1, 0}};
  r.anomalies = {{std::string(kT1), qcn::result::Severity::critical, qcn::result::DropKind::multi_satellite, "Drop of 12.5 dB", 12.5, {"G01", "G02"},
                  {"GPS"}}};
  return r;
}

TEST(JsonResultTest, CompactFormHasNoWhitespaceBetweenTokens) {
  const std::string expected =
      R"({"file_info":{"filename":"","marker_name":"ROOF","receiver_type":"RCV X","antenna_type":"",)"
      R"("start_time":"2024-03-01T00:00:00.000Z","end_time":"2024-03-01T00:00:30.000Z","duration_hours":0.5,)"
      R"("interval":30.0,"position_lat":52.25,"position_lon":-0.125,"position_height":1.5e-6},)"
      R"("quality_score":{"overall":null,"cn0_score":87.5,"coverage_score":100.0,"consistency_score":1e+16,)"
      R"("grade":"B","interpretation":"Good"},)"
      R"("summary":{"total_observations":18446744073709551615,"total_satellites":2,"total_epochs":2,)"
      R"("systems_observed":["GPS"],"mean_cn0":42.25,"min_cn0":40.0,"max_cn0":44.5,"anomaly_count":1,)"
      R"("critical_count":1,"high_count":0,"low_count":0},)"
      R"("constellation_stats":{},)"
      R"("satellite_stats":{"G01":{"satellite":"G01","system":"GPS","observation_count":2,"mean_cn0":42.25,)"
      R"("min_cn0":40.0,"max_cn0":44.5,"std_cn0":2.25,"mean_elevation":30.5}},)"
      R"("timeseries":{"timestamps":["2024-03-01T00:00:00.000Z","2024-03-01T00:00:30.000Z"],)"
      R"("mean_cn0":[40.0,null],"satellite_count":[1,1],)"
      R"("satellite_timeseries":{"G01":{"satellite":"G01","system":"GPS","signal":"S1C","cn0_series":[)"
      R"({"timestamp":"2024-03-01T00:00:30.000Z","cn0":44.5,"elevation":31.0,"azimuth":120.25},)"
      R"({"timestamp":"","cn0":44.5,"elevation":31.0,"azimuth":120.25}]}},)"
      R"("constellation_timeseries":{"GPS":[)"
      R"({"timestamp":"2024-03-01T00:00:00.000Z","cn0":40.0,"elevation":30.0,"azimuth":120.0}]}},)"
      R"("skyplot":{"traces":[{"satellite":"G01","system":"GPS","points":[)"
      R"({"azimuth":120.0,"elevation":30.0,"cn0":40.0,"satellite":"G01"}]}],"heatmap_points":[],)"
      R"("coverage_percent":0.25},)"
      R"("heatmap":{"azimuth_bins":[0.0,10.0],"elevation_bins":[],"cn0_matrix":[[40.0,null]],)"
      R"("count_matrix":[[1,0]]},)"
      R"("anomalies":[{"timestamp":"2024-03-01T00:00:30.000Z","severity":"critical",)"
      R"("event_type":"Multi-satellite CN0 drop","description":"Drop of 12.5 dB","cn0_drop":12.5,)"
      R"("affected_satellites":["G01","G02"],"affected_systems":["GPS"]}],)"
      R"("visibility":null,"spoofing_unexpected_threshold":0.4,"spoofing_min_unexpected_count":8.0})";
  EXPECT_EQ(qcn::result::to_json(small_result()), expected);
}

TEST(JsonResultTest, CompactVisibilityKeepsItsKeyOrder) {
  AnalysisResult r;
  qcn::result::VisibilityResult& v = r.visibility.emplace();
  v = {true, "broadcast", 97.5, 9.0, 8.75, 0.25, 1.0, {"G05"}, {}, {}, {}, {}};
  v.by_system["GPS"] = {"GPS", 9, 8, 88.0, {"G05"}, {}};
  v.anomalies = {{std::string(kT0), std::string(kT1), 30.0, qcn::result::VisibilityAnomalyKind::missing_satellites,
                  qcn::result::Severity::low, {"G05"}, {"GPS"}, "gone"}};
  const std::string expected =
      R"("visibility":{"has_prediction":true,"prediction_source":"broadcast","confirmation_rate":97.5,)"
      R"("mean_predicted":9.0,"mean_observed":8.75,"mean_missing":0.25,"mean_unexpected":1.0,)"
      R"("frequently_missing":["G05"],"frequently_unexpected":[],)"
      R"("by_system":{"GPS":{"system":"GPS","predicted_satellites":9,"observed_satellites":8,)"
      R"("confirmation_rate":88.0,"missing_satellites":["G05"],"unexpected_satellites":[]}},)"
      R"("anomalies":[{"start_time":"2024-03-01T00:00:00.000Z","end_time":"2024-03-01T00:00:30.000Z",)"
      R"("duration_seconds":30.0,"anomaly_type":"missing_satellites","severity":"low",)"
      R"("affected_satellites":["G05"],"affected_systems":["GPS"],"description":"gone"}]},)"
      R"("spoofing_unexpected_threshold":0.4,)";
  EXPECT_NE(qcn::result::to_json(r).find(expected), std::string::npos) << qcn::result::to_json(r);
}

TEST(JsonResultTest, IndentedFormNestsTwoSpacesPerLevel) {
  AnalysisResult r;
  r.skyplot.traces = {{"E11", "Galileo", {{10.5, 20.0, 35.0}}}};
  r.heatmap.cn0_matrix = {{1.0}, {}};
  r.anomalies = {{"2024-03-01T00:00:05.500Z", qcn::result::Severity::high, qcn::result::DropKind::multi_system, "", 8.25, {"E11"}, {}}};
  constexpr std::string_view kExpected = R"({
  "file_info": {
    "filename": "",
    "marker_name": "",
    "receiver_type": "",
    "antenna_type": "",
    "start_time": "",
    "end_time": "",
    "duration_hours": 0.0,
    "interval": 0.0,
    "position_lat": 0.0,
    "position_lon": 0.0,
    "position_height": 0.0
  },
  "quality_score": {
    "overall": 0.0,
    "cn0_score": 0.0,
    "coverage_score": 0.0,
    "consistency_score": 0.0,
    "grade": "N/A",
    "interpretation": "No data"
  },
  "summary": {
    "total_observations": 0,
    "total_satellites": 0,
    "total_epochs": 0,
    "systems_observed": [],
    "mean_cn0": 0.0,
    "min_cn0": 0.0,
    "max_cn0": 0.0,
    "anomaly_count": 0,
    "critical_count": 0,
    "high_count": 0,
    "low_count": 0
  },
  "constellation_stats": {},
  "satellite_stats": {},
  "timeseries": {
    "timestamps": [],
    "mean_cn0": [],
    "satellite_count": [],
    "satellite_timeseries": {},
    "constellation_timeseries": {}
  },
  "skyplot": {
    "traces": [
      {
        "satellite": "E11",
        "system": "Galileo",
        "points": [
          {
            "azimuth": 10.5,
            "elevation": 20.0,
            "cn0": 35.0,
            "satellite": "E11"
          }
        ]
      }
    ],
    "heatmap_points": [],
    "coverage_percent": 0.0
  },
  "heatmap": {
    "azimuth_bins": [],
    "elevation_bins": [],
    "cn0_matrix": [
      [
        1.0
      ],
      []
    ],
    "count_matrix": []
  },
  "anomalies": [
    {
      "timestamp": "2024-03-01T00:00:05.500Z",
      "severity": "high",
      "event_type": "Multi-system CN0 drop",
      "description": "",
      "cn0_drop": 8.25,
      "affected_satellites": [
        "E11"
      ],
      "affected_systems": []
    }
  ],
  "visibility": null,
  "spoofing_unexpected_threshold": 0.4,
  "spoofing_min_unexpected_count": 8.0
})";
  EXPECT_EQ(qcn::result::to_json_pretty(r), kExpected);
}

}  // namespace

namespace {

/// Collects the pieces; refuses every piece after the first `accept` ones when asked.
struct PieceSink : qcn::result::JsonSink {
  std::string text;
  std::size_t pieces = 0;
  std::size_t accept = static_cast<std::size_t>(-1);
  bool write(std::string_view piece) override {
    if (pieces >= accept) return false;
    ++pieces;
    text.append(piece);
    return true;
  }
};

// Streamed pieces join to the text written whole, whatever the chunk size; a sink that fails
// makes the write fail.
TEST(JsonResultTest, StreamedPiecesJoinToTheWholeText) {
  AnalysisResult r = small_result();
  r.visibility.emplace().by_system["GPS"] = {"GPS", 9, 8, 88.0, {"G05"}, {}};
  for (auto layout : {qcn::result::Layout::compact, qcn::result::Layout::indented}) {
    const std::string whole =
        layout == qcn::result::Layout::compact ? qcn::result::to_json(r) : qcn::result::to_json_pretty(r);
    for (std::size_t chunk : {1u, 7u, 64u, 100000u}) {
      SCOPED_TRACE(chunk);
      PieceSink sink;
      std::string buffer;
      qcn::result::JsonWriter writer(buffer, layout, &sink, chunk);
      writer.begin_object();
      writer.key("k");
      writer.text("v");
      writer.end_object();
      ASSERT_TRUE(writer.finish());
      EXPECT_EQ(sink.text, layout == qcn::result::Layout::compact ? R"({"k":"v"})" : "{\n  \"k\": \"v\"\n}");
    }
    PieceSink sink;
    ASSERT_TRUE(qcn::result::write_json(r, layout, sink));
    EXPECT_EQ(sink.text, whole);
    PieceSink failing;
    failing.accept = 0;
    EXPECT_FALSE(qcn::result::write_json(r, layout, failing));
  }
}

TEST(JsonResultTest, AssessmentComesLastOnRequestAndLeavesTheResultTextAlone) {
  AnalysisResult r = small_result();
  const std::string plain = qcn::result::to_json(r);
  const std::string plain_pretty = qcn::result::to_json_pretty(r);
  qcn::result::Assessment& a = r.assessment.emplace();
  a.jamming_detected = true;
  a.epochs = 2880;
  qcn::result::Episode& e = a.episodes.emplace_back();
  e.kind = qcn::result::EpisodeKind::jamming;
  e.severity = qcn::result::Severity::critical;
  e.bands = {"L1", "L2"};
  e.max_drop_db = 25.0;
  EXPECT_EQ(qcn::result::to_json(r), plain);
  EXPECT_EQ(qcn::result::to_json_pretty(r), plain_pretty);
  const std::string alone = qcn::result::assessment_json(r.assessment, qcn::result::Layout::compact);
  EXPECT_EQ(alone.rfind(R"({"expectation":"baseline","jamming_detected":true,)", 0), 0u) << alone;
  EXPECT_NE(alone.find(R"("epochs":2880,)"), std::string::npos);
  EXPECT_NE(alone.find(R"("kind":"jamming","severity":"critical",)"), std::string::npos);
  EXPECT_NE(alone.find(R"("median_drop_db":null,"max_drop_db":25.0,)"), std::string::npos);
  EXPECT_EQ(qcn::result::assessment_json(std::nullopt, qcn::result::Layout::indented), "null");
  PieceSink sink;
  ASSERT_TRUE(qcn::result::write_json(r, qcn::result::Layout::compact, sink, nullptr,
                                      qcn::result::Sections::with_assessment));
  std::string expected = plain.substr(0, plain.size() - 1);
  expected.append(R"(,"assessment":)").append(alone).append("}");
  EXPECT_EQ(sink.text, expected);
  PieceSink pretty;
  ASSERT_TRUE(qcn::result::write_json(r, qcn::result::Layout::indented, pretty, nullptr,
                                      qcn::result::Sections::with_assessment));
  EXPECT_EQ(pretty.text.rfind(plain_pretty.substr(0, plain_pretty.size() - 2), 0), 0u);
  EXPECT_NE(pretty.text.find("\n  \"assessment\": {\n    \"expectation\": \"baseline\","), std::string::npos);
  r.assessment.reset();
  PieceSink none;
  ASSERT_TRUE(qcn::result::write_json(r, qcn::result::Layout::compact, none, nullptr,
                                      qcn::result::Sections::with_assessment));
  EXPECT_EQ(none.text, plain.substr(0, plain.size() - 1) + R"(,"assessment":null})");
}

}  // namespace

namespace {

// Inside the plain window the number text is the shortest digits placed around the point (what
// shortest_text writes), with ".0" on integral values: the fast fixed form must agree with it.
TEST(JsonRealTest, FixedFormAgreesWithTheShortestDigitsPlacedAroundThePoint) {
  std::mt19937_64 random(7);
  std::vector<double> values = {1e-5, 1.0001e-5, 9.99e15, 9.989999999999999e15, 1e15, 123.0, -0.5, 0.1, 44.25};
  for (int i = 0; i < 400000; ++i) values.push_back(random_double(random, true));
  for (double value : values) {
    if (!std::isfinite(value)) continue;
    char sci[32];
    const char* end = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific).ptr;
    const int exponent = std::atoi(std::find(sci, const_cast<char*>(end), 'e') + 1);
    if (exponent < -5 || exponent > 15) continue;
    std::string expected = qcn::result::shortest_text(value);
    if (expected.find('.') == std::string::npos) expected += ".0";
    ASSERT_EQ(json_real(value), expected) << sci;
  }
}

}  // namespace

namespace {

// Long strings are copied eight bytes at a time; every byte that needs escaping, wherever it
// lies in a word, is still escaped, and bytes of 0x80 and above pass as they are.
TEST(JsonStringTest, EscapesInLongStringsAtEveryPosition) {
  for (char special : {'"', '\\', '\n', '\x01', '\x1f'}) {
    for (std::size_t at = 0; at < 20; ++at) {
      std::string text = "abcdefghijklmnopqrstuvwx\xc3\xa9";
      text[at] = special;
      std::string expected = "\"";
      for (char c : text) {
        if (c == '"') expected += "\\\"";
        else if (c == '\\') expected += "\\\\";
        else if (c == '\n') expected += "\\n";
        else if (c == '\x01') expected += "\\u0001";
        else if (c == '\x1f') expected += "\\u001f";
        else expected += c;
      }
      expected += '"';
      ASSERT_EQ(json_string(text), expected) << static_cast<int>(special) << " at " << at;
    }
  }
  EXPECT_EQ(json_string("0123456789 ~\x7f\x80\xff"), "\"0123456789 ~\x7f\x80\xff\"");
}

}  // namespace

namespace {

using qcn::result::JsonWriter;
using qcn::result::Layout;

// The text of a points array written token by token, as the writer lays out any array.
std::string series_tokens(const std::vector<qcn::result::TimeseriesPoint>& points,
                          const std::vector<std::string>& timestamps, Layout layout, int level) {
  std::string out;
  JsonWriter w = JsonWriter::fragment(out, layout, level);
  w.begin_array();
  for (const auto& p : points) {
    w.begin_object();
    w.key("timestamp");
    w.text(p.time < timestamps.size() ? std::string_view(timestamps[p.time]) : std::string_view());
    w.key("cn0");
    w.real(p.cn0);
    w.key("elevation");
    w.real(p.elevation);
    w.key("azimuth");
    w.real(p.azimuth);
    w.end_object();
  }
  w.end_array();
  (void)w.finish();
  return out;
}

std::string trace_tokens(const std::vector<qcn::result::SkyplotPoint>& points, std::string_view satellite,
                         Layout layout, int level) {
  std::string out;
  JsonWriter w = JsonWriter::fragment(out, layout, level);
  w.begin_array();
  for (const auto& p : points) {
    w.begin_object();
    w.key("azimuth");
    w.real(p.azimuth);
    w.key("elevation");
    w.real(p.elevation);
    w.key("cn0");
    w.real(p.cn0);
    w.key("satellite");
    w.text(satellite);
    w.end_object();
  }
  w.end_array();
  (void)w.finish();
  return out;
}

// Long series are written in blocks, side by side on a pool: the text must be the one of writing
// every point token by token, at every block boundary, with or without threads, whole or streamed.
TEST(JsonResultTest, LongSeriesInBlocksMatchTheTokenByTokenText) {
  AnalysisResult r;
  std::mt19937_64 random(11);
  for (int t = 0; t < 30000; ++t) {
    std::string& text = r.timeseries.timestamps.emplace_back(1, 'T');
    text.append(std::to_string(t)).append(t % 97 == 0 ? "\"q" : "");
  }
  auto& own = r.timeseries.satellite_timeseries["G01"];
  own = {"G01", "GPS", "S1C", {}, {}};
  std::vector<qcn::result::SkyplotPoint> trace_points;
  for (std::uint32_t i = 0; i < 25000; ++i) {
    const double elevation = (i / 3) * 0.0017 + 0.1, azimuth = 360.0 - (i / 3) * 0.0031;
    const double cn0 = static_cast<double>(random() % 24000) / 400.0 + (i % 5 == 0 ? 1e-9 : 0.0);
    own.cn0_series.push_back({i % 7 == 6 ? 40000u : i, 0, false, cn0, elevation, azimuth});
    trace_points.push_back({azimuth, elevation, cn0});
  }
  r.timeseries.constellation_timeseries["GPS"] = own.cn0_series;
  r.skyplot.traces = {{"G01", "GPS", {}, true}, {"E\\1", "Galileo", trace_points, false}};
  qcn::parallel::Pool pool(3);
  for (Layout layout : {Layout::compact, Layout::indented}) {
    const std::string serial = layout == Layout::compact ? qcn::result::to_json(r) : qcn::result::to_json_pretty(r);
    const int depth = 4;  // result, timeseries, satellite_timeseries, satellite
    EXPECT_NE(serial.find(series_tokens(own.cn0_series, r.timeseries.timestamps, layout, depth)), std::string::npos);
    EXPECT_NE(serial.find(trace_tokens(trace_points, "G01", layout, depth)), std::string::npos);
    EXPECT_NE(serial.find(trace_tokens(trace_points, "E\\1", layout, depth)), std::string::npos);
    const std::string threaded =
        layout == Layout::compact ? qcn::result::to_json(r, &pool) : qcn::result::to_json_pretty(r, &pool);
    EXPECT_EQ(threaded, serial);
    PieceSink sink;
    ASSERT_TRUE(qcn::result::write_json(r, layout, sink, &pool));
    EXPECT_EQ(sink.text, serial);
  }
}

}  // namespace
