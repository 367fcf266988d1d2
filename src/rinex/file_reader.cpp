// Whole-file reading with POSIX calls, so the error number reaches the message.
#include "rinex/file_reader.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qcn::rinex {
namespace {

std::string os_error_text(int error) {
  return std::string(std::strerror(error)) + " (os error " + std::to_string(error) + ")";
}

/// One read() into the free space, retried when interrupted; false with error set on failure.
bool read_some(int fd, char* into, std::size_t space, std::size_t& got, int& error) {
  for (;;) {
    ssize_t n = ::read(fd, into, space);
    if (n >= 0) {
      got = static_cast<std::size_t>(n);
      return true;
    }
    if (errno != EINTR) {
      error = errno;
      return false;
    }
  }
}

// Reads to the end of the file; the size from fstat is only a first guess. When the guess is
// filled, a small probe tells the end of the file from a file that grew, so a file of exactly
// the guessed size is never copied into a larger buffer.
bool read_all(int fd, std::string& out, int& error) {
  struct stat info {};
  std::size_t capacity = 0;
  if (fstat(fd, &info) == 0 && info.st_size > 0) capacity = static_cast<std::size_t>(info.st_size);
  out.resize(capacity > 0 ? capacity : 65536);
  std::size_t filled = 0;
  for (;;) {
    std::size_t got = 0;
    if (filled == out.size()) {
      char probe[4096];
      if (!read_some(fd, probe, sizeof probe, got, error)) return false;
      if (got == 0) break;
      out.resize(out.size() + (out.size() < 65536 ? 65536 : out.size() / 2));
      std::memcpy(out.data() + filled, probe, got);
    } else {
      if (!read_some(fd, out.data() + filled, out.size() - filled, got, error)) return false;
      if (got == 0) break;
    }
    filled += got;
  }
  out.resize(filled);
  return true;
}

// Whether text is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool is_utf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i);
    std::size_t extra = lead < 0x80 ? 0 : lead >= 0xc2 && lead <= 0xdf ? 1 : lead >= 0xe0 && lead <= 0xef ? 2
                        : lead >= 0xf0 && lead <= 0xf4 ? 3 : 4;
    if (extra == 4 || i + extra >= text.size() + (extra == 0 ? 1 : 0)) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      if ((byte(i + k) & 0xc0) != 0x80) return false;
    }
    if (extra >= 2) {
      unsigned char second = byte(i + 1);
      if ((lead == 0xe0 && second < 0xa0) || (lead == 0xed && second > 0x9f) || (lead == 0xf0 && second < 0x90) ||
          (lead == 0xf4 && second > 0x8f)) {
        return false;
      }
    }
    i += extra + 1;
  }
  return true;
}

}  // namespace

OpenFile::OpenFile(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) {
    error_ = "file name contained an unexpected NUL byte";
    return;
  }
  const std::string path_text(path);
  fd_ = ::open(path_text.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) error_ = os_error_text(errno);
}

OpenFile::~OpenFile() {
  if (fd_ >= 0) ::close(fd_);
}

FileRead OpenFile::read_rest() const {
  FileRead result;
  if (fd_ < 0) {
    result.error = error_;
    return result;
  }
  int error = 0;
  if (!read_all(fd_, result.bytes, error)) {
    result.bytes.clear();
    result.error = os_error_text(error);
  }
  return result;
}

FileRead read_file(std::string_view path) {
  return OpenFile(path).read_rest();
}

std::string file_name_of(std::string_view path) {
  std::string_view last;
  std::size_t pos = 0;
  while (pos <= path.size()) {
    std::size_t slash = path.find('/', pos);
    if (slash == std::string_view::npos) slash = path.size();
    std::string_view component = path.substr(pos, slash - pos);
    // Empty components (repeated or trailing separators) and "." do not count.
    if (!component.empty() && component != ".") last = component;
    pos = slash + 1;
  }
  if (last.empty() || last == ".." || !is_utf8(last)) return "unknown.obs";
  return std::string(last);
}

}  // namespace qcn::rinex
