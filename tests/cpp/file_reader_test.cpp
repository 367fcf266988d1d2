// Reading files by path, the file name of a path, and whole real observation files checked
// against an independent scan of their text.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "obs_text.hpp"
#include "archive_support.hpp"
#include "rinex/file_reader.hpp"
#include "rinex/plain_input.hpp"
#include "rinex/obs_parser.hpp"

namespace {

namespace fs = std::filesystem;
using qcn::rinex::file_name_of;
using qcn::rinex::parse_observations;
using qcn::rinex::read_file;
using qcn::rinex::RinexObsData;

TEST(FileNameTest, TakesTheLastNormalComponent) {
  struct Case {
    std::string_view path, name;
  };
  static constexpr Case kCases[] = {
      {"/data/site0010.24o", "site0010.24o"},
      {"/data/site0010.24o/", "site0010.24o"},
      {"/data/site0010.24o//", "site0010.24o"},
      {"site0010.24o", "site0010.24o"},
      {"a//b", "b"},
      {"a/./b", "b"},
      {"/data/.", "data"},
      {"../x.obs", "x.obs"},
      {"/data/../site", "site"},
      {"...", "..."},
      {"..", "unknown.obs"},
      {"/data/..", "unknown.obs"},
      {"x/../", "unknown.obs"},
      {"/", "unknown.obs"},
      {".", "unknown.obs"},
      {"", "unknown.obs"},
      // A name that is not UTF-8 cannot become a marker name.
      {"/data/s\xe9te.obs", "unknown.obs"},
      {"/data/s\xc3\xa9te.obs", "s\xc3\xa9te.obs"},
      {"/data/\xed\xa0\x80.obs", "unknown.obs"},
      {"/data/\xf0\x9f\x9b\xb0.obs", "\xf0\x9f\x9b\xb0.obs"},
      {"/data/\xc3", "unknown.obs"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(file_name_of(c.path), c.name);
  }
}

class FileReaderTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string name = "qcn_file_reader_";
    name += std::to_string(::getpid());
    dir_ = fs::temp_directory_path() / name;
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string write(const std::string& name, const std::string& bytes) {
    fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }

  fs::path dir_;
};

TEST_F(FileReaderTest, ReadsEveryByte) {
  std::string bytes;
  for (int i = 0; i < 300000; ++i) bytes += static_cast<char>(i * 7 % 256);  // NUL, CR and high bytes
  auto file = read_file(write("big.bin", bytes));
  ASSERT_TRUE(file.ok()) << file.error;
  EXPECT_EQ(file.bytes, bytes);
  auto empty = read_file(write("empty", ""));
  ASSERT_TRUE(empty.ok());
  EXPECT_TRUE(empty.bytes.empty());
}

TEST_F(FileReaderTest, ReadsFilesWithoutAKnownSize) {
  // Files of /proc report size 0 but have content.
  auto file = read_file("/proc/self/status");
  ASSERT_TRUE(file.ok()) << file.error;
  EXPECT_NE(file.bytes.find("Name:"), std::string::npos);
}

TEST_F(FileReaderTest, ReadsPipesPastTheFirstGuess) {
  // A FIFO has no size: the reader starts from its own guess and must grow past it, keeping
  // the bytes its end-of-file probe already took.
  const fs::path fifo = dir_ / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string bytes;
  for (int i = 0; i < 200000; ++i) bytes += static_cast<char>('a' + i % 23);
  std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << bytes; });
  auto file = read_file(fifo.string());
  writer.join();
  ASSERT_TRUE(file.ok()) << file.error;
  EXPECT_EQ(file.bytes, bytes);
}

// A pipe gives its data to one opening only: the input must be opened once, whether plain or
// compressed, or it waits for a writer that has already gone. Should it wait, the writer opens
// the pipe once more, without writing, so the test fails instead of hanging.
TEST_F(FileReaderTest, PlainInputOpensAPipeOnce) {
  const std::string rinex = "     3.04           OBSERVATION DATA    M                   RINEX VERSION / TYPE\n";
  for (const std::string& content : {rinex, qcn::test::gzip_bytes(rinex)}) {
    const fs::path fifo = dir_ / "input.pipe";
    fs::remove(fifo);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<bool> done{false};
    std::thread writer([&] {
      std::ofstream(fifo, std::ios::binary) << content;
      for (int wait = 0; wait < 300 && !done; ++wait) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (!done) std::ofstream(fifo, std::ios::binary).close();
    });
    qcn::rinex::PlainInput input = qcn::rinex::read_plain_input(fifo.string(), 1 << 20);
    done = true;
    writer.join();
    ASSERT_TRUE(input.ok()) << input.error;
    EXPECT_EQ(input.bytes(), rinex);
  }
}

TEST_F(FileReaderTest, PlainInputOfPlainAndCompressedFiles) {
  const std::string rinex = "     3.04           OBSERVATION DATA    M                   RINEX VERSION / TYPE\n";
  qcn::rinex::PlainInput plain = qcn::rinex::read_plain_input(write("site.rnx", rinex), 1 << 20);
  ASSERT_TRUE(plain.ok());
  EXPECT_EQ(plain.unpacked.layers, 0);  // the bytes as read, not a decoded copy
  EXPECT_EQ(plain.bytes(), rinex);
  EXPECT_EQ(plain.unpacked.name, "site.rnx");

  qcn::rinex::PlainInput packed = qcn::rinex::read_plain_input(write("site.rnx.gz", qcn::test::gzip_bytes(rinex)), 1 << 20);
  ASSERT_TRUE(packed.ok());
  EXPECT_EQ(packed.unpacked.layers, 1);
  EXPECT_EQ(packed.bytes(), rinex);
  EXPECT_EQ(packed.unpacked.name, "site.rnx");
  EXPECT_TRUE(packed.file_bytes.empty());

  qcn::rinex::PlainInput missing = qcn::rinex::read_plain_input((dir_ / "none.gz").string(), 1 << 20);
  EXPECT_EQ(missing.failure, qcn::rinex::PlainInput::Failure::unreadable);
  EXPECT_EQ(missing.error, "No such file or directory (os error 2)");

  qcn::rinex::PlainInput cut = qcn::rinex::read_plain_input(write("cut.gz", qcn::test::gzip_bytes(rinex).substr(0, 20)), 1 << 20);
  EXPECT_EQ(cut.failure, qcn::rinex::PlainInput::Failure::undecodable);
  EXPECT_EQ(cut.error, "Corrupt gzip data: unexpected end of stream");
}

TEST_F(FileReaderTest, ReportsTheSystemErrorWithItsNumber) {
  auto missing = read_file((dir_ / "missing.obs").string());
  EXPECT_FALSE(missing.ok());
  EXPECT_EQ(missing.error, "No such file or directory (os error 2)");
  EXPECT_TRUE(missing.bytes.empty());
  auto directory = read_file(dir_.string());
  EXPECT_EQ(directory.error, "Is a directory (os error 21)");
  auto below_file = read_file(write("plain", "x") + "/inner");
  EXPECT_EQ(below_file.error, "Not a directory (os error 20)");
  using namespace std::string_view_literals;
  auto with_nul = read_file("/tmp/a\0b"sv);
  EXPECT_EQ(with_nul.error, "file name contained an unexpected NUL byte");
}

// ---------------------------------------------------------------- real files

std::string shared_obs(const std::string& name) { return std::string(QCN_SHARED_DATA_DIR) + "/obs/" + name; }

// The whole file, decompressed by gzip when its name ends in .gz; empty when unavailable.
std::string load(const std::string& name) {
  std::string path = shared_obs(name);
  if (!fs::exists(path)) return {};
  if (!path.ends_with(".gz")) return read_file(path).bytes;
  std::string command = "gzip -dc '";
  command += path;
  command += "'";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return {};
  std::string bytes;
  char buffer[1 << 16];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) bytes.append(buffer, n);
  return ::pclose(pipe) == 0 ? bytes : std::string();
}

struct Scan {
  std::size_t epochs = 0;
  std::set<std::string> satellites;
};

std::vector<std::string> records_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t end = text.find("END OF HEADER");
  std::size_t pos = text.find('\n', end) + 1;
  while (pos < text.size()) {
    std::size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(pos, nl - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    pos = nl + 1;
  }
  return lines;
}

// Whether a line begins with the layout of a template: '9' a digit, 'd' a digit or blank,
// 'f' an epoch flag of 0 or 1, anything else itself.
bool fits(const std::string& line, std::string_view layout) {
  if (line.size() < layout.size()) return false;
  for (std::size_t i = 0; i < layout.size(); ++i) {
    char c = line[i];
    bool digit = c >= '0' && c <= '9';
    switch (layout[i]) {
      case '9': if (!digit) return false; break;
      case 'd': if (!digit && c != ' ') return false; break;
      case 'f': if (c != '0' && c != '1') return false; break;
      default: if (c != layout[i]) return false;
    }
  }
  return true;
}

// Version 2: epoch lines matched by their whole layout, satellites from their lists.
Scan scan_v2(const std::string& text) {
  Scan scan;
  std::vector<std::string> lines = records_of(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (!fits(line, " 99 d9 d9 d9 d9 d9.9999999  fdd9")) continue;
    int count = std::stoi(line.substr(29, 3));
    std::string list = line.substr(32);
    for (int more = count - 12; more > 0; more -= 12) list += lines[++i].substr(32);
    ++scan.epochs;
    for (int k = 0; k < count; ++k) scan.satellites.insert(list.substr(3 * static_cast<std::size_t>(k), 3));
  }
  return scan;
}

// Version 3: '>' lines of flag 0 or 1; satellites are the first three columns of the other lines.
Scan scan_v3(const std::string& text) {
  Scan scan;
  for (const std::string& line : records_of(text)) {
    if (!line.empty() && line[0] == '>') {
      if (fits(line, "> 9999 99 99 99 99 d9.9999999  f") && std::stoi(line.substr(32)) > 0) ++scan.epochs;
    } else if (line.size() > 3) {
      scan.satellites.insert(line.substr(0, 3));
    }
  }
  return scan;
}

RinexObsData parse_file(const std::string& text, const std::string& name) {
  auto parse = parse_observations(text, name);
  EXPECT_EQ(parse.error, qcn::rinex::ParseError::none);
  return std::move(parse.data);
}

std::set<std::string> satellites_in(const RinexObsData& data) {
  std::set<std::string> ids;
  for (const auto& s : data.satellites) ids.emplace(s.satellite.view());
  return ids;
}

#define LOAD_OR_SKIP(var, name)                                      \
  const std::string var = load(name);                                \
  if (var.empty()) GTEST_SKIP() << "shared data file missing: " << name

TEST(ObsFilesTest, VersionTwoDailyFile) {
  LOAD_OR_SKIP(text, "cn000010.21o");
  auto data = parse_file(text, "cn000010.21o");
  Scan scan = scan_v2(text);
  // A day at 30 s gives 2880 epochs.
  EXPECT_EQ(scan.epochs, 2880u);
  EXPECT_EQ(data.epochs.size(), 2880u);
  EXPECT_EQ(scan.satellites.size(), 31u);
  EXPECT_EQ(qcn::rinex::unique_satellite_count(data), 31u);
  EXPECT_EQ(satellites_in(data), scan.satellites);
  EXPECT_EQ(data.version, 2.11);
  EXPECT_EQ(data.marker_name, "CN00");
  EXPECT_EQ(data.receiver_type, "TRIMBLE NETR9");
  EXPECT_EQ(data.antenna_type, "TRM59800.00     SCIT");
  EXPECT_EQ(data.interval, 30.0);
  ASSERT_TRUE(data.approx_position.has_value());
  EXPECT_EQ(data.approx_position->y_m, -5356829.4800);
  ASSERT_NE(data.obs_types.find("C"), nullptr);
  EXPECT_EQ(*data.obs_types.find("C"), (std::vector<std::string>{"L1C", "L2C", "C1C", "C2P", "C1P", "S1C", "S2C"}));
  qcn::rinex::EpochTime first = data.epochs.front().time, last = data.epochs.back().time;
  EXPECT_EQ(qcn::rinex::timestamp_text(first), "2021-01-01T00:00:00.000Z");
  EXPECT_EQ(qcn::rinex::timestamp_text(last), "2021-01-01T23:59:30.000Z");
  // The first satellite of the file, read off its two lines.
  const auto& e0 = data.epochs.front();
  EXPECT_EQ(qcn::test::find_obs(data, e0, "G07", "L1C")->value, 112835681.821);
  EXPECT_EQ(qcn::test::find_obs(data, e0, "G07", "C2P")->value, 21471908.855);
  EXPECT_EQ(qcn::test::find_obs(data, e0, "G07", "C1P"), nullptr);
  EXPECT_EQ(qcn::test::find_obs(data, e0, "G07", "S1C")->value, 50.1);
  EXPECT_EQ(qcn::test::find_obs(data, e0, "G07", "S2C")->value, 40.3);
}

TEST(ObsFilesTest, VersionTwoWithEventFlagsAndCrLf) {
  LOAD_OR_SKIP(text, "14601736.18o");
  ASSERT_NE(text.find("\r\n"), std::string::npos);
  auto data = parse_file(text, "14601736.18o");
  Scan scan = scan_v2(text);
  // 06:17:30 to 06:18:00 at 15 s; the event records between them are no epochs.
  EXPECT_EQ(scan.epochs, 3u);
  ASSERT_EQ(data.epochs.size(), 3u);
  EXPECT_EQ(satellites_in(data), scan.satellites);
  EXPECT_EQ(scan.satellites.size(), 13u);  // the header's # OF SATELLITES
  EXPECT_EQ(qcn::rinex::timestamp_text(data.epochs[1].time), "2018-06-22T06:17:45.000Z");
  EXPECT_EQ(data.epochs[1].satellite_count, 13u);
  // R11 continues the satellite list of the second epoch; its lines follow those of R10.
  EXPECT_EQ(qcn::test::find_obs(data, data.epochs[1], "R11", "C1C")->value, 22702489.289);
  EXPECT_EQ(qcn::test::find_obs(data, data.epochs[1], "R11", "L2C")->value, 94356278.295);
  EXPECT_EQ(data.marker_name, "st");
  // Removing every CR changes nothing.
  std::string lf;
  for (char c : text) {
    if (c != '\r') lf += c;
  }
  EXPECT_EQ(qcn::test::dump_epochs(parse_file(lf, "x")), qcn::test::dump_epochs(data));
}

TEST(ObsFilesTest, VersionThreeFiles) {
  struct Case {
    const char* name;
    std::size_t epochs;  // 0: from the scan only
  };
  static constexpr Case kCases[] = {
      {"NMBUS_SAMSUNG_S20.20o", 0},
      {"CEDA00USA_R_20182100000_23H_15S_MO.rnx.gz", 0},
      {"ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz", 2880},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string text = load(c.name);
    if (text.empty()) {
      ADD_FAILURE() << "cannot read " << c.name;
      continue;
    }
    auto data = parse_file(text, c.name);
    Scan scan = scan_v3(text);
    EXPECT_GE(data.version, 3.0);
    EXPECT_EQ(data.epochs.size(), scan.epochs);
    if (c.epochs != 0) {
      EXPECT_EQ(data.epochs.size(), c.epochs);
    }
    EXPECT_EQ(satellites_in(data), scan.satellites);
    EXPECT_EQ(qcn::rinex::unique_satellite_count(data), scan.satellites.size());
    std::size_t grouped = 0;
    for (const auto& [system, ids] : qcn::rinex::satellites_by_system(data)) {
      for (const std::string& id : ids) EXPECT_EQ(id.substr(0, 1), system);
      grouped += ids.size();
    }
    EXPECT_EQ(grouped, scan.satellites.size());
  }
}

TEST(ObsFilesTest, GlonassSlotsOfARealHeader) {
  LOAD_OR_SKIP(text, "NMBUS_SAMSUNG_S20.20o");
  auto data = parse_file(text, "x");
  EXPECT_EQ(data.glonass_slots.size(), 22u);
  ASSERT_NE(data.glonass_slots.find("2"), nullptr);
  EXPECT_EQ(*data.glonass_slots.find("2"), -4);
  ASSERT_NE(data.glonass_slots.find("24"), nullptr);
  EXPECT_EQ(*data.glonass_slots.find("24"), 2);
  // The marker name is blank in the header: the file name stands in.
  EXPECT_EQ(data.marker_name, "x");
  // The later of two APPROX POSITION lines wins.
  ASSERT_TRUE(data.approx_position.has_value());
  EXPECT_EQ(data.approx_position->x_m, 3149785.9652);
}

void expect_same(const RinexObsData& a, const RinexObsData& b) {
  EXPECT_EQ(a.version, b.version);
  EXPECT_EQ(a.marker_name, b.marker_name);
  EXPECT_EQ(a.receiver_type, b.receiver_type);
  EXPECT_EQ(a.antenna_type, b.antenna_type);
  EXPECT_EQ(a.approx_position.has_value(), b.approx_position.has_value());
  EXPECT_EQ(a.interval, b.interval);
  EXPECT_TRUE(a.obs_types == b.obs_types);
  EXPECT_TRUE(a.glonass_slots == b.glonass_slots);
  EXPECT_EQ(a.obs_codes, b.obs_codes);
  EXPECT_EQ(a.epochs.size(), b.epochs.size());
  EXPECT_EQ(a.satellites.size(), b.satellites.size());
  EXPECT_EQ(a.observations.size(), b.observations.size());
  EXPECT_TRUE(qcn::test::dump_epochs(a) == qcn::test::dump_epochs(b));
}

TEST(ObsFilesTest, ParsingIsDeterministic) {
  for (const char* name : {"NMBUS_SAMSUNG_S20.20o", "cn000010.21o", "14601736.18o"}) {
    SCOPED_TRACE(name);
    std::string text = load(name);
    if (text.empty()) GTEST_SKIP() << "shared data file missing: " << name;
    expect_same(parse_file(text, name), parse_file(text, name));
  }
}

}  // namespace
