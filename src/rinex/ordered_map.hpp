// A map with text keys that iterates in insertion order, so every output is reproducible.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace qcn::rinex {

/// Entries stay in the order of their first insertion; lookups use a hash index once the map
/// outgrows a linear scan.
template <typename Value>
class OrderedMap {
 public:
  using Entry = std::pair<std::string, Value>;

  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }
  auto begin() { return entries_.begin(); }
  auto end() { return entries_.end(); }

  /// The value under key, or null.
  const Value* find(std::string_view key) const {
    std::size_t i = index_of(key);
    return i == npos ? nullptr : &entries_[i].second;
  }
  Value* find(std::string_view key) {
    std::size_t i = index_of(key);
    return i == npos ? nullptr : &entries_[i].second;
  }

  bool contains(std::string_view key) const { return index_of(key) != npos; }

  /// The value under key, default-constructed and appended when the key is new.
  Value& operator[](std::string_view key) {
    std::size_t i = index_of(key);
    if (i != npos) return entries_[i].second;
    entries_.emplace_back(std::string(key), Value{});
    if (!index_.empty() || entries_.size() > kLinearLimit) add_to_index(entries_.size() - 1);
    return entries_.back().second;
  }

  /// Sets key to value; a new key goes last, an existing one keeps its place.
  void insert_or_assign(std::string_view key, Value value) { (*this)[key] = std::move(value); }

  friend bool operator==(const OrderedMap& a, const OrderedMap& b) { return a.entries_ == b.entries_; }

 private:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);
  static constexpr std::size_t kLinearLimit = 16;

  std::size_t index_of(std::string_view key) const {
    if (index_.empty()) {
      for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].first == key) return i;
      }
      return npos;
    }
    auto it = index_.find(key);
    return it == index_.end() ? npos : it->second;
  }

  void add_to_index(std::size_t last) {
    if (index_.empty()) {
      for (std::size_t i = 0; i < last; ++i) index_.emplace(entries_[i].first, i);
    }
    index_.emplace(entries_[last].first, last);
  }

  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };

  std::vector<Entry> entries_;
  // The index owns copies of the keys: moving the entries may move short strings' bytes.
  std::unordered_map<std::string, std::size_t, Hash, std::equal_to<>> index_;
};

}  // namespace qcn::rinex
