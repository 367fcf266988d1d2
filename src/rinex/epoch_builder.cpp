// Building epochs in the flat observation arrays.
#include "rinex/obs_records.hpp"

namespace qcn::rinex {

namespace {
// Up to this many satellites an epoch is searched by scan for an earlier listing.
constexpr std::uint32_t kScanLimit = 48;
}  // namespace

EpochBuilder::EpochBuilder(RinexObsData& data, std::size_t code_count)
    : data_(data), numbering_(data.satellite_ids), code_serial_(code_count, 0), code_slot_(code_count, 0) {}

void EpochBuilder::begin_epoch(const EpochTime& time, std::uint8_t flag) {
  epoch_ = ObservationEpoch{time, flag, 0, data_.satellites.size()};
  listed_.clear();
}

void EpochBuilder::begin_satellite(SatelliteId satellite) {
  satellite_ = SatelliteObservations{satellite, 0, data_.observations.size()};
  has_value_ = false;
  ++satellite_serial_;
}

SatelliteObservations* EpochBuilder::earlier_listing(SatelliteId satellite) {
  if (epoch_.satellite_count <= kScanLimit) {
    for (std::uint64_t i = epoch_.first_satellite; i < data_.satellites.size(); ++i) {
      if (data_.satellites[i].satellite == satellite) return &data_.satellites[i];
    }
    return nullptr;
  }
  if (listed_.empty()) {
    for (std::uint64_t i = epoch_.first_satellite; i < data_.satellites.size(); ++i) {
      listed_.emplace(data_.satellites[i].satellite.key(), i);
    }
  }
  auto it = listed_.find(satellite.key());
  return it == listed_.end() ? nullptr : &data_.satellites[it->second];
}

void EpochBuilder::end_satellite() {
  if (satellite_.observation_count == 0 && !has_value_) return;
  if (SatelliteObservations* earlier = earlier_listing(satellite_.satellite)) {
    // The later listing replaces the earlier one; its values stay behind unused.
    earlier->first_observation = satellite_.first_observation;
    earlier->observation_count = satellite_.observation_count;
    return;
  }
  satellite_.number = numbering_.number_of(satellite_.satellite);
  data_.satellites.push_back(satellite_);
  if (!listed_.empty()) listed_.emplace(satellite_.satellite.key(), data_.satellites.size() - 1);
  ++epoch_.satellite_count;
}

void EpochBuilder::end_epoch() {
  // An epoch without a stored satellite is dropped; it has stored no values either. Only its time
  // is kept, when it is an observation epoch: event records (flags 2 to 6) are not.
  if (epoch_.satellite_count > 0) {
    data_.epochs.push_back(epoch_);
  } else if (epoch_.flag <= 1) {
    data_.empty_epochs.push_back({epoch_.time, data_.epochs.size()});
  }
}

}  // namespace qcn::rinex
