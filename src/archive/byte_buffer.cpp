// The decoders' output buffer.
#include "archive/byte_buffer.hpp"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace qcn::archive {

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
  if (this != &other) {
    release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

ByteBuffer::~ByteBuffer() { std::free(data_); }

void ByteBuffer::append(std::string_view bytes) {
  if (bytes.empty()) return;
  std::memcpy(data_ + size_, bytes.data(), bytes.size());
  size_ += bytes.size();
}

bool ByteBuffer::reserve_more(std::size_t more, std::uint64_t limit) {
  if (more <= spare()) return true;
  if (more > limit || size_ > limit - more) return false;
  std::uint64_t wanted = static_cast<std::uint64_t>(size_) + more;
  std::uint64_t doubled = capacity_ < 65536 ? 65536 : static_cast<std::uint64_t>(capacity_) * 2;
  std::uint64_t grown = doubled > wanted ? doubled : wanted;
  if (grown > limit) grown = limit;
  reallocate(static_cast<std::size_t>(grown));
  return true;
}

bool ByteBuffer::reserve_exactly(std::size_t more, std::uint64_t limit) {
  if (more <= spare()) return true;
  if (more > limit || size_ > limit - more) return false;
  reallocate(size_ + more);
  return true;
}

void ByteBuffer::shrink_to_fit() {
  if (capacity_ == size_) return;
  if (size_ == 0) {
    release();
    return;
  }
  reallocate(size_);
}

void ByteBuffer::release() {
  std::free(data_);
  data_ = nullptr;
  size_ = 0;
  capacity_ = 0;
}

void ByteBuffer::reallocate(std::size_t capacity) {
  void* moved = std::realloc(data_, capacity == 0 ? 1 : capacity);
  if (!moved) throw std::bad_alloc();
  data_ = static_cast<char*>(moved);
  capacity_ = capacity;
}

}  // namespace qcn::archive
