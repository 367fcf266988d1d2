// Observation records parsed for C/N0 alone: the epochs and satellites of a full parse, only the
// S values stored, and the same analysis.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cn0/analysis.hpp"
#include "result/json.hpp"
#include "rinex/obs_parser.hpp"

namespace {

using qcn::rinex::ObservationScope;
using qcn::rinex::RinexObsData;

std::string read_text(const std::string& relative) {
  const std::string path = std::string(QCN_SHARED_DATA_DIR) + "/" + relative;
  if (!std::filesystem::exists(path)) return {};
  if (relative.ends_with(".gz")) {
    FILE* pipe = ::popen(("gzip -dc '" + path + "'").c_str(), "r");
    if (!pipe) return {};
    std::string bytes;
    char buffer[1 << 16];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) bytes.append(buffer, n);
    return ::pclose(pipe) == 0 ? bytes : std::string();
  }
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

/// The S values of a satellite listing, as (code text, value) pairs in stored order.
std::vector<std::pair<std::string, double>> cn0_values(const RinexObsData& data,
                                                       const qcn::rinex::SatelliteObservations& s) {
  std::vector<std::pair<std::string, double>> values;
  for (const auto& o : qcn::rinex::observations_of(data, s)) {
    if (qcn::rinex::is_cn0_code(qcn::rinex::code_of(data, o))) values.emplace_back(qcn::rinex::code_of(data, o), o.value);
  }
  return values;
}

TEST(ObsScopeTest, Cn0OnlyKeepsEpochsSatellitesAndTheSValues) {
  for (const char* file : {"obs/ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz", "obs/cn000010.21o",
                           "obs/NMBUS_SAMSUNG_S20.20o", "obs/14601736.18o",
                           "obs/CEDA00USA_R_20182100000_23H_15S_MO.rnx.gz"}) {
    SCOPED_TRACE(file);
    const std::string text = read_text(file);
    if (text.empty()) GTEST_SKIP() << "shared data missing";
    const RinexObsData all = qcn::rinex::parse_observations(text, "f").data;
    const RinexObsData cn0 = qcn::rinex::parse_observations(text, "f", nullptr, ObservationScope::cn0_only).data;
    ASSERT_EQ(all.epochs.size(), cn0.epochs.size());
    ASSERT_EQ(all.empty_epochs.size(), cn0.empty_epochs.size());
    ASSERT_EQ(all.satellites.size(), cn0.satellites.size());
    ASSERT_EQ(all.satellite_ids.size(), cn0.satellite_ids.size());
    std::size_t stored = 0;
    for (std::size_t s = 0; s < all.satellites.size(); ++s) {
      ASSERT_TRUE(all.satellites[s].satellite == cn0.satellites[s].satellite) << s;
      ASSERT_EQ(all.satellites[s].number, cn0.satellites[s].number) << s;
      ASSERT_EQ(cn0_values(all, all.satellites[s]), cn0_values(cn0, cn0.satellites[s])) << s;
      stored += cn0.satellites[s].observation_count;
    }
    EXPECT_LE(stored, cn0.observations.size());
    // Every stored value is a C/N0 value.
    for (const auto& o : cn0.observations) ASSERT_TRUE(qcn::rinex::is_cn0_code(cn0.obs_codes[o.code]));
    // The analysis reads nothing else: the same result, byte for byte.
    const auto config = qcn::cn0::quick_config(5.0, std::nullopt);
    EXPECT_EQ(qcn::result::to_json(qcn::cn0::run_analysis(qcn::cn0::analysis_input(config, all, nullptr))),
              qcn::result::to_json(qcn::cn0::run_analysis(qcn::cn0::analysis_input(config, cn0, nullptr))));
  }
}

}  // namespace
