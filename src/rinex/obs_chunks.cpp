// Reading a record section in pieces on several threads, merged into the record one pass gives.
//
// Each piece starts at a line of its own and reads ahead as if that line began the section. A
// record reader keeps nothing from one epoch to the next but where it stands, so once two readers
// examine the same line as a possible epoch line they read the rest alike. Merging walks the
// pieces in order: where the reader before a piece stopped is a line the piece examined too, the
// piece's epochs from there on are taken as they are; otherwise the merge reads on from there
// itself until it meets such a line. Version 3 meets it at the first '>' line of every piece.
#include <algorithm>
#include <span>

#include "rinex/obs_records.hpp"
#include "rinex/rinex_version.hpp"

namespace qcn::rinex {
namespace {

// Pieces smaller than this are not worth a thread.
constexpr std::size_t kMinPieceBytes = std::size_t{4} << 20;
// Every stored value takes a field of 16 characters in the text, so this bounds real files;
// denser input just grows the array.
constexpr std::size_t kBytesPerObservation = 16;
// A stored satellite takes a line of its identifier and its fields (version 3) or a line or more
// of fields (version 2): some 100 to 250 characters in real files. Reserving for one in 64 keeps
// the array from being copied as it grows; the pages beyond the satellites read are never touched.
constexpr std::size_t kBytesPerSatellite = 64;

void reserve_for(RinexObsData& data, std::size_t bytes) {
  data.observations.reserve(bytes / kBytesPerObservation);
  data.satellites.reserve(bytes / kBytesPerSatellite);
}

struct Piece {
  std::size_t begin = 0;
  std::size_t end = 0;
  RinexObsData data;
  ReadTrace trace;
  std::size_t stopped_at = 0;
};

std::size_t read_epochs(int version_3, LineCursor cursor, const CodeTable& codes, RinexObsData& data,
                        const ReadLimits& limits, ReadTrace* trace) {
  return version_3 ? read_epochs_v3(cursor, codes, data, limits, trace) : read_epochs_v2(cursor, codes, data, limits, trace);
}

template <typename T>
std::size_t first_at_or_after(const std::vector<T>& offsets, std::size_t offset) {
  return static_cast<std::size_t>(std::lower_bound(offsets.begin(), offsets.end(), offset) - offsets.begin());
}

/// Appends the epochs of the piece whose epoch lines lie at or after `from`.
void append_piece(RinexObsData& data, const Piece& piece, std::size_t from) {
  const RinexObsData& part = piece.data;
  const std::size_t first_epoch = first_at_or_after(piece.trace.epoch_lines, from);
  const std::size_t first_empty = first_at_or_after(piece.trace.empty_lines, from);
  const std::uint64_t first_observation =
      first_epoch < part.epochs.size() ? piece.trace.epoch_observations[first_epoch] : part.observations.size();
  const std::uint64_t first_satellite =
      first_epoch < part.epochs.size() ? part.epochs[first_epoch].first_satellite : part.satellites.size();
  const std::uint64_t observation_base = data.observations.size();
  const std::uint64_t satellite_base = data.satellites.size();
  const std::uint64_t epoch_base = data.epochs.size();

  data.observations.insert(data.observations.end(), part.observations.begin() + static_cast<std::ptrdiff_t>(first_observation),
                           part.observations.end());
  // The piece numbered its satellites on its own; the record numbers them as one pass meets them.
  SatelliteNumbering numbering(data.satellite_ids);
  for (std::size_t s = first_satellite; s < part.satellites.size(); ++s) {
    SatelliteObservations satellite = part.satellites[s];
    satellite.first_observation = satellite.first_observation - first_observation + observation_base;
    satellite.number = numbering.number_of(satellite.satellite);
    data.satellites.push_back(satellite);
  }
  for (std::size_t e = first_epoch; e < part.epochs.size(); ++e) {
    ObservationEpoch epoch = part.epochs[e];
    epoch.first_satellite = epoch.first_satellite - first_satellite + satellite_base;
    data.epochs.push_back(epoch);
  }
  for (std::size_t m = first_empty; m < part.empty_epochs.size(); ++m) {
    EmptyEpoch empty = part.empty_epochs[m];
    empty.before = empty.before - first_epoch + epoch_base;
    data.empty_epochs.push_back(empty);
  }
}

/// The pieces of [begin, end): one starting at begin and one at each split (a line start).
std::vector<Piece> cut(std::size_t begin, std::size_t end, std::span<const std::size_t> splits) {
  std::vector<Piece> pieces;
  std::size_t at = begin;
  for (std::size_t split : splits) {
    if (split <= at || split >= end) continue;
    pieces.push_back({at, split, {}, {}, 0});
    at = split;
  }
  pieces.push_back({at, end, {}, {}, 0});
  return pieces;
}

}  // namespace

void read_records_split(LineCursor cursor, const CodeTable& codes, RinexObsData& data,
                        std::span<const std::size_t> splits, parallel::Pool* pool, const ReleaseText* release) {
  const int version_3 = is_version_3_or_later(data.version);
  const std::size_t end = cursor.text().size();
  std::vector<Piece> pieces = cut(cursor.offset(), end, splits);
  // The first piece reads straight into the record, the others into records of their own.
  reserve_for(data, end - cursor.offset());
  parallel::run_tasks(pool, pieces.size(), [&](std::size_t i) {
    Piece& piece = pieces[i];
    const ReadLimits limits{piece.end, nullptr, release};
    if (i == 0) {
      piece.stopped_at = read_epochs(version_3, cursor, codes, data, limits, nullptr);
      return;
    }
    piece.data.obs_codes = data.obs_codes;  // the builder sizes its tables by them
    reserve_for(piece.data, piece.end - piece.begin);
    piece.stopped_at =
        read_epochs(version_3, LineCursor(cursor.text(), piece.begin), codes, piece.data, limits, &piece.trace);
  });

  std::size_t position = pieces.front().stopped_at;
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    Piece& piece = pieces[i];
    if (position >= piece.end) continue;  // the epochs before it reached across the whole piece
    const std::vector<std::size_t>& examined = piece.trace.examined;
    if (!std::binary_search(examined.begin(), examined.end(), position)) {
      position = read_epochs(version_3, LineCursor(cursor.text(), position), codes, data,
                             ReadLimits{piece.end, &examined}, nullptr);
      if (position >= piece.end) continue;
    }
    append_piece(data, piece, position);
    position = piece.stopped_at;
    piece.data = RinexObsData{};  // its memory goes back before the next piece is copied
  }
}

void read_records(LineCursor cursor, const CodeTable& codes, RinexObsData& data, parallel::Pool* pool,
                  const ReleaseText* release) {
  const std::size_t begin = cursor.offset();
  const std::size_t bytes = cursor.text().size() - begin;
  const std::size_t threads = pool == nullptr ? 1 : pool->size();
  const std::size_t count = std::min(threads, bytes / kMinPieceBytes);
  std::vector<std::size_t> splits;
  const std::string_view text = cursor.text();
  for (std::size_t k = 1; k < count; ++k) {
    // The start of the line that follows the k-th share of the bytes.
    const std::size_t newline = text.find('\n', begin + bytes * k / count);
    if (newline != std::string_view::npos && newline + 1 < text.size()) splits.push_back(newline + 1);
  }
  read_records_split(cursor, codes, data, splits, count > 1 ? pool : nullptr, release);
}

}  // namespace qcn::rinex
