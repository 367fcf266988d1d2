// A JSON writer that appends tokens to one buffer, compact or indented, and hands the buffer to a
// sink whenever it has grown past a chunk, so that a large text need not be held in memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "result/json_text.hpp"

namespace qcn::result {

/// Where streamed JSON text goes, piece by piece, in order.
class JsonSink {
 public:
  virtual ~JsonSink() = default;
  /// Takes the next piece; false when it could not (the writer then stops handing pieces over).
  virtual bool write(std::string_view piece) = 0;
};

enum class Layout : std::uint8_t { compact, indented };

/// Tokens of one JSON text. Keys and values are written in call order; the writer places the
/// separators, line feeds and indentation.
class JsonWriter {
 public:
  /// Appends to out; with a sink, what was written is handed to it whenever it reaches chunk
  /// bytes. out holds exactly the text after finish().
  JsonWriter(std::string& out, Layout layout, JsonSink* sink = nullptr, std::size_t chunk = std::size_t{1} << 20)
      : out_(out), used_(out.size()), indented_(layout == Layout::indented), sink_(sink), chunk_(chunk) {}

  /// A writer of one value that another writer places at `level` (after a key, or as an element):
  /// its text is the one that writer would write there, so fragments can be written side by side.
  static JsonWriter fragment(std::string& out, Layout layout, int level) {
    JsonWriter writer(out, layout);
    writer.level_ = level;
    writer.after_key_ = true;
    return writer;
  }

  /// Nesting depth: the containers open around the next token.
  int level() const { return level_; }

  /// Places array elements written elsewhere, their separators included (see ElementShape), in
  /// the array open at this writer's level.
  void raw_elements(std::string_view text);

  void begin_object() { open('{'); }
  void end_object() { close('}'); }
  void begin_array() { open('['); }
  void end_array() { close(']'); }
  void key(std::string_view name);
  void real(double value);
  void count(std::uint64_t value);
  void text(std::string_view value);
  void flag(bool value);
  void null();

  /// Trims out to the text, and hands what is left to the sink; false when the sink failed at
  /// any point.
  bool finish();

 private:
  /// At least n bytes of room after the text; the pointer to the first.
  char* room(std::size_t n) {
    if (out_.size() - used_ < n) grow(n);
    return out_.data() + used_;
  }
  void commit(char* end) { used_ = static_cast<std::size_t>(end - out_.data()); }
  void grow(std::size_t n);
  void next_token();
  void open(char bracket);
  void close(char bracket);
  void new_line();
  void flush();

  std::string& out_;  // sized beyond the text while writing
  std::size_t used_;  // bytes of out_ that are text
  bool indented_;
  JsonSink* sink_;
  std::size_t chunk_;
  bool sink_failed_ = false;
  bool first_in_container_ = true;
  bool after_key_ = false;
  int level_ = 0;
};

}  // namespace qcn::result
