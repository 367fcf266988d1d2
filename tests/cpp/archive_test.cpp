// Compressed input as a whole: recognition by content, plain file names, every layer of the real
// samples decoded to their plain text, nesting, the output limit, and cut or damaged data.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/format_detect.hpp"
#include "archive/unpack.hpp"
#include "archive_support.hpp"

namespace {

using qcn::archive::DecodeFailure;
using qcn::archive::FailureKind;
using qcn::archive::Format;
using qcn::archive::kDefaultOutputLimit;
using qcn::archive::Unpacked;
using qcn::archive::unpack;
using qcn::test::bzip2_bytes;
using qcn::test::gzip_bytes;
using qcn::test::read_archive_file;
using qcn::test::without_cr;

std::string crinex_first_line() {
  return std::string("3.0                 COMPACT RINEX FORMAT                    CRINEX VERS   / TYPE\n");
}

TEST(FormatDetectTest, TellsFormatsByTheirFirstBytes) {
  struct Case {
    std::string bytes;
    Format format;
  };
  const Case cases[] = {
      {std::string("\x1f\x8b\x08\x00", 4), Format::gzip},
      {std::string("\x1f\x9d\x90", 3), Format::compress},
      {std::string("BZh91AY&SY"), Format::bzip2},
      {std::string("BZh9\x17\x72\x45\x38\x50\x90", 10), Format::bzip2},  // an empty stream
      {std::string("BZh9 not bzip2"), Format::plain},
      {std::string("BZh0" "1AY&SY"), Format::plain},
      {std::string("PK\x03\x04", 4), Format::zip},
      {std::string("PK\x05\x06", 4), Format::zip},
      {std::string("PK\x01\x02", 4), Format::plain},
      {crinex_first_line(), Format::crinex},
      {"     3.05           OBSERVATION DATA    M                   RINEX VERSION / TYPE\n", Format::plain},
      {"CRINEX VERS   / TYPE at the start of the line", Format::plain},
      {std::string("\x1f"), Format::plain},
      {"", Format::plain},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(qcn::archive::detect_format(c.bytes), c.format);
  }
}

TEST(PlainNameTest, EachLayerTakesOffItsSuffix) {
  struct Case {
    const char* name;
    Format format;
    const char* plain;
  };
  const Case cases[] = {
      {"site.rnx.gz", Format::gzip, "site.rnx"},
      {"SITE.RNX.GZ", Format::gzip, "SITE.RNX"},
      {"site.rnx", Format::gzip, "site.rnx"},
      {".gz", Format::gzip, ".gz"},
      {"brdc0010.21n.Z", Format::compress, "brdc0010.21n"},
      {"site.rnx.bz2", Format::bzip2, "site.rnx"},
      {"site.rnx.bz", Format::bzip2, "site.rnx"},
      {"site.zip", Format::zip, "site"},
      {"ESBC00DNK_R_20201770000_01D_30S_MO.crx", Format::crinex, "ESBC00DNK_R_20201770000_01D_30S_MO.rnx"},
      {"SITE.CRX", Format::crinex, "SITE.RNX"},
      {"york0440.15d", Format::crinex, "york0440.15o"},
      {"YORK0440.15D", Format::crinex, "YORK0440.15O"},
      {"york0440.1xd", Format::crinex, "york0440.1xd"},
      {"compact.txt", Format::crinex, "compact.txt"},
      {"", Format::gzip, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(qcn::archive::plain_name(c.name, c.format), c.plain);
  }
}

TEST(UnpackTest, PlainInputIsLeftAsItIs) {
  Unpacked unpacked = unpack(std::string_view("     2.11           OBSERVATION DATA"), "site.21o.gz", kDefaultOutputLimit);
  EXPECT_TRUE(unpacked.ok());
  EXPECT_EQ(unpacked.layers, 0);
  EXPECT_EQ(unpacked.bytes.size(), 0u);
  EXPECT_EQ(unpacked.name, "site.21o.gz");
}

TEST(UnpackTest, RealSamplesGiveTheirPlainTextInEveryFormat) {
  const std::string rinex = read_archive_file("sample.rnx");
  struct Case {
    const char* file;
    int layers;
    const char* name;
  };
  const Case cases[] = {
      {"sample.rnx.gz", 1, "sample.rnx"},  {"sample.rnx.Z", 1, "sample.rnx"},  {"sample.rnx.bz2", 1, "sample.rnx"},
      {"sample.rnx.zip", 1, "sample.rnx"}, {"sample.crx", 1, "sample.rnx"},    {"sample.crx.gz", 2, "sample.rnx"},
      {"sample.crx.Z", 2, "sample.rnx"},   {"sample.crx.bz2", 2, "sample.rnx"}, {"sample.crx.zip", 2, "sample.rnx"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Unpacked unpacked = unpack(read_archive_file(c.file), c.file, kDefaultOutputLimit);
    ASSERT_TRUE(unpacked.ok()) << unpacked.failure.problem;
    EXPECT_EQ(unpacked.layers, c.layers);
    EXPECT_EQ(unpacked.name, c.name);
    // The archives of the plain file hold it with CR LF line ends; compact RINEX decodes with LF.
    EXPECT_EQ(without_cr(unpacked.bytes.view()), rinex);
  }
}

TEST(UnpackTest, CompactRinexDecodesAsTheFormatsOwnTool) {
  struct Case {
    const char* file;
    const char* expected;
  };
  const Case cases[] = {
      {"york_head.15d", "york_head.15o"},
      {"esbc_head.crx", "esbc_head.rnx"},
      {"14601736.18d", "14601736.18o"},
      {"KOSG0010.95D", "KOSG0010.95O"},
      {"DUTH0630.22D", "DUTH0630.22O"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Unpacked unpacked = unpack(read_archive_file(c.file), c.file, kDefaultOutputLimit);
    ASSERT_TRUE(unpacked.ok()) << unpacked.failure.problem;
    EXPECT_EQ(unpacked.name, c.expected);
    EXPECT_TRUE(unpacked.bytes.view() == read_archive_file(c.expected));
  }
}

TEST(UnpackTest, UnixCompressWithWideningAndClearCodes) {
  for (const char* plain : {"esbc_head.rnx", "york_head.15o"}) {
    SCOPED_TRACE(plain);
    Unpacked unpacked = unpack(read_archive_file(std::string(plain) + ".Z"), "x.Z", kDefaultOutputLimit);
    ASSERT_TRUE(unpacked.ok()) << unpacked.failure.problem;
    EXPECT_TRUE(unpacked.bytes.view() == read_archive_file(plain));
  }
}

TEST(UnpackTest, LayersNestInAnyOrder) {
  const std::string crinex = read_archive_file("sample.crx");
  qcn::test::ZipWriter zip;
  zip.add({"data/site0640.10d", gzip_bytes(crinex)});
  Unpacked unpacked = unpack(bzip2_bytes(zip.finish()), "archive.zip.bz2", kDefaultOutputLimit);
  ASSERT_TRUE(unpacked.ok()) << unpacked.failure.problem;
  EXPECT_EQ(unpacked.layers, 4);
  // The zip member's own name replaces the archive's; its folder goes.
  EXPECT_EQ(unpacked.name, "site0640.10o");
  EXPECT_EQ(unpacked.bytes.view(), read_archive_file("sample.rnx"));
}

TEST(UnpackTest, NestingDeeperThanEightLayersFails) {
  std::string data = "plain text";
  for (int layer = 1; layer <= 9; ++layer) {
    data = gzip_bytes(data);
    Unpacked unpacked = unpack(std::string_view(data), "x", kDefaultOutputLimit);
    SCOPED_TRACE(layer);
    if (layer <= qcn::archive::kMaxLayers) {
      EXPECT_TRUE(unpacked.ok());
      EXPECT_EQ(unpacked.bytes.view(), "plain text");
    } else {
      EXPECT_EQ(unpacked.failure.kind, FailureKind::unsupported);
      EXPECT_EQ(unpacked.bytes.size(), 0u);
    }
  }
}

TEST(UnpackTest, OutputOverTheLimitFailsInTheLayerThatWouldWriteIt) {
  struct Case {
    const char* file;
    std::uint64_t limit;
    Format format;
  };
  // The compact RINEX sample is 1346 bytes and decodes to 1228.
  const Case cases[] = {
      {"sample.crx.gz", 1000, Format::gzip},   {"sample.crx.Z", 1000, Format::compress},
      {"sample.crx.bz2", 1000, Format::bzip2}, {"sample.crx.zip", 1000, Format::zip},
      {"sample.crx.gz", 1345, Format::gzip},   {"sample.crx", 1227, Format::crinex},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + std::to_string(c.limit));
    Unpacked unpacked = unpack(read_archive_file(c.file), c.file, c.limit);
    EXPECT_EQ(unpacked.failure.kind, FailureKind::too_large);
    EXPECT_EQ(unpacked.failure.format, c.format);
    EXPECT_EQ(unpacked.bytes.size(), 0u);
  }
  EXPECT_TRUE(unpack(read_archive_file("sample.crx.gz"), "x", 1346).ok());
}

TEST(UnpackTest, FailureTextsNameFormatAndProblem) {
  struct Case {
    DecodeFailure failure;
    const char* text;
  };
  const Case cases[] = {
      {{FailureKind::corrupt, Format::gzip, "unexpected end of stream"}, "Corrupt gzip data: unexpected end of stream"},
      {{FailureKind::corrupt, Format::crinex, "x at line 3"}, "Corrupt compact RINEX: x at line 3"},
      {{FailureKind::unsupported, Format::zip, "member a is encrypted"}, "Unsupported zip archive: member a is encrypted"},
      {{FailureKind::too_large, Format::bzip2, ""}, "Decompressed bzip2 data exceed the limit of 1000 bytes"},
  };
  for (const Case& c : cases) EXPECT_EQ(qcn::archive::failure_text(c.failure, 1000), c.text);
}

TEST(UnpackTest, OwnedInputIsFreedOnceDecoded) {
  std::string input = read_archive_file("sample.crx.gz");
  Unpacked unpacked = unpack(std::move(input), "x", kDefaultOutputLimit);
  EXPECT_TRUE(unpacked.ok());
  EXPECT_LT(input.capacity(), 100u);  // NOLINT(bugprone-use-after-move): released on purpose
}

bool starts(std::string_view text, std::string_view start) { return text.substr(0, start.size()) == start; }

// What every cut of a real sample must give: a failure naming the problem, or (where the format
// cannot tell a cut, as Unix compress between codes and compact RINEX between epochs) the start
// of the full plain text, or of the compact RINEX inside, when too little of it is left to be
// recognised. Never anything else.
void check_every_cut(const std::string& file, std::size_t step, const std::string& inner = "") {
  const std::string whole = read_archive_file(file);
  Unpacked full = unpack(std::string_view(whole), file, kDefaultOutputLimit);
  ASSERT_TRUE(full.ok());
  for (std::size_t size = 2; size < whole.size(); size += step) {
    Unpacked cut = unpack(std::string_view(whole).substr(0, size), file, kDefaultOutputLimit);
    if (cut.layers == 0 && cut.ok()) continue;  // too short to be recognised: plain
    if (cut.ok()) {
      EXPECT_TRUE(starts(full.bytes.view(), cut.bytes.view()) || (cut.layers == 1 && starts(inner, cut.bytes.view())))
          << file << " cut to " << size;
    } else {
      EXPECT_NE(cut.failure.kind, FailureKind::too_large) << file << " cut to " << size;
      EXPECT_FALSE(cut.failure.problem.empty()) << file << " cut to " << size;
    }
  }
}

TEST(RobustnessTest, EveryCutFailsOrGivesAStartOfThePlainText) {
  const std::string inner = read_archive_file("sample.crx");
  for (const char* file : {"sample.crx.gz", "sample.crx.bz2", "sample.crx.zip", "sample.crx.Z", "sample.crx",
                           "14601736.18d"}) {
    SCOPED_TRACE(file);
    check_every_cut(file, 1, inner);
  }
  check_every_cut("york_head.15d", 13);
  check_every_cut("esbc_head.rnx.Z", 17);
}

TEST(RobustnessTest, CutsOfChecksummedFormatsAlwaysFail) {
  for (const char* file : {"sample.rnx.gz", "sample.rnx.bz2", "sample.rnx.zip"}) {
    const std::string whole = read_archive_file(file);
    for (std::size_t size = 10; size < whole.size(); ++size) {
      Unpacked cut = unpack(std::string_view(whole).substr(0, size), file, kDefaultOutputLimit);
      EXPECT_EQ(cut.failure.kind, FailureKind::corrupt) << file << " cut to " << size;
    }
  }
  Unpacked cut = unpack(std::string_view(read_archive_file("sample.rnx.gz")).substr(0, 300), "x", kDefaultOutputLimit);
  EXPECT_EQ(cut.failure.problem, "unexpected end of stream");
}

// A damaged byte anywhere must never crash; where the format carries checksums (gzip, bzip2,
// zip), a damage it lets through must have left the content as it was.
TEST(RobustnessTest, DamagedBytesFailOrLeaveChecksummedContentIntact) {
  const std::string rinex = read_archive_file("sample.rnx");
  for (const char* file : {"sample.crx.gz", "sample.crx.bz2", "sample.crx.zip", "sample.crx.Z", "sample.crx"}) {
    const std::string whole = read_archive_file(file);
    const bool checked = std::string_view(file).find(".Z") == std::string_view::npos && std::string_view(file) != "sample.crx";
    for (std::size_t at = 0; at < whole.size(); ++at) {
      for (unsigned char flip : {0x01u, 0x80u, 0xffu}) {
        std::string damaged = whole;
        damaged[at] = static_cast<char>(static_cast<unsigned char>(damaged[at]) ^ flip);
        Unpacked unpacked = unpack(std::string_view(damaged), file, 1 << 20);
        if (checked && unpacked.ok() && unpacked.layers == 2) {
          EXPECT_EQ(unpacked.bytes.view(), rinex) << file << " damaged at " << at;
        }
      }
    }
  }
}

TEST(RobustnessTest, DecompressionBombsStopAtTheLimit) {
  const std::string zeros(std::size_t{8} << 20, '\0');
  for (const std::string& bomb : {gzip_bytes(zeros), bzip2_bytes(zeros)}) {
    ASSERT_LT(bomb.size(), zeros.size() / 500);
    Unpacked unpacked = unpack(std::string_view(bomb), "bomb", std::uint64_t{1} << 20);
    EXPECT_EQ(unpacked.failure.kind, FailureKind::too_large);
  }
}

}  // namespace
