// Whole-file reading by path, with the operating system's error text.
#pragma once

#include <string>
#include <string_view>

namespace qcn::rinex {

/// The bytes of a file, or the reason it could not be read.
struct FileRead {
  std::string bytes;
  std::string error;  // empty on success, else such as "No such file or directory (os error 2)"
  bool ok() const { return error.empty(); }
};

/// A file opened for reading, closed with the object.
class OpenFile {
 public:
  /// Opens path; on failure descriptor() is negative and error() tells why. A path with a NUL
  /// byte is refused.
  explicit OpenFile(std::string_view path);
  ~OpenFile();
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  int descriptor() const { return fd_; }
  const std::string& error() const { return error_; }

  /// Reads from the current position to the end. A pipe is read once: it must not be opened again.
  [[nodiscard]] FileRead read_rest() const;

 private:
  int fd_ = -1;
  std::string error_;
};

/// Reads the whole file at path; a path with a NUL byte is refused.
[[nodiscard]] FileRead read_file(std::string_view path);

/// The last component of a path ("site0010.24o" of "/data/site0010.24o/"), or "unknown.obs" when
/// there is no normal last component (a root, "." or "..") or it is not valid UTF-8.
std::string file_name_of(std::string_view path);

}  // namespace qcn::rinex
