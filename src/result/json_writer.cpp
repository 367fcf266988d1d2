// The JSON writer: tokens, separators and layout.
#include "result/json_writer.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "result/json_text.hpp"

namespace qcn::result {

void JsonWriter::key(std::string_view name) {
  next_token();
  char* out = put_json_string(room(json_string_room(name.size()) + 2), name);
  *out++ = ':';
  if (indented_) *out++ = ' ';
  commit(out);
  after_key_ = true;
}

void JsonWriter::raw_elements(std::string_view text) {
  if (text.empty()) return;
  first_in_container_ = false;
  if (sink_ != nullptr && text.size() >= chunk_) {
    // A large block goes to the sink as it is, after what is waiting, instead of being copied.
    flush();
    if (!sink_failed_) sink_failed_ = !sink_->write(text);
    return;
  }
  std::memcpy(room(text.size()), text.data(), text.size());
  used_ += text.size();
}

void JsonWriter::real(double value) {
  next_token();
  commit(put_json_real(room(kRealRoom), value));
}

void JsonWriter::count(std::uint64_t value) {
  next_token();
  char* out = room(24);
  commit(std::to_chars(out, out + 24, value).ptr);
}

void JsonWriter::text(std::string_view value) {
  next_token();
  commit(put_json_string(room(json_string_room(value.size())), value));
}

void JsonWriter::flag(bool value) {
  next_token();
  const std::string_view word = value ? "true" : "false";
  char* out = room(word.size());
  std::memcpy(out, word.data(), word.size());
  commit(out + word.size());
}

void JsonWriter::null() {
  next_token();
  char* out = room(4);
  std::memcpy(out, "null", 4);
  commit(out + 4);
}

void JsonWriter::grow(std::size_t n) {
  out_.resize(std::max(2 * out_.size(), used_ + n + 4096));
}

bool JsonWriter::finish() {
  if (sink_ != nullptr) flush();
  out_.resize(used_);
  return !sink_failed_;
}

// A value after its key follows directly, as does the outermost value; any other token is a new
// member or element.
void JsonWriter::next_token() {
  if (sink_ != nullptr && used_ >= chunk_) flush();
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (level_ == 0) return;
  if (!first_in_container_) {
    *room(1) = ',';
    ++used_;
  }
  first_in_container_ = false;
  new_line();
}

void JsonWriter::open(char bracket) {
  next_token();
  *room(1) = bracket;
  ++used_;
  ++level_;
  first_in_container_ = true;
}

// The enclosing container holds at least this one, so its next token needs a comma.
void JsonWriter::close(char bracket) {
  --level_;
  if (!first_in_container_) new_line();
  first_in_container_ = false;
  *room(1) = bracket;
  ++used_;
}

void JsonWriter::new_line() {
  if (!indented_) return;
  const std::size_t indent = 2 * static_cast<std::size_t>(level_);
  char* out = room(indent + 1);
  *out++ = '\n';
  std::memset(out, ' ', indent);
  commit(out + indent);
}

void JsonWriter::flush() {
  if (!sink_failed_ && used_ > 0) sink_failed_ = !sink_->write(std::string_view(out_.data(), used_));
  used_ = 0;
}

}  // namespace qcn::result
