// JSON text of an analysis result, compact and indented: whole, or streamed to a sink.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "result/analysis_result.hpp"
#include "parallel/thread_pool.hpp"
#include "result/json_writer.hpp"

namespace qcn::result {

/// What a document holds: the result's sections alone (the text of to_json), or those followed by
/// the interference assessment under "assessment" (null when there is none).
enum class Sections : std::uint8_t { result, with_assessment };

/// Compact JSON: no whitespace between tokens, no newline at the end. With a pool, the series
/// of the satellites are written side by side on its threads; the text is the same.
std::string to_json(const AnalysisResult& result, parallel::Pool* pool = nullptr);

/// Indented JSON: two spaces per level, empty containers kept on one line.
std::string to_json_pretty(const AnalysisResult& result, parallel::Pool* pool = nullptr);

/// The interference assessment alone: its JSON object, or null without one.
std::string assessment_json(const std::optional<Assessment>& assessment, Layout layout);

/// The same text, compact or indented, handed to the sink piece by piece instead of held whole;
/// false when the sink failed.
[[nodiscard]] bool write_json(const AnalysisResult& result, Layout layout, JsonSink& sink,
                              parallel::Pool* pool = nullptr, Sections sections = Sections::result);

/// Writes the JSON text into the file at path, created or emptied, piece by piece; the empty text
/// on success, otherwise the operating system's reason ("Permission denied (os error 13)").
[[nodiscard]] std::string write_json_file(const AnalysisResult& result, Layout layout, const std::string& path,
                                          parallel::Pool* pool = nullptr, Sections sections = Sections::result);

}  // namespace qcn::result
