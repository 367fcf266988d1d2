// Mapping with POSIX calls.
#include "rinex/mapped_file.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>

namespace qcn::rinex {

std::optional<MappedFile> MappedFile::map(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return std::nullopt;
  const std::string name(path);
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<MappedFile> mapped = map(fd);
  ::close(fd);  // the mapping keeps the file
  return mapped;
}

std::optional<MappedFile> MappedFile::map(int fd) {
  struct stat status {};
  void* data = MAP_FAILED;
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) {
    data = ::mmap(nullptr, static_cast<std::size_t>(status.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  }
  if (data == MAP_FAILED) return std::nullopt;
  ::madvise(data, static_cast<std::size_t>(status.st_size), MADV_SEQUENTIAL);
  return MappedFile(static_cast<const char*>(data), static_cast<std::size_t>(status.st_size));
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    if (data_ != nullptr) ::munmap(const_cast<char*>(data_), size_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

MappedFile::~MappedFile() {
  if (data_ != nullptr) ::munmap(const_cast<char*>(data_), size_);
}

void MappedFile::release(std::size_t begin, std::size_t end) const {
  const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  if (data_ == nullptr || end > size_) end = size_;
  const std::size_t first = (begin + page - 1) / page * page;
  const std::size_t last = end / page * page;
  if (first >= last) return;
  ::madvise(const_cast<char*>(data_) + first, last - first, MADV_DONTNEED);
}

}  // namespace qcn::rinex
