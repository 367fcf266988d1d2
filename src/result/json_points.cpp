// Time series and trace points written as blocks of array elements.
#include "result/json_points.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "result/json_text.hpp"

namespace qcn::result {

const std::string_view kSeriesPointKeys[4] = {"timestamp", "cn0", "elevation", "azimuth"};
const std::string_view kTracePointKeys[4] = {"azimuth", "elevation", "cn0", "satellite"};

void TextBlock::grow(std::size_t n) {
  const std::size_t capacity = std::max(2 * capacity_, size_ + n + 4096);
  auto data = std::make_unique_for_overwrite<char[]>(capacity);
  if (size_ > 0) std::memcpy(data.get(), data_.get(), size_);
  data_ = std::move(data);
  capacity_ = capacity;
}

namespace {

std::string line_break(Layout layout, int level) {
  if (layout == Layout::compact) return {};
  std::string text(1 + 2 * static_cast<std::size_t>(level), ' ');
  text[0] = '\n';
  return text;
}

char* put(char* out, std::string_view text) {
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

/// The text of the last real written in one place: look angles repeat across a satellite's
/// signals at one epoch, and their digits are copied instead of found again.
class KeptReal {
 public:
  char* put(char* out, double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    if (size_ == 0 || bits != bits_) {
      bits_ = bits;
      size_ = static_cast<std::size_t>(put_json_real(text_, value) - text_);
    }
    std::memcpy(out, text_, size_);
    return out + size_;
  }

 private:
  std::uint64_t bits_ = 0;
  std::size_t size_ = 0;  // 0: nothing kept yet
  char text_[kRealRoom];
};

std::string_view timestamp_of(const TimeseriesPoint& point, const std::vector<std::string>& timestamps) {
  return point.time < timestamps.size() ? std::string_view(timestamps[point.time]) : std::string_view();
}

template <typename Point>
void put_trace_block(TextBlock& out, std::span<const Point> points, bool first, std::string_view quoted_satellite,
                     const ElementShape& shape) {
  const std::size_t room = shape.room() + 3 * kRealRoom + quoted_satellite.size();
  KeptReal azimuth, elevation;
  for (const Point& point : points) {
    char* p = put(out.room(room), shape.lead(first));
    first = false;
    p = azimuth.put(put(p, shape.before(0)), point.azimuth);
    p = elevation.put(put(p, shape.before(1)), point.elevation);
    p = put_json_real(put(p, shape.before(2)), point.cn0);
    p = put(put(p, shape.before(3)), quoted_satellite);
    out.commit(put(p, shape.closing()));
  }
}

}  // namespace

ElementShape::ElementShape(std::span<const std::string_view> keys, Layout layout, int level) {
  const std::string inner = line_break(layout, level + 1);
  const std::string separator = layout == Layout::compact ? ":" : ": ";
  first_lead_ = line_break(layout, level);
  lead_.reserve(1 + first_lead_.size());
  lead_.push_back(',');
  lead_.append(first_lead_);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    std::string key;
    append_json_string(key, keys[i]);
    std::string& before = before_.emplace_back(i == 0 ? "{" : ",");
    before.append(inner).append(key).append(separator);
    room_ += before_.back().size();
  }
  closing_ = line_break(layout, level);
  closing_ += '}';
  room_ += closing_.size() + lead_.size();
}

void put_series_points(TextBlock& out, std::span<const TimeseriesPoint> points, bool first,
                       const std::vector<std::string>& timestamps, const ElementShape& shape) {
  KeptReal elevation, azimuth;
  for (const TimeseriesPoint& point : points) {
    const std::string_view timestamp = timestamp_of(point, timestamps);
    char* p = put(out.room(shape.room() + 3 * kRealRoom + json_string_room(timestamp.size())), shape.lead(first));
    first = false;
    p = put_json_string(put(p, shape.before(0)), timestamp);
    p = put_json_real(put(p, shape.before(1)), point.cn0);
    p = elevation.put(put(p, shape.before(2)), point.elevation);
    p = azimuth.put(put(p, shape.before(3)), point.azimuth);
    out.commit(put(p, shape.closing()));
  }
}

void put_trace_points(TextBlock& out, std::span<const SkyplotPoint> points, bool first,
                      std::string_view quoted_satellite, const ElementShape& shape) {
  put_trace_block(out, points, first, quoted_satellite, shape);
}

void put_trace_points(TextBlock& out, std::span<const TimeseriesPoint> points, bool first,
                      std::string_view quoted_satellite, const ElementShape& shape) {
  put_trace_block(out, points, first, quoted_satellite, shape);
}

}  // namespace qcn::result
