// libFuzzer target: the whole analysis of any observation bytes, with the navigation data that
// follows a form feed in the input (when there is one), and the JSON of the result.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cn0/analysis.hpp"
#include "cn0/analysis_config.hpp"
#include "navigation/nav_parser.hpp"
#include "result/json.hpp"
#include "rinex/obs_parser.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string_view nav_bytes;
  if (std::size_t split = bytes.find('\f'); split != std::string_view::npos) {
    nav_bytes = bytes.substr(split + 1);
    bytes = bytes.substr(0, split);
  }
  const auto observations = qcn::rinex::parse_observations(bytes, "fuzz.obs");
  if (observations.error != qcn::rinex::ParseError::none) return 0;
  const auto navigation = qcn::navigation::parse_navigation(nav_bytes);
  const bool with_nav = !nav_bytes.empty() && navigation.error == qcn::rinex::ParseError::none;
  const auto config = qcn::cn0::quick_config(5.0, std::nullopt);
  const auto input = qcn::cn0::analysis_input(config, observations.data, with_nav ? &navigation.data : nullptr);
  const auto result = qcn::cn0::run_analysis(input);
  (void)qcn::result::to_json(result);
  return 0;
}
