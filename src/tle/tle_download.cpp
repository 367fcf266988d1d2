// TLE download: curl started directly (no shell) per source, its standard output captured.
#include "tle/tle_download.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace qcn::tle {
namespace {

// The provider's hosts: the primary one and the older one that still serves the element file.
constexpr std::string_view kPrimaryHost = "celestrak.org";
constexpr std::string_view kOlderHost = "celestrak.com";
constexpr std::string_view kGroupQueryPath = "/NORAD/elements/gp.php?GROUP=gnss&FORMAT=tle";
constexpr std::string_view kElementFilePath = "/NORAD/elements/gnss.txt";

std::string https(std::string_view host, std::string_view path) {
  std::string url = "https://";
  url += host;
  url += path;
  return url;
}

bool is_executable_file(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The first executable "curl" in the directories of a PATH value; an empty entry is the current
// directory.
std::optional<std::string> find_curl(std::string_view search_path) {
  std::size_t begin = 0;
  while (begin <= search_path.size()) {
    std::size_t end = search_path.find(':', begin);
    if (end == std::string_view::npos) end = search_path.size();
    std::string dir(search_path.substr(begin, end - begin));
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/curl";
    if (is_executable_file(candidate)) return candidate;
    begin = end + 1;
  }
  return std::nullopt;
}

// Closes a descriptor when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { reset(); }
  int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

class FileActions {
 public:
  FileActions() { ok_ = ::posix_spawn_file_actions_init(&actions_) == 0; }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
  ~FileActions() {
    if (ok_) ::posix_spawn_file_actions_destroy(&actions_);
  }
  bool ok() const { return ok_; }
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_{};
  bool ok_ = false;
};

// Runs curl on one address; its standard output when it exits with status 0.
std::optional<std::string> fetch(const std::string& curl, const std::string& url) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
  Fd read_end(fds[0]);
  Fd write_end(fds[1]);

  FileActions actions;
  if (!actions.ok()) return std::nullopt;
  if (::posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0) != 0 ||
      ::posix_spawn_file_actions_adddup2(actions.get(), write_end.get(), 1) != 0 ||
      ::posix_spawn_file_actions_addopen(actions.get(), 2, "/dev/null", O_WRONLY, 0) != 0) {
    return std::nullopt;
  }

  std::string arg0 = "curl";
  std::string silent = "-sL";
  std::string timeout_flag = "--connect-timeout";
  std::string timeout_s = "10";
  std::string address = url;
  char* argv[] = {arg0.data(), silent.data(), timeout_flag.data(), timeout_s.data(), address.data(),
                  nullptr};
  pid_t pid = 0;
  if (::posix_spawn(&pid, curl.c_str(), actions.get(), nullptr, argv, environ) != 0) return std::nullopt;
  write_end.reset();

  std::string output;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(read_end.get(), buffer, sizeof buffer);
    if (n > 0) {
      output.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  read_end.reset();

  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return std::nullopt;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return output;
}

bool looks_like_tle(std::string_view text) {
  return text.find("1 ") != std::string_view::npos && text.find("2 ") != std::string_view::npos;
}

}  // namespace

std::array<std::string, 3> tle_sources() {
  return {https(kPrimaryHost, kGroupQueryPath), https(kPrimaryHost, kElementFilePath),
          https(kOlderHost, kElementFilePath)};
}

bool is_valid_utf8(std::string_view bytes) {
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  while (i < n) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      if (c == 0xE0) low = 0xA0;   // overlong
      if (c == 0xED) high = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      if (c == 0xF0) low = 0x90;   // overlong
      if (c == 0xF4) high = 0x8F;  // past U+10FFFF
    } else {
      return false;
    }
    if (n - i < length) return false;
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    if (second < low || second > high) return false;
    for (std::size_t k = 2; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if (next < 0x80 || next > 0xBF) return false;
    }
    i += length;
  }
  return true;
}

std::optional<std::string> download_tle(std::string_view search_path) {
  const std::optional<std::string> curl = find_curl(search_path);
  if (!curl) return std::nullopt;
  for (const std::string& url : tle_sources()) {
    std::optional<std::string> text = fetch(*curl, url);
    if (text && is_valid_utf8(*text) && looks_like_tle(*text)) return text;
  }
  return std::nullopt;
}

std::optional<std::string> download_tle() {
  const char* path = std::getenv("PATH");
  return download_tle(path ? std::string_view(path) : std::string_view("/usr/bin:/bin"));
}

}  // namespace qcn::tle
