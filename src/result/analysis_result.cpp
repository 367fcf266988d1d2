#include "result/analysis_result.hpp"

// The record is plain data; its defaults are the values of an analysis that found nothing.
static_assert(sizeof(qcn::result::TimeseriesPoint) == 32);
static_assert(sizeof(qcn::result::SkyplotPoint) == 24);
