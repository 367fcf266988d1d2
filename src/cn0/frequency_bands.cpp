// Band digits of RINEX observation codes by system. Version 2 codes reach the analysis renamed
// (S1 as S1C, S2 as S2C, S5 as S5Q) or as written (S6, S7, S8), with the same digit either way.
#include "cn0/frequency_bands.hpp"

namespace qcn::cn0 {

namespace {

struct BandDigit {
  char system;
  char digit;
  Band band;
};

constexpr std::array<BandDigit, 28> kBandDigits{{
    {'G', '1', Band::l1}, {'G', '2', Band::l2}, {'G', '5', Band::l5},
    {'J', '1', Band::l1}, {'J', '2', Band::l2}, {'J', '5', Band::l5}, {'J', '6', Band::e6},
    {'S', '1', Band::l1}, {'S', '5', Band::l5},
    {'R', '1', Band::l1}, {'R', '4', Band::l1}, {'R', '2', Band::l2}, {'R', '6', Band::l2}, {'R', '3', Band::l5},
    {'E', '1', Band::l1}, {'E', '5', Band::l5}, {'E', '7', Band::l5}, {'E', '8', Band::l5}, {'E', '6', Band::e6},
    // BeiDou: 1 is B1C (and B1I in files of version 3.02), 2 is B1I.
    {'C', '1', Band::l1}, {'C', '2', Band::l1}, {'C', '5', Band::l5}, {'C', '7', Band::l5}, {'C', '8', Band::l5},
    {'C', '6', Band::e6},
    {'I', '1', Band::l1}, {'I', '5', Band::l5}, {'I', '9', Band::s},
}};

}  // namespace

std::string_view band_name(Band band) {
  switch (band) {
    case Band::l1: return "L1";
    case Band::l2: return "L2";
    case Band::l5: return "L5";
    case Band::e6: return "E6";
    case Band::s: return "S";
  }
  return "";
}

bool band_of(char system, std::string_view code, Band& band) {
  if (code.size() < 2) return false;
  for (const BandDigit& entry : kBandDigits) {
    if (entry.system == system && entry.digit == code[1]) {
      band = entry.band;
      return true;
    }
  }
  return false;
}

}  // namespace qcn::cn0
