// Observation records read in pieces on several threads: the same record as one pass, wherever
// the pieces begin.
#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "parallel/thread_pool.hpp"
#include "rinex/obs_parser.hpp"
#include "rinex/obs_records.hpp"

namespace {

using qcn::rinex::RinexObsData;

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string gunzip(const std::string& relative) {
  const std::string path = std::string(QCN_SHARED_DATA_DIR) + "/" + relative;
  if (!std::filesystem::exists(path)) return {};
  FILE* pipe = ::popen(("gzip -dc '" + path + "'").c_str(), "r");
  if (!pipe) return {};
  std::string bytes;
  char buffer[1 << 16];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) bytes.append(buffer, n);
  return ::pclose(pipe) == 0 ? bytes : std::string();
}

/// Equal records, array by array: the pieces leave every value where one pass leaves it.
void expect_same_record(const RinexObsData& a, const RinexObsData& b) {
  ASSERT_EQ(a.epochs.size(), b.epochs.size());
  for (std::size_t e = 0; e < a.epochs.size(); ++e) {
    const auto& x = a.epochs[e];
    const auto& y = b.epochs[e];
    ASSERT_TRUE(x.time.year == y.time.year && x.time.month == y.time.month && x.time.day == y.time.day &&
                x.time.hour == y.time.hour && x.time.minute == y.time.minute && x.time.second == y.time.second &&
                x.flag == y.flag && x.satellite_count == y.satellite_count && x.first_satellite == y.first_satellite)
        << "epoch " << e;
  }
  ASSERT_EQ(a.satellites.size(), b.satellites.size());
  for (std::size_t s = 0; s < a.satellites.size(); ++s) {
    const auto& x = a.satellites[s];
    const auto& y = b.satellites[s];
    ASSERT_TRUE(x.satellite == y.satellite && x.observation_count == y.observation_count &&
                x.first_observation == y.first_observation && x.number == y.number)
        << "satellite " << s;
  }
  ASSERT_EQ(a.satellite_ids.size(), b.satellite_ids.size());
  for (std::size_t n = 0; n < a.satellite_ids.size(); ++n) ASSERT_TRUE(a.satellite_ids[n] == b.satellite_ids[n]) << n;
  ASSERT_EQ(a.observations.size(), b.observations.size());
  for (std::size_t o = 0; o < a.observations.size(); ++o) {
    const auto& x = a.observations[o];
    const auto& y = b.observations[o];
    ASSERT_TRUE(std::bit_cast<std::uint64_t>(x.value) == std::bit_cast<std::uint64_t>(y.value) && x.code == y.code &&
                x.lli == y.lli && x.ssi == y.ssi)
        << "observation " << o;
  }
  ASSERT_EQ(a.empty_epochs.size(), b.empty_epochs.size());
  for (std::size_t m = 0; m < a.empty_epochs.size(); ++m) {
    ASSERT_EQ(a.empty_epochs[m].before, b.empty_epochs[m].before) << "empty epoch " << m;
    ASSERT_EQ(a.empty_epochs[m].time.second, b.empty_epochs[m].time.second) << "empty epoch " << m;
  }
}

/// The record of the text read in pieces beginning at the splits.
RinexObsData read_split(std::string_view text, const std::vector<std::size_t>& splits, qcn::parallel::Pool* pool) {
  RinexObsData data;
  qcn::rinex::LineCursor cursor(text);
  EXPECT_TRUE(qcn::rinex::read_header(cursor, data));
  const qcn::rinex::CodeTable codes = qcn::rinex::build_code_table(data);
  qcn::rinex::read_records_split(cursor, codes, data, splits, pool);
  return data;
}

/// Offsets of every line start after END OF HEADER.
std::vector<std::size_t> record_line_starts(std::string_view text) {
  std::vector<std::size_t> starts;
  std::size_t at = text.find('\n', text.find("END OF HEADER")) + 1;
  while (at < text.size()) {
    starts.push_back(at);
    const std::size_t newline = text.find('\n', at);
    if (newline == std::string_view::npos) break;
    at = newline + 1;
  }
  return starts;
}

// Heads of real files of both versions (CR LF ends and event flags among them), plus epochs that
// hide a version-2 epoch line's look inside observation lines: every line may begin a piece.
TEST(ObsChunksTest, EverySplitPointGivesTheRecordOfOnePass) {
  std::vector<std::string> texts;
  for (const char* name : {"seed_v3_head.rnx", "seed_v2_head.21o", "seed_v2_crlf.18o"}) {
    texts.push_back(read_file(std::filesystem::path(QCN_TEST_DATA_DIR) / "fuzz" / "obs_parser" / name));
  }
  // Version 2, one observation line per satellite. The 0:30 epoch lists two satellites but has
  // one line, so one pass reads the 1:00 epoch line as values of G02; a piece that begins at
  // that line reads it as an epoch instead, whose second satellite swallows the 1:30 epoch line,
  // which one pass reads as an epoch.
  texts.push_back(
      "     2.11           OBSERVATION DATA    G                   RINEX VERSION / TYPE\n"
      "     2    C1    S1                                          # / TYPES OF OBSERV\n"
      "                                                            END OF HEADER\n"
      " 24  3  1  0  0  0.0000000  0  1G01\n  20000000.000    40.000\n"
      " 24  3  1  0  0 30.0000000  0  2G01G02\n  20000000.000    41.000\n"
      " 24  3  1  0  1  0.0000000  0  2G05G06\n  20000000.000    42.000\n"
      " 24  3  1  0  1 30.0000000  0  1G07\n  20000000.000    43.000\n"
      " 24  3  1  0  2  0.0000000  0  0\n"
      " 24  3  1  0  2 30.0000000  0  1G03\n  20000000.000    44.000\n");
  qcn::parallel::Pool pool(2);
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.substr(0, 20));
    ASSERT_FALSE(text.empty());
    const RinexObsData whole = read_split(text, {}, nullptr);
    ASSERT_GE(whole.epochs.size(), 2u);
    for (std::size_t split : record_line_starts(text)) {
      SCOPED_TRACE(split);
      expect_same_record(read_split(text, {split}, &pool), whole);
      if (HasFatalFailure()) return;
    }
  }
}

// A real day cut into many pieces at random lines, on two threads and on one.
TEST(ObsChunksTest, StationDayInManyPieces) {
  const std::string text = gunzip("obs/ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz");
  if (text.empty()) GTEST_SKIP() << "shared ESBC file missing";
  const RinexObsData whole = read_split(text, {}, nullptr);
  const std::vector<std::size_t> lines = record_line_starts(text);
  std::mt19937 random(7);
  qcn::parallel::Pool pool(2);
  for (int round = 0; round < 4; ++round) {
    std::vector<std::size_t> splits;
    for (int k = 0; k < 9; ++k) splits.push_back(lines[random() % lines.size()]);
    std::sort(splits.begin(), splits.end());
    expect_same_record(read_split(text, splits, round % 2 ? &pool : nullptr), whole);
  }
  // Through the parser, with the pool: large enough for one piece per thread.
  const qcn::rinex::ObsParse parse = qcn::rinex::parse_observations(text, "ESBC", &pool);
  expect_same_record(parse.data, whole);
}

TEST(ThreadPoolTest, RunsEveryTaskOnceAndPassesTheFirstFailureOn) {
  qcn::parallel::Pool pool(3);
  std::vector<int> runs(1000, 0);
  pool.run(runs.size(), [&](std::size_t i) { ++runs[i]; });
  EXPECT_EQ(std::count(runs.begin(), runs.end(), 1), 1000);
  // Batches handed in from several threads at once all finish.
  std::vector<std::thread> callers;
  std::atomic<int> total{0};
  for (int c = 0; c < 4; ++c) {
    callers.emplace_back([&] { pool.run(200, [&](std::size_t) { ++total; }); });
  }
  for (auto& caller : callers) caller.join();
  EXPECT_EQ(total.load(), 800);
  EXPECT_THROW(pool.run(10, [](std::size_t i) { if (i == 3) throw std::runtime_error("task 3"); }), std::runtime_error);
  int ran = 0;
  qcn::parallel::run_tasks(nullptr, 5, [&](std::size_t) { ++ran; });
  EXPECT_EQ(ran, 5);
}

}  // namespace
