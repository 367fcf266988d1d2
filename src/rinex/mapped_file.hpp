// A regular file mapped into memory read-only: parsed in place, without copying it into the heap,
// its pages handed back once the parse has passed them.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace qcn::rinex {

class MappedFile {
 public:
  /// The file at path mapped whole; nothing when it cannot be (not a regular file, empty, a path
  /// with a NUL byte, any failure), and the caller then reads it the ordinary way.
  static std::optional<MappedFile> map(std::string_view path);

  /// The regular file open at fd mapped whole, fd left open and its position unmoved; nothing
  /// for a pipe, a device, an empty file or any failure.
  static std::optional<MappedFile> map(int fd);

  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile();

  std::string_view view() const { return {data_, size_}; }

  /// Gives back the whole pages within [begin, end): reading them again maps them again from the
  /// file, so this only lowers the memory held, never changes what is read.
  void release(std::size_t begin, std::size_t end) const;

 private:
  MappedFile(const char* data, std::size_t size) : data_(data), size_(size) {}
  const char* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace qcn::rinex
