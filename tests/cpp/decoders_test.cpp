// The container decoders one by one: gzip members and header fields, bzip2 streams, zip
// directories and members, and LZW codes built bit by bit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/bzip2_decoder.hpp"
#include "archive/gzip_decoder.hpp"
#include "archive/lzw_decoder.hpp"
#include "archive/zip_reader.hpp"
#include "archive_support.hpp"

namespace {

using qcn::archive::Decoded;
using qcn::archive::FailureKind;
using qcn::test::bzip2_bytes;
using qcn::test::deflate_bytes;
using qcn::test::gzip_bytes;
using qcn::test::ZipWriter;

constexpr std::uint64_t kLimit = std::uint64_t{1} << 30;
const std::string kRinexLine = "     3.04           OBSERVATION DATA    M                   RINEX VERSION / TYPE\n";

std::string text_of(const Decoded& decoded) { return std::string(decoded.bytes.view()); }

std::string le32(std::uint32_t value) {
  std::string out;
  for (int i = 0; i < 4; ++i) out += static_cast<char>(value >> (8 * i) & 0xff);
  return out;
}

// A gzip member with every optional header field: FEXTRA, FNAME, FCOMMENT and the header CRC.
std::string gzip_with_header_fields(const std::string& text) {
  std::string header("\x1f\x8b\x08\x1e\0\0\0\0\0\x03", 10);
  header += std::string("\x04\0ab\0\0", 6);  // FEXTRA: 4 bytes of subfields
  header += std::string("site.rnx\0", 9);     // FNAME
  header += std::string("a comment\0", 10);   // FCOMMENT
  std::uint32_t header_crc = libdeflate_crc32(0, header.data(), header.size());
  header += static_cast<char>(header_crc & 0xff);
  header += static_cast<char>(header_crc >> 8 & 0xff);
  return header + deflate_bytes(text, false) + le32(libdeflate_crc32(0, text.data(), text.size())) +
         le32(static_cast<std::uint32_t>(text.size()));
}

TEST(GzipTest, MembersInARowDecodeToTheirConcatenation) {
  const std::string big(300000, 'x');
  // The last member's ISIZE is the first guess of the output size; here it is far too small.
  Decoded decoded = qcn::archive::decode_gzip(gzip_bytes(big) + gzip_bytes("end\n") + gzip_bytes(""), kLimit);
  ASSERT_TRUE(decoded.ok()) << decoded.failure.problem;
  EXPECT_EQ(text_of(decoded), big + "end\n");
}

TEST(GzipTest, HeaderFieldsAndPaddingAreRead) {
  Decoded decoded = qcn::archive::decode_gzip(gzip_with_header_fields("data\n") + std::string(512, '\0'), kLimit);
  ASSERT_TRUE(decoded.ok()) << decoded.failure.problem;
  EXPECT_EQ(text_of(decoded), "data\n");
}

TEST(GzipTest, BrokenDataNameTheirProblem) {
  const std::string member = gzip_bytes("some text to compress, some text to compress\n");
  struct Case {
    std::string data;
    const char* problem;
  };
  std::string wrong_crc = member;
  wrong_crc[wrong_crc.size() - 8] ^= 1;
  std::string wrong_size = member;
  wrong_size[wrong_size.size() - 4] ^= 1;
  std::string wrong_method = member;
  wrong_method[2] = 7;
  std::string bad_block = member;
  bad_block[10] = static_cast<char>(0x07);  // BTYPE 3 does not exist
  const Case cases[] = {
      {member.substr(0, member.size() - 3), "unexpected end of stream"},
      {member.substr(0, 12), "unexpected end of stream"},
      {member.substr(0, 5), "unexpected end of stream"},
      {wrong_crc, "incorrect data check"},
      {wrong_size, "incorrect length check"},
      {wrong_method, "unknown compression method"},
      {bad_block, "invalid block type"},
      {member + "garbage", "unexpected bytes after the last member"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.problem);
    Decoded decoded = qcn::archive::decode_gzip(c.data, kLimit);
    EXPECT_EQ(decoded.failure.kind, FailureKind::corrupt);
    EXPECT_EQ(decoded.failure.problem, c.problem);
  }
}

TEST(Bzip2Test, StreamsInARowAndPadding) {
  Decoded decoded = qcn::archive::decode_bzip2(bzip2_bytes("first\n") + bzip2_bytes("second\n") + std::string(3, '\0'), kLimit);
  ASSERT_TRUE(decoded.ok()) << decoded.failure.problem;
  EXPECT_EQ(text_of(decoded), "first\nsecond\n");
}

TEST(Bzip2Test, BrokenDataNameTheirProblem) {
  const std::string stream = bzip2_bytes(std::string(5000, 'y') + "tail");
  std::string damaged = stream;
  damaged[20] ^= 0x10;
  struct Case {
    std::string data;
    const char* problem;
  };
  const Case cases[] = {
      {stream.substr(0, stream.size() - 2), "unexpected end of stream"},
      {damaged, "invalid compressed data or checksum"},
      {stream + "BZh9junk", "invalid compressed data or checksum"},
      {stream + "junk", "unexpected bytes after the last stream"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.problem);
    Decoded decoded = qcn::archive::decode_bzip2(c.data, kLimit);
    EXPECT_EQ(decoded.failure.kind, FailureKind::corrupt);
    EXPECT_EQ(decoded.failure.problem, c.problem);
  }
}

TEST(ZipTest, MembersReadInEveryWayZipToolsWriteThem) {
  const std::string rinex = kRinexLine + "rest of the file\n";
  struct Case {
    const char* what;
    ZipWriter::Member member;
  };
  const Case cases[] = {
      {"deflated", {"site.rnx", rinex, true}},
      {"stored", {"site.rnx", rinex, false}},
      {"with a data descriptor", {"site.rnx", rinex, true, true}},
      {"with zip64 sizes", {"site.rnx", rinex, true, false, true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ZipWriter zip;
    zip.add(c.member);
    qcn::archive::ZipMember member = qcn::archive::read_zip_member(zip.finish("an archive comment"), kLimit);
    ASSERT_TRUE(member.content.ok()) << member.content.failure.problem;
    EXPECT_EQ(text_of(member.content), rinex);
    EXPECT_EQ(member.name, "site.rnx");
  }
}

TEST(ZipTest, TheMemberHoldingTheDataIsChosen) {
  const std::string rinex = kRinexLine;
  struct Case {
    const char* what;
    std::vector<ZipWriter::Member> members;
    const char* chosen;  // empty: no member is
  };
  ZipWriter::Member readme{"README.txt", "about this archive\n"};
  ZipWriter::Member folder{"data/", "", false};
  ZipWriter::Member encrypted{"key.txt", "secret", false, false, false, 0, 1};
  ZipWriter::Member other_method{"notes.txt", "xz text", false, false, false, 14};
  const Case cases[] = {
      {"the only member, whatever it holds", {readme}, "README.txt"},
      {"RINEX after a read-me", {readme, {"a/site.rnx", rinex}, {"b.rnx", rinex}}, "a/site.rnx"},
      {"compact RINEX", {readme, {"site.crx", "3.0                 COMPACT RINEX FORMAT                    CRINEX VERS   / TYPE\n"}}, "site.crx"},
      {"compressed data", {readme, {"site.rnx.gz", gzip_bytes("anything")}}, "site.rnx.gz"},
      {"folders, encrypted and other methods passed over", {folder, encrypted, other_method, {"s.rnx", rinex}}, "s.rnx"},
      {"no member holds RINEX", {readme, {"b.txt", "more text"}}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ZipWriter zip;
    for (const ZipWriter::Member& member : c.members) zip.add(member);
    qcn::archive::ZipMember member = qcn::archive::read_zip_member(zip.finish(), kLimit);
    if (*c.chosen) {
      ASSERT_TRUE(member.content.ok()) << member.content.failure.problem;
      EXPECT_EQ(member.name, c.chosen);
    } else {
      EXPECT_EQ(member.content.failure.kind, FailureKind::unsupported);
      EXPECT_EQ(member.content.failure.problem, "none of its 2 members holds RINEX data");
    }
  }
}

TEST(ZipTest, ProblemsOfArchivesAndMembers) {
  auto single = [](ZipWriter::Member member) {
    ZipWriter zip;
    zip.add(member);
    return zip.finish();
  };
  std::string wrong_crc = single({"s.rnx", kRinexLine, false});
  wrong_crc[30 + 5 + 3] ^= 1;  // a byte of the stored content
  struct Case {
    std::string archive;
    FailureKind kind;
    const char* problem;
  };
  const std::string whole = single({"s.rnx", kRinexLine});
  // The directory entry (46 bytes and the name) points at a local header past the end.
  std::string far_member = whole;
  far_member[far_member.size() - 22 - 51 + 42 + 3] = 0x70;
  const Case cases[] = {
      {whole.substr(0, whole.size() - 10), FailureKind::corrupt, "unexpected end of archive: no central directory"},
      {far_member, FailureKind::corrupt, "unexpected end of archive in member s.rnx"},
      {wrong_crc, FailureKind::corrupt, "CRC32 mismatch in member s.rnx"},
      {single({"s.rnx", "x", false, false, false, 0, 1}), FailureKind::unsupported, "member s.rnx is encrypted"},
      {single({"s.rnx", "x", false, false, false, 12}), FailureKind::unsupported,
       "member s.rnx uses compression method 12 (stored and deflate are read)"},
      {ZipWriter().finish(), FailureKind::unsupported, "the archive holds no file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.problem);
    qcn::archive::ZipMember member = qcn::archive::read_zip_member(c.archive, kLimit);
    EXPECT_EQ(member.content.failure.kind, c.kind);
    EXPECT_EQ(member.content.failure.problem, c.problem);
  }
}

TEST(ZipTest, RecordedSizesBeyondTheLimitOrTheDataFailBeforeDecoding) {
  ZipWriter zip;
  zip.add({"s.rnx", std::string(100000, 'z')});
  const std::string archive = zip.finish();
  EXPECT_EQ(qcn::archive::read_zip_member(archive, 1000).content.failure.kind, FailureKind::too_large);
  EXPECT_TRUE(qcn::archive::read_zip_member(archive, 100000).content.ok());
}

// Unix compress data made code by code: a header for 16-bit block mode, then codes packed least
// significant bit first, with the padding the compressor writes up to the end of a group of
// eight codes when the width changes or after a CLEAR code.
std::string compress_codes(const std::vector<int>& codes, std::uint8_t flags = 0x90) {
  std::string out("\x1f\x9d", 2);
  out += static_cast<char>(flags);
  std::uint64_t buffer = 0;
  int filled = 0;
  int in_group = 0;
  auto put = [&](int code, int width) {
    buffer |= static_cast<std::uint64_t>(code) << filled;
    filled += width;
    while (filled >= 8) {
      out += static_cast<char>(buffer & 0xff);
      buffer >>= 8;
      filled -= 8;
    }
    in_group = (in_group + 1) % 8;
  };
  for (int code : codes) {
    put(code, 9);
    if (code == 256 && (flags & 0x80)) {
      while (in_group != 0) put(0, 9);
    }
  }
  if (filled > 0) out += static_cast<char>(buffer & 0xff);
  return out;
}

TEST(CompressTest, CodesDecodeToTheirStrings) {
  struct Case {
    const char* what;
    std::vector<int> codes;
    const char* text;
  };
  const Case cases[] = {
      {"literals", {'a', 'b', 'c'}, "abc"},
      {"a string of the table", {'a', 'b', 257, 259}, "abababa"},
      // The code one past the table: the previous string and its own first byte.
      {"a code not yet in the table", {'a', 257, 258}, "aaaaaa"},
      {"CLEAR empties the table; the padding after it is skipped", {'a', 'b', 256, 'c', 'd', 257, 258}, "abcdcddc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Decoded decoded = qcn::archive::decode_compress(compress_codes(c.codes), kLimit);
    ASSERT_TRUE(decoded.ok()) << decoded.failure.problem;
    EXPECT_EQ(text_of(decoded), c.text);
  }
}

TEST(CompressTest, BrokenDataNameTheirProblem) {
  struct Case {
    std::string data;
    FailureKind kind;
    const char* problem;
  };
  // Nine 9-bit codes take 11 bytes; 10 of them leave 8 bits of the last code.
  std::string cut = compress_codes({'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i'});
  cut.pop_back();
  const Case cases[] = {
      {std::string("\x1f\x9d", 2), FailureKind::corrupt, "unexpected end of stream"},
      {cut, FailureKind::corrupt, "unexpected end of stream"},
      {compress_codes({'a'}, 0x88), FailureKind::unsupported, "code width of 8 bits (9 to 16 are read)"},
      {compress_codes({'a'}, 0x91), FailureKind::unsupported, "code width of 17 bits (9 to 16 are read)"},
      {compress_codes({300}), FailureKind::corrupt, "invalid first code"},
      {compress_codes({'a', 'b', 260}), FailureKind::corrupt, "code refers to a table entry not yet made"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.problem);
    Decoded decoded = qcn::archive::decode_compress(c.data, kLimit);
    EXPECT_EQ(decoded.failure.kind, c.kind);
    EXPECT_EQ(decoded.failure.problem, c.problem);
  }
}

TEST(CompressTest, WithoutBlockModeCode256IsAString) {
  Decoded decoded = qcn::archive::decode_compress(compress_codes({'x', 'y', 256}, 0x10), kLimit);
  ASSERT_TRUE(decoded.ok()) << decoded.failure.problem;
  EXPECT_EQ(text_of(decoded), "xyxy");
}

}  // namespace
