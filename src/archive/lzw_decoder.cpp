// Unix compress: a three-byte header (1F 9D, then the block-mode flag 0x80 and the largest code
// width) and LZW codes packed least significant bit first. Codes start 9 bits wide and widen by
// one bit whenever the next free table entry no longer fits. The compressor writes codes in
// groups of eight, so a group is as many bytes as the code width; when the width changes, or a
// CLEAR code (256, block mode only) empties the table, the rest of the current group is padding.
#include "archive/lzw_decoder.hpp"

#include <cstring>
#include <vector>

namespace qcn::archive {
namespace {

constexpr unsigned kClear = 256;
constexpr int kFirstWidth = 9;
constexpr int kLargestWidth = 16;

// Reads codes of a given width and skips the padding that ends a group.
class CodeReader {
 public:
  explicit CodeReader(std::string_view data) : data_(data), total_bits_(static_cast<std::uint64_t>(data.size()) * 8) {}

  bool next(int width, unsigned& code) {
    if (bit_ > total_bits_ || total_bits_ - bit_ < static_cast<std::uint64_t>(width)) return false;
    std::size_t byte = static_cast<std::size_t>(bit_ >> 3);
    std::uint32_t window = static_cast<unsigned char>(data_[byte]);
    // A code of at most 16 bits at any bit offset spans at most three bytes.
    if (byte + 1 < data_.size()) window |= static_cast<std::uint32_t>(static_cast<unsigned char>(data_[byte + 1])) << 8;
    if (byte + 2 < data_.size()) window |= static_cast<std::uint32_t>(static_cast<unsigned char>(data_[byte + 2])) << 16;
    code = (window >> (bit_ & 7)) & ((1u << width) - 1);
    bit_ += static_cast<std::uint64_t>(width);
    return true;
  }

  // Moves to the end of the current group of eight codes of the given width.
  void end_group(int width) {
    std::uint64_t group = static_cast<std::uint64_t>(width) * 8;
    std::uint64_t used = bit_ - group_start_;
    bit_ = group_start_ + (used + group - 1) / group * group;
    group_start_ = bit_;
  }

  // Bits after the last whole code: fewer than eight at the end of a complete stream.
  std::uint64_t bits_left() const { return bit_ < total_bits_ ? total_bits_ - bit_ : 0; }

 private:
  std::string_view data_;
  std::uint64_t total_bits_;
  std::uint64_t bit_ = 0;
  std::uint64_t group_start_ = 0;
};

enum class Stop { end, first_code, unknown_code, too_large };

// The table holds no strings: an entry's string is a copy of earlier output, so the entry keeps
// where it was written and its length.
class Decoder {
 public:
  Decoder(std::string_view codes, int largest_width, bool block_mode, ByteBuffer& out, std::uint64_t limit)
      : reader_(codes),
        out_(out),
        limit_(limit),
        table_size_(1u << largest_width),
        largest_width_(largest_width),
        block_mode_(block_mode),
        next_entry_(block_mode ? kClear + 1 : kClear) {}

  Stop run() {
    unsigned code = 0;
    if (!next_code(code)) return Stop::end;
    if (code >= 256) return Stop::first_code;
    if (!write(code)) return Stop::too_large;
    while (next_code(code)) {
      if (block_mode_ && code == kClear) {
        clear();
        continue;
      }
      if (code > next_entry_ || (code == next_entry_ && code >= table_size_)) return Stop::unknown_code;
      if (!write(code)) return Stop::too_large;
    }
    return Stop::end;
  }

  std::uint64_t bits_left() const { return reader_.bits_left(); }

 private:
  // Codes widen by a bit when the next entry no longer fits. The table reaches past 511 even when
  // the header allows 9 bits only: the codes then widen to 10 bits, as every decompressor reads them.
  bool next_code(unsigned& code) {
    if (next_entry_ > largest_code_) {
      reader_.end_group(width_);
      ++width_;
      largest_code_ = width_ == largest_width_ ? table_size_ : (1u << width_) - 1;
    }
    return reader_.next(width_, code);
  }

  // The code after CLEAR fills entry 256 with a string nothing refers to, as the compressor
  // counts it, so new strings start again at 257.
  void clear() {
    next_entry_ = kClear;
    reader_.end_group(width_);
    width_ = kFirstWidth;
    largest_code_ = (1u << width_) - 1;
  }

  // Writes the string of code, and makes the previous string followed by its first byte the
  // next entry; false when the output would pass the limit.
  bool write(unsigned code) {
    std::uint64_t start = out_.size();
    std::uint32_t length = 1;
    if (code < 256) {
      if (!out_.reserve_more(1, limit_)) return false;
      out_.push_back(static_cast<char>(code));
    } else {
      // A code one past the table is the previous string followed by its own first byte.
      std::uint64_t from = code == next_entry_ ? previous_start_ : start_[code];
      length = code == next_entry_ ? previous_length_ + 1 : length_[code];
      if (!out_.reserve_more(length, limit_)) return false;
      copy_from(from, length);
    }
    if (previous_length_ > 0 && next_entry_ < table_size_) {
      start_[next_entry_] = previous_start_;
      length_[next_entry_] = previous_length_ + 1;
      ++next_entry_;
    }
    previous_start_ = start;
    previous_length_ = length;
    return true;
  }

  // Copies earlier output to the end; only a code one past the table overlaps its own copy,
  // by its last byte, which is its first.
  void copy_from(std::uint64_t from, std::uint32_t length) {
    char* to = out_.end();
    const char* source = out_.data() + from;
    if (from + length <= out_.size()) {
      std::memcpy(to, source, length);
    } else {
      std::memcpy(to, source, length - 1);
      to[length - 1] = to[0];
    }
    out_.commit(length);
  }

  CodeReader reader_;
  ByteBuffer& out_;
  std::uint64_t limit_;
  const unsigned table_size_;
  const int largest_width_;
  const bool block_mode_;
  unsigned next_entry_;
  int width_ = kFirstWidth;
  unsigned largest_code_ = (1u << kFirstWidth) - 1;
  std::vector<std::uint64_t> start_ = std::vector<std::uint64_t>(1u << kLargestWidth);
  std::vector<std::uint32_t> length_ = std::vector<std::uint32_t>(1u << kLargestWidth);
  std::uint64_t previous_start_ = 0;  // the previous code's string in the output
  std::uint32_t previous_length_ = 0;
};

}  // namespace

Decoded decode_compress(std::string_view input, std::uint64_t limit) {
  if (input.size() < 3) return failed(FailureKind::corrupt, Format::compress, "unexpected end of stream");
  const unsigned flags = static_cast<unsigned char>(input[2]);
  const int largest_width = static_cast<int>(flags & 0x1f);
  if (largest_width < kFirstWidth || largest_width > kLargestWidth) {
    return failed(FailureKind::unsupported, Format::compress,
                  "code width of " + std::to_string(largest_width) + " bits (9 to 16 are read)");
  }
  Decoded decoded;
  std::uint64_t guess = static_cast<std::uint64_t>(input.size()) * 3 + 65536;
  if (!decoded.bytes.reserve_exactly(static_cast<std::size_t>(guess < limit ? guess : limit), limit)) {
    return failed(FailureKind::too_large, Format::compress, "");
  }
  Decoder decoder(input.substr(3), largest_width, (flags & 0x80) != 0, decoded.bytes, limit);
  switch (decoder.run()) {
    case Stop::first_code:
      return failed(FailureKind::corrupt, Format::compress, "invalid first code");
    case Stop::unknown_code:
      return failed(FailureKind::corrupt, Format::compress, "code refers to a table entry not yet made");
    case Stop::too_large:
      return failed(FailureKind::too_large, Format::compress, "");
    case Stop::end:
      break;
  }
  if (decoder.bits_left() >= 8) return failed(FailureKind::corrupt, Format::compress, "unexpected end of stream");
  decoded.bytes.shrink_to_fit();
  return decoded;
}

}  // namespace qcn::archive
