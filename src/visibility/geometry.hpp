// Where every broadcast satellite stands at an epoch, seen from the receiver: computed once per
// epoch and shared by the look angles of the C/N0 samples and the visibility prediction.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "navigation/geodesy.hpp"
#include "navigation/nav_data.hpp"
#include "navigation/orbit.hpp"
#include "parallel/thread_pool.hpp"
#include "rinex/epoch_time.hpp"
#include "rinex/obs_data.hpp"

namespace qcn::visibility {

/// The satellites to predict and the mask they must clear.
struct PredictionInput {
  const navigation::NavigationData* navigation = nullptr;
  std::vector<std::string> satellites;  // keys of the four ephemeris maps, ascending byte-wise
  double elevation_mask = 0.0;          // degrees
  std::string source;                   // such as "BRDC Navigation (97 satellites)"
  std::array<bool, 256> unrecorded_systems{};  // by system letter: never predicted (not recorded)
  std::optional<std::int32_t> leap_seconds;   // GPS time minus UTC; without it, the table's by date
  // By index of satellites: whether its geometry is computed at all. Empty: every satellite. A
  // satellite that is neither predicted nor ever received needs none.
  std::vector<char> needs_geometry;
  std::vector<navigation::SatelliteRecords> records;  // by index of satellites
  // For an input made for observations: per satellite number of the observation record, its
  // index in satellites, or -1 when the navigation data has no such satellite.
  std::vector<std::int32_t> listed_by_number;
};

/// Every satellite of the navigation data, sorted, with the mask and the source text; every
/// system is predicted, with the navigation file's leap seconds.
PredictionInput make_prediction_input(const navigation::NavigationData& navigation, double elevation_mask);

/// The same for a receiver's observations: only the systems whose C/N0 the file records are
/// predicted, and the observation header's leap seconds come before the navigation file's.
PredictionInput make_prediction_input(const navigation::NavigationData& navigation,
                                      const rinex::RinexObsData& observations, double elevation_mask);

/// GPS time minus UTC at the epoch for the input: its leap seconds, or the table's by date.
std::int32_t leap_seconds_at(const PredictionInput& input, const rinex::EpochTime& epoch);

/// One satellite at one epoch. Without a position the other fields are 0.
struct SatelliteGeometry {
  bool has_position = false;
  double distance_m = 0.0;     // from the Earth's centre, as computed (not finite for a broken orbit)
  double azimuth_deg = 0.0;    // [0, 360)
  double elevation_deg = 0.0;  // negative below the horizon; no mask applied
};

/// All satellites of a PredictionInput at one epoch, indexed like PredictionInput::satellites.
struct EpochGeometry {
  std::vector<SatelliteGeometry> satellites;
};

/// Fills out for the epoch, reusing its storage.
void geometry_at(const PredictionInput& input, const navigation::ReceiverFrame& receiver,
                 const rinex::EpochTime& epoch, EpochGeometry& out);

/// The geometry of several epochs at once: out[k] becomes that of times[k]. The work runs
/// satellite by satellite on the pool's threads, each satellite keeping its GLONASS steps in
/// steps[satellite] from one epoch to the next (steps holds one cache per satellite of the input).
void geometry_of_epochs(const PredictionInput& input, const navigation::ReceiverFrame& receiver,
                        std::span<const rinex::EpochTime> times, std::span<EpochGeometry> out,
                        std::vector<navigation::GlonassSteps>& steps, parallel::Pool* pool);

/// The same, converting the receiver position on each call.
void geometry_at(const PredictionInput& input, const rinex::Ecef& receiver, const rinex::EpochTime& epoch,
                 EpochGeometry& out);

/// Position of satellite in a list sorted byte-wise, or -1 when it is not there.
std::ptrdiff_t sorted_index(std::span<const std::string> sorted, std::string_view satellite);

/// Position of satellite in PredictionInput::satellites, or -1 when it is not there.
std::ptrdiff_t satellite_index(const PredictionInput& input, std::string_view satellite);

/// The geometry of one satellite by identifier; null when it is not in the input's list.
const SatelliteGeometry* find_geometry(const PredictionInput& input, const EpochGeometry& geometry,
                                       std::string_view satellite);

}  // namespace qcn::visibility
