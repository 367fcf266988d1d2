// TLE text: satellite identification, grouping and acceptance; download through a fake curl.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "tle/tle_download.hpp"
#include "tle/tle_parser.hpp"

namespace {

using qcn::tle::count_gnss_satellites;
using qcn::tle::identify_gnss_satellite;

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string identity(std::string_view name) {
  auto sat = identify_gnss_satellite(name);
  if (!sat) return "none";
  std::string text(1, sat->system);
  if (sat->number < 10) text += '0';
  return text + std::to_string(sat->number);
}

TEST(TleTest, IdentifiesSatellitesByName) {
  struct Case {
    const char* name;
    const char* expected;
  };
  const Case cases[] = {
      {"GPS BIIR-2  (PRN 13)", "G13"},
      {"gps biif-1 (prn 25)", "G25"},
      {"GPS BIII-1  (PRN 04)", "G04"},
      {"NAVSTAR 81 (USA 319) PRN:x7b", "G07"},
      {"NAVSTAR 13 (USA 35)", "none"},             // no PRN
      {"GPS (PRN 4294967296)", "none"},            // overflow
      {"GPS (PRN 4294967295)", "G4294967295"},
      {"GPS PRN", "none"},
      {"GPS GALILEO (E05)", "E05"},                // no PRN: falls through to Galileo
      {"COSMOS 2545 (756)", "none"},
      {"GLONASS (PRN 5) GPS", "G05"},              // GPS is tried first
      {"GSAT0101 (GALILEO-PFM)", "E101"},
      {"GALILEO 11 (E11)", "E11"},
      {"GSAT0203 (E26)", "E26"},
      {"GALILEO (E) GSAT0210", "E210"},            // no digit after "(E"
      {"GALILEO-FOC", "none"},
      {"BEIDOU-3 M1 (C19)", "none"},
      {"QZS-1 (QZSS/PRN 183)", "J01"},
      {"MICHIBIKI-2", "J02"},
      {"QZS", "none"},
      {"BEIDOU QZS-2", "none"},
      {"ISS (ZARYA)", "none"},
      {"", "none"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(identity(c.name), c.expected);
  }
}

const std::string kLine1 = "1 24876U 97035A   21033.28537850  .00000065  00000-0  00000-0 0  9999";
const std::string kLine2 = "2 24876  55.4664 175.1841 0047263  57.7256 302.7000  2.00562330172632";

std::string with_mean_motion(const std::string& motion) {
  std::string line = kLine2;
  line.replace(52, 11, motion);
  return line;
}

TEST(TleTest, CountsAcceptedGroups) {
  const std::string gps = "GPS BIIR-2  (PRN 13)";
  const std::string group = gps + "\n" + kLine1 + "\n" + kLine2 + "\n";
  struct Case {
    const char* name;
    std::string text;
    std::uint64_t expected;
  };
  const Case cases[] = {
      {"one group", group, 1},
      {"no final line feed", gps + "\n" + kLine1 + "\n" + kLine2, 1},
      {"CR LF and trailing blanks", gps + "  \r\n" + kLine1 + "   \r\n  " + kLine2 + " \t\r\n", 1},
      {"two element lines only", kLine1 + "\n" + kLine2 + "\n", 0},
      {"stray line shifts the grouping", "junk\n" + group + "junk\n" + group, 2},
      {"name lines are not element lines", group + group + "QZS-2\n" + kLine1 + "\n" + kLine2 + "\n", 3},
      {"GLONASS never", "COSMOS 2545 (756)\n" + kLine1 + "\n" + kLine2 + "\n", 0},
      {"mean motion zero", gps + "\n" + kLine1 + "\n" + with_mean_motion(" 0.00000000") + "\n", 0},
      {"mean motion blank", gps + "\n" + kLine1 + "\n" + with_mean_motion("           ") + "\n", 0},
      {"mean motion not a number", gps + "\n" + kLine1 + "\n" + with_mean_motion("  2.0056x33") + "\n", 0},
      {"empty", "", 0},
      // A group with a short element line is passed over whole: the next line never becomes a name.
      {"short element lines skip three",
       gps + "\n1 short\n2 short GPS (PRN 05)\n" + kLine1 + "\n" + kLine2 + "\n", 0},
      {"short second line", gps + "\n" + kLine1 + "\n" + kLine2.substr(0, 62) + "\n" + group, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(count_gnss_satellites(c.text), c.expected);
  }
}

TEST(TleTest, CountsRealGroupFiles) {
  // Counted by an independent script: 60 GPS, Galileo and QZSS sets; the 2012 file names its GPS
  // satellites without PRN and its GLONASS ones as COSMOS.
  EXPECT_EQ(count_gnss_satellites(read_file(QCN_SHARED_DATA_DIR "/tle/gnss.txt")), 60u);
  EXPECT_EQ(count_gnss_satellites(read_file(QCN_SHARED_DATA_DIR "/tle/tle_nav.txt")), 0u);
}

TEST(TleTest, SurvivesFuzzRegressionInputs) {
  const std::filesystem::path dir = QCN_TEST_DATA_DIR "/fuzz/tle";
  ASSERT_TRUE(std::filesystem::is_directory(dir));
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (!entry.is_regular_file() || entry.path().filename() == "README") continue;
    SCOPED_TRACE(entry.path().string());
    (void)count_gnss_satellites(read_file(entry.path()));
    ++files;
  }
  EXPECT_GT(files, 0u);
}

TEST(TleTest, ValidatesUtf8) {
  struct Case {
    const char* bytes;
    bool valid;
  };
  const Case cases[] = {
      {"plain", true},           {"\xC3\xA9t\xC3\xA9", true},   {"\xE2\x82\xAC", true},
      {"\xF0\x9F\x9B\xB0", true}, {"\xF4\x8F\xBF\xBF", true},   {"\xC0\x80", false},
      {"\xE0\x80\xAF", false},    {"\xED\xA0\x80", false},      {"\xF4\x90\x80\x80", false},
      {"\xC3", false},            {"\xE2\x82", false},          {"\x80", false},
      {"\xC3\x28", false},        {"\xF8\x88\x80\x80\x80", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(qcn::tle::is_valid_utf8(c.bytes), c.valid);
  }
}

// A directory with a fake curl: run n (from 1) exits with the n-th status and prints the n-th
// output, and leaves its arguments and standard input in files.
class FakeCurl {
 public:
  FakeCurl() {
    char pattern[] = "/tmp/qcn_fake_curl_XXXXXX";
    dir_ = ::mkdtemp(pattern);
  }
  ~FakeCurl() { std::filesystem::remove_all(dir_); }

  const std::string& dir() const { return dir_; }

  void install(const std::vector<int>& statuses, const std::vector<std::string>& outputs) {
    for (std::size_t i = 0; i < outputs.size(); ++i) write(dir_ + "/out" + std::to_string(i + 1), outputs[i]);
    std::string script = "#!/bin/sh\nd='" + dir_ + "'\n";
    script += "n=$(cat \"$d/count\" 2>/dev/null || echo 0)\nn=$((n + 1))\necho $n > \"$d/count\"\n";
    script += "printf '%s\\n' \"$@\" > \"$d/args$n\"\ncat > \"$d/stdin$n\"\n";
    script += "echo 'curl: (22) noise on standard error' >&2\n";
    script += "cat \"$d/out$n\" 2>/dev/null\n";
    script += "case $n in\n";
    for (std::size_t i = 0; i < statuses.size(); ++i) {
      script += std::to_string(i + 1) + ") exit " + std::to_string(statuses[i]) + ";;\n";
    }
    script += "esac\nexit 0\n";
    write(dir_ + "/curl", script);
    ::chmod((dir_ + "/curl").c_str(), 0755);
  }

  int runs() const {
    std::string count = read_file(dir_ + "/count");
    return count.empty() ? 0 : std::stoi(count);
  }
  void reset_runs() const { std::filesystem::remove(dir_ + "/count"); }
  std::string args(int run) const { return read_file(dir_ + "/args" + std::to_string(run)); }
  std::string standard_input(int run) const { return read_file(dir_ + "/stdin" + std::to_string(run)); }

 private:
  static void write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  std::string dir_;
};

const std::string kTle = "GPS BIIR-2  (PRN 13)\n" + kLine1 + "\n" + kLine2 + "\n";
const char* const kUrls[] = {"https://celestrak.org/NORAD/elements/gp.php?GROUP=gnss&FORMAT=tle",
                             "https://celestrak.org/NORAD/elements/gnss.txt",
                             "https://celestrak.com/NORAD/elements/gnss.txt"};

std::string expected_args(int source) {
  return std::string("-sL\n--connect-timeout\n10\n") + kUrls[source] + "\n";
}

TEST(TleDownloadTest, FirstSourceThatAnswersWins) {
  struct Case {
    const char* name;
    std::vector<int> statuses;
    std::vector<std::string> outputs;
    int expected_runs;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"first succeeds", {0}, {kTle}, 1, kTle},
      {"status 22 twice", {22, 22, 0}, {"<html>404</html>", "", kTle}, 3, kTle},
      {"no element lines anywhere", {0, 0, 0}, {"1 only", "1 and 1 ", "nothing"}, 3, std::nullopt},
      {"invalid UTF-8 rejected", {0, 0}, {"1 2 \xFF", "1 2 \xC3\xA9"}, 2, "1 2 \xC3\xA9"},
      {"killed by a signal", {0, 0}, {"", kTle}, 2, kTle},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeCurl fake;
    fake.install(c.statuses, c.outputs);
    if (std::string(c.name) == "killed by a signal") {
      // The first run kills itself after printing valid text.
      std::ofstream(fake.dir() + "/out1") << kTle;
      std::string script = read_file(fake.dir() + "/curl");
      script.replace(script.find("case $n in"), 10, "[ $n = 1 ] && kill -9 $$\ncase $n in");
      std::ofstream(fake.dir() + "/curl") << script;
    }
    // Nothing but the fake directory on the search path: the real curl is never reached.
    EXPECT_EQ(qcn::tle::download_tle(fake.dir()), c.expected);
    ASSERT_EQ(fake.runs(), c.expected_runs);
    for (int run = 1; run <= c.expected_runs; ++run) {
      SCOPED_TRACE(run);
      EXPECT_EQ(fake.args(run), expected_args(run - 1));
      EXPECT_EQ(fake.standard_input(run), "");
    }
  }
}

TEST(TleDownloadTest, FindsCurlOnTheSearchPath) {
  FakeCurl fake;
  fake.install({0}, {kTle});
  FakeCurl empty;
  // A directory without curl, a missing one and a non-executable curl come first.
  FakeCurl not_executable;
  std::ofstream(not_executable.dir() + "/curl") << "#!/bin/sh\nexit 0\n";
  const std::string path = empty.dir() + ":/nonexistent:" + not_executable.dir() + ":" + fake.dir();
  EXPECT_EQ(qcn::tle::download_tle(path), kTle);
  EXPECT_EQ(fake.runs(), 1);
  EXPECT_EQ(qcn::tle::download_tle(empty.dir() + ":/nonexistent"), std::nullopt);
  EXPECT_EQ(qcn::tle::download_tle(""), std::nullopt);  // the current directory, where no curl is

  // Without an explicit path, PATH is read at the time of the call.
  fake.reset_runs();
  const char* old = std::getenv("PATH");
  const std::string saved = old ? old : "";
  ::setenv("PATH", (fake.dir() + ":" + saved).c_str(), 1);
  auto text = qcn::tle::download_tle();
  ::setenv("PATH", saved.c_str(), 1);
  EXPECT_EQ(text, kTle);
  EXPECT_EQ(fake.runs(), 1);
}

}  // namespace
