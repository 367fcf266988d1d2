// Building epochs in the flat observation arrays.
#include "rinex/obs_records.hpp"

namespace qcn::rinex {

EpochBuilder::EpochBuilder(RinexObsData& data, std::size_t code_count)
    : data_(data), numbering_(data.satellite_ids), code_serial_(code_count, 0), code_slot_(code_count, 0) {}

void EpochBuilder::begin_epoch(const EpochTime& time, std::uint8_t flag) {
  epoch_ = ObservationEpoch{time, flag, 0, data_.satellites.size()};
  ++epoch_serial_;
}

void EpochBuilder::begin_satellite(SatelliteId satellite) {
  satellite_ = SatelliteObservations{satellite, 0, data_.observations.size()};
  has_value_ = false;
  ++satellite_serial_;
}

SatelliteObservations* EpochBuilder::earlier_listing(std::uint32_t number) {
  if (number >= number_epoch_.size()) {
    // A satellite numbered for the first time: the tables grow once per satellite of the file.
    number_epoch_.resize(number + 1, 0);
    number_place_.resize(number + 1, 0);
    return nullptr;
  }
  if (number_epoch_[number] != epoch_serial_) return nullptr;
  return &data_.satellites[number_place_[number]];
}

void EpochBuilder::end_satellite() {
  if (satellite_.observation_count == 0 && !has_value_) return;
  const std::uint32_t number = numbering_.number_of(satellite_.satellite);
  if (SatelliteObservations* earlier = earlier_listing(number)) {
    // The later listing replaces the earlier one; its values stay behind unused.
    earlier->first_observation = satellite_.first_observation;
    earlier->observation_count = satellite_.observation_count;
    return;
  }
  satellite_.number = number;
  number_epoch_[number] = epoch_serial_;
  number_place_[number] = data_.satellites.size();
  data_.satellites.push_back(satellite_);
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
