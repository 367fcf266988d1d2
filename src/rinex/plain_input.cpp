// Reading a file and decoding what it holds.
#include "rinex/plain_input.hpp"

#include "archive/format_detect.hpp"
#include "rinex/file_reader.hpp"

namespace qcn::rinex {

PlainInput read_plain_input(std::string_view path, std::uint64_t limit) {
  PlainInput input;
  // Opened once: a pipe's data would be gone for a second opening, which would wait for a writer.
  const OpenFile open_file(path);
  // A plain regular file is parsed where it lies; anything else (compressed, a pipe) is read.
  if (std::optional<MappedFile> mapped = MappedFile::map(open_file.descriptor())) {
    if (archive::detect_format(mapped->view()) == archive::Format::plain) {
      input.mapped = std::move(mapped);
      input.unpacked.name = file_name_of(path);
      return input;
    }
  }
  FileRead file = open_file.read_rest();
  if (!file.ok()) {
    input.failure = PlainInput::Failure::unreadable;
    input.error = std::move(file.error);
    return input;
  }
  std::string name = file_name_of(path);
  if (archive::detect_format(file.bytes) == archive::Format::plain) {
    input.file_bytes = std::move(file.bytes);
    input.unpacked.name = std::move(name);
    return input;
  }
  input.unpacked = archive::unpack(std::move(file.bytes), name, limit);
  if (!input.unpacked.ok()) {
    input.failure = PlainInput::Failure::undecodable;
    input.error = archive::failure_text(input.unpacked.failure, limit);
  }
  return input;
}

}  // namespace qcn::rinex
