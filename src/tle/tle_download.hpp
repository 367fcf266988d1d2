// Fetching the GNSS TLE set from the public element service by running curl.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace qcn::tle {

/// The three addresses tried in order: group query and element file on the primary host, then
/// the element file on the older host.
std::array<std::string, 3> tle_sources();

/// The first source's answer that is valid UTF-8 holding "1 " and "2 ", fetched with the curl
/// found on search_path (PATH syntax); nothing when every source fails or curl is missing.
std::optional<std::string> download_tle(std::string_view search_path);

/// download_tle with the PATH of the environment at the time of the call.
std::optional<std::string> download_tle();

/// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool is_valid_utf8(std::string_view bytes);

}  // namespace qcn::tle
