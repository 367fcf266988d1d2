// The points of the time series and skyplot traces, the bulk of a result's JSON, written as
// blocks of array elements: each point is an object of fixed keys, and the text around its
// values is laid out once for the layout and depth rather than token by token.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "result/analysis_result.hpp"
#include "result/json_writer.hpp"

namespace qcn::result {

/// Text appended without filling its room first; the room doubles as it runs out.
class TextBlock {
 public:
  void clear() { size_ = 0; }
  std::string_view view() const { return {data_.get(), size_}; }
  /// At least n bytes of room after the text; the pointer to the first.
  char* room(std::size_t n) {
    if (capacity_ - size_ < n) grow(n);
    return data_.get() + size_;
  }
  void commit(char* end) { size_ = static_cast<std::size_t>(end - data_.get()); }

 private:
  void grow(std::size_t n);
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

/// The fixed text of an array element that is an object of fixed keys, for the layout and the
/// depth of the array (JsonWriter::level() once the array is open).
class ElementShape {
 public:
  ElementShape(std::span<const std::string_view> keys, Layout layout, int level);
  /// What comes before an element: nothing or a line break for the first, a comma otherwise.
  std::string_view lead(bool first) const { return first ? first_lead_ : lead_; }
  /// The brace or comma, and the key, before value i.
  std::string_view before(std::size_t i) const { return before_[i]; }
  /// The line break and brace after the last value.
  std::string_view closing() const { return closing_; }
  /// All the fixed text of one element.
  std::size_t room() const { return room_; }

 private:
  std::string lead_;
  std::string first_lead_;
  std::vector<std::string> before_;
  std::string closing_;
  std::size_t room_ = 0;
};

/// Keys of a time series point and of a skyplot trace point, in the order they are written.
extern const std::string_view kSeriesPointKeys[4];
extern const std::string_view kTracePointKeys[4];

/// Time series points as elements (timestamp, cn0, elevation, azimuth); first when the block
/// starts the array.
void put_series_points(TextBlock& out, std::span<const TimeseriesPoint> points, bool first,
                       const std::vector<std::string>& timestamps, const ElementShape& shape);

/// Trace points as elements (azimuth, elevation, cn0, and the satellite as quoted JSON text).
void put_trace_points(TextBlock& out, std::span<const SkyplotPoint> points, bool first,
                      std::string_view quoted_satellite, const ElementShape& shape);
/// The same, for a trace whose points are those of its satellite's time series.
void put_trace_points(TextBlock& out, std::span<const TimeseriesPoint> points, bool first,
                      std::string_view quoted_satellite, const ElementShape& shape);

}  // namespace qcn::result
