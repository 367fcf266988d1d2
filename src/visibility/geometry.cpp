// Satellite list of the navigation data, and per-epoch positions and look angles of its satellites.
#include "visibility/geometry.hpp"

#include <algorithm>
#include <cmath>

#include "navigation/orbit.hpp"
#include "rinex/leap_seconds.hpp"

namespace qcn::visibility {

namespace {

template <typename Map>
void append_keys(const Map& map, std::vector<std::string>& out) {
  for (const auto& [satellite, records] : map) out.push_back(satellite);
}

}  // namespace

PredictionInput make_prediction_input(const navigation::NavigationData& navigation, double elevation_mask) {
  PredictionInput input;
  input.navigation = &navigation;
  append_keys(navigation.gps_ephemerides, input.satellites);
  append_keys(navigation.galileo_ephemerides, input.satellites);
  append_keys(navigation.beidou_ephemerides, input.satellites);
  append_keys(navigation.glonass_ephemerides, input.satellites);
  std::sort(input.satellites.begin(), input.satellites.end());
  input.elevation_mask = elevation_mask;
  input.source = "BRDC Navigation (" + std::to_string(input.satellites.size()) + " satellites)";
  input.records.reserve(input.satellites.size());
  for (const std::string& satellite : input.satellites) input.records.push_back(navigation::records_of(navigation, satellite));
  input.leap_seconds = navigation.leap_seconds;
  return input;
}

PredictionInput make_prediction_input(const navigation::NavigationData& navigation,
                                      const rinex::RinexObsData& observations, double elevation_mask) {
  PredictionInput input = make_prediction_input(navigation, elevation_mask);
  const std::array<bool, 256> recorded = rinex::recorded_systems(observations);
  for (std::size_t letter = 0; letter < recorded.size(); ++letter) input.unrecorded_systems[letter] = !recorded[letter];
  if (observations.leap_seconds) input.leap_seconds = observations.leap_seconds;
  input.needs_geometry.assign(input.satellites.size(), 0);
  for (std::size_t k = 0; k < input.satellites.size(); ++k) {
    input.needs_geometry[k] = recorded[static_cast<unsigned char>(input.satellites[k].front())];
  }
  input.listed_by_number.reserve(observations.satellite_ids.size());
  for (const rinex::SatelliteId& id : observations.satellite_ids) {
    const std::ptrdiff_t k = satellite_index(input, id.view());
    input.listed_by_number.push_back(static_cast<std::int32_t>(k));
    if (k >= 0) input.needs_geometry[static_cast<std::size_t>(k)] = 1;
  }
  return input;
}

std::int32_t leap_seconds_at(const PredictionInput& input, const rinex::EpochTime& epoch) {
  return input.leap_seconds ? *input.leap_seconds : rinex::leap_seconds_at(epoch);
}

void geometry_at(const PredictionInput& input, const navigation::ReceiverFrame& receiver,
                 const rinex::EpochTime& epoch, EpochGeometry& out) {
  out.satellites.resize(input.satellites.size());
  const std::int32_t leap_seconds = leap_seconds_at(input, epoch);
  for (std::size_t i = 0; i < input.satellites.size(); ++i) {
    SatelliteGeometry& geometry = out.satellites[i];
    geometry = {};
    if (input.navigation == nullptr) continue;
    if (!input.needs_geometry.empty() && !input.needs_geometry[i]) continue;
    const auto position = i < input.records.size()
                              ? navigation::position_from(input.records[i], epoch, leap_seconds)
                              : navigation::satellite_position(*input.navigation, input.satellites[i], epoch, leap_seconds);
    if (!position) continue;
    const rinex::Ecef& p = *position;
    const navigation::LookAngles angles = navigation::look_angles(receiver, p);
    geometry = {true, std::sqrt(p.x_m * p.x_m + p.y_m * p.y_m + p.z_m * p.z_m), angles.azimuth_deg,
                angles.elevation_deg};
  }
}

namespace {

SatelliteGeometry geometry_from(const navigation::ReceiverFrame& receiver, const std::optional<rinex::Ecef>& position) {
  if (!position) return {};
  const rinex::Ecef& p = *position;
  const navigation::LookAngles angles = navigation::look_angles(receiver, p);
  return {true, std::sqrt(p.x_m * p.x_m + p.y_m * p.y_m + p.z_m * p.z_m), angles.azimuth_deg, angles.elevation_deg};
}

}  // namespace

void geometry_of_epochs(const PredictionInput& input, const navigation::ReceiverFrame& receiver,
                        std::span<const rinex::EpochTime> times, std::span<EpochGeometry> out,
                        std::vector<navigation::GlonassSteps>& steps, parallel::Pool* pool) {
  const std::size_t satellites = input.satellites.size();
  std::vector<std::int32_t> leap(times.size());
  for (std::size_t k = 0; k < times.size(); ++k) {
    leap[k] = leap_seconds_at(input, times[k]);
    out[k].satellites.resize(satellites);
  }
  steps.resize(satellites);
  parallel::run_tasks(pool, satellites, [&](std::size_t i) {
    const bool needed = input.navigation != nullptr && (input.needs_geometry.empty() || input.needs_geometry[i]);
    for (std::size_t k = 0; k < times.size(); ++k) {
      SatelliteGeometry& geometry = out[k].satellites[i];
      geometry = {};
      if (!needed) continue;
      const auto position = i < input.records.size()
                                ? navigation::position_from(input.records[i], times[k], leap[k], steps[i])
                                : navigation::satellite_position(*input.navigation, input.satellites[i], times[k], leap[k]);
      geometry = geometry_from(receiver, position);
    }
  });
}

void geometry_at(const PredictionInput& input, const rinex::Ecef& receiver, const rinex::EpochTime& epoch,
                 EpochGeometry& out) {
  geometry_at(input, navigation::receiver_frame(receiver), epoch, out);
}

std::ptrdiff_t sorted_index(std::span<const std::string> sorted, std::string_view satellite) {
  auto it = std::lower_bound(sorted.begin(), sorted.end(), satellite,
                             [](const std::string& a, std::string_view b) { return std::string_view(a) < b; });
  if (it == sorted.end() || *it != satellite) return -1;
  return it - sorted.begin();
}

std::ptrdiff_t satellite_index(const PredictionInput& input, std::string_view satellite) {
  return sorted_index(input.satellites, satellite);
}

const SatelliteGeometry* find_geometry(const PredictionInput& input, const EpochGeometry& geometry,
                                       std::string_view satellite) {
  const std::ptrdiff_t i = satellite_index(input, satellite);
  if (i < 0 || static_cast<std::size_t>(i) >= geometry.satellites.size()) return nullptr;
  return &geometry.satellites[static_cast<std::size_t>(i)];
}

}  // namespace qcn::visibility
