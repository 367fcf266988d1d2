// A growable byte buffer for decoded data: spare capacity is never written, so it costs address
// space but no resident memory, and growth by realloc can move pages instead of copying them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qcn::archive {

/// Owns one malloc'd block: size() bytes written, capacity() bytes reserved.
class ByteBuffer {
 public:
  ByteBuffer() = default;
  ByteBuffer(ByteBuffer&& other) noexcept;
  ByteBuffer& operator=(ByteBuffer&& other) noexcept;
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;
  ~ByteBuffer();

  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  std::size_t spare() const { return capacity_ - size_; }
  std::string_view view() const { return {data_, size_}; }
  const char* data() const { return data_; }
  /// Where the next byte goes; spare() bytes may be written there before commit().
  char* end() { return data_ + size_; }
  /// Counts n more bytes written at end().
  void commit(std::size_t n) { size_ += n; }
  /// Appends bytes; the caller has made room with reserve_more.
  void append(std::string_view bytes);
  void push_back(char c) { data_[size_++] = c; }
  void truncate(std::size_t size) { size_ = size; }

  /// Makes room for `more` bytes past size(), growing geometrically but never beyond `limit`
  /// bytes in all; false (nothing changed) when size() + more exceeds limit. Throws
  /// std::bad_alloc when the memory cannot be had.
  [[nodiscard]] bool reserve_more(std::size_t more, std::uint64_t limit);
  /// Grows the capacity to exactly size() + more when it is smaller (same limit rule).
  [[nodiscard]] bool reserve_exactly(std::size_t more, std::uint64_t limit);
  /// Returns the spare capacity to the allocator.
  void shrink_to_fit();
  /// Frees everything.
  void release();

 private:
  void reallocate(std::size_t capacity);

  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace qcn::archive
