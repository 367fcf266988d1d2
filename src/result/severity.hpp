// How serious a finding is, shared by the anomalies and the assessment's episodes.
#pragma once

#include <cstdint>
#include <string_view>

namespace qcn::result {

/// Written as "low", "high" or "critical".
enum class Severity : std::uint8_t { low, high, critical };

std::string_view severity_text(Severity severity);

}  // namespace qcn::result
