// A small open-addressing map from satellite identifiers to positions, emptied in constant time,
// for matching the satellites of one epoch with those of the one before.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace qcn::archive::detail {

/// Three identifier characters packed into one key.
inline std::uint32_t satellite_key(std::string_view id) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(id[0])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(id[1])) << 8 | static_cast<unsigned char>(id[2]);
}

/// Holds up to 1024 identifiers (an epoch counts at most 999 satellites).
class SatelliteIndex {
 public:
  static constexpr std::uint32_t kNone = 0xffffffff;

  /// Forgets every identifier.
  void start() {
    if (++generation_ == 0) {
      stamps_.fill(0);
      generation_ = 1;
    }
  }

  /// Adds key at position unless the key is already there (the first position wins).
  void add(std::uint32_t key, std::uint32_t position) {
    for (std::uint32_t i = hash(key);; i = (i + 1) & kMask) {
      if (stamps_[i] != generation_) {
        stamps_[i] = generation_;
        keys_[i] = key;
        positions_[i] = position;
        return;
      }
      if (keys_[i] == key) return;
    }
  }

  /// The position of key, or kNone.
  std::uint32_t find(std::uint32_t key) const {
    for (std::uint32_t i = hash(key);; i = (i + 1) & kMask) {
      if (stamps_[i] != generation_) return kNone;
      if (keys_[i] == key) return positions_[i];
    }
  }

 private:
  static constexpr std::uint32_t kSize = 2048;  // twice the capacity, so probes stay short
  static constexpr std::uint32_t kMask = kSize - 1;
  static std::uint32_t hash(std::uint32_t key) { return (key * 2654435761u) >> 21 & kMask; }

  std::array<std::uint32_t, kSize> stamps_{};
  std::array<std::uint32_t, kSize> keys_{};
  std::array<std::uint32_t, kSize> positions_{};
  std::uint32_t generation_ = 0;
};

}  // namespace qcn::archive::detail
