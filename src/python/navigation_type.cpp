// The NavigationData class: what a parsed navigation file holds, per constellation.
#include <optional>
#include <string>

#include "navigation/nav_data.hpp"
#include "python/convert.hpp"
#include "python/module_state.hpp"
#include "python/wrapper.hpp"

namespace qcn::python {
namespace {

using Record = navigation::NavigationData;

// Satellites with at least one record; QZSS satellites are counted with GPS, where they are stored.
struct Counts {
  std::uint64_t gps, glonass, galileo, beidou;
  std::uint64_t total() const { return gps + glonass + galileo + beidou; }
};

Counts counts_of(const Record& r) {
  return {r.gps_ephemerides.size(), r.glonass_ephemerides.size(), r.galileo_ephemerides.size(),
          r.beidou_ephemerides.size()};
}

template <std::uint64_t Counts::*Field>
PyObject* get_count(PyObject* self, void*) {
  return with_record<Record>(self, [](const Record& r) { return to_py_int(counts_of(r).*Field).release(); });
}

PyObject* get_satellite_count(PyObject* self, void*) {
  return with_record<Record>(self, [](const Record& r) { return to_py_int(counts_of(r).total()).release(); });
}

PyObject* get_records_by_system(PyObject* self, void*) {
  return with_record<Record>(self, [](const Record& r) {
    return to_py_dict(r.records_by_system, [](std::uint64_t count) { return to_py_int(count); }).release();
  });
}

/// (year, month, day, hour, minute, second) of a time of clock, or None.
Ref time_tuple(const std::optional<rinex::EpochTime>& time) {
  if (!time) return Ref::borrow(Py_None);
  return Ref::steal(Py_BuildValue("(iIIIId)", time->year, time->month, time->day, time->hour, time->minute,
                                  time->second));
}

template <std::optional<rinex::EpochTime> Record::*Field>
PyObject* get_record_time(PyObject* self, void*) {
  return with_record<Record>(self, [](const Record& r) { return time_tuple(r.*Field).release(); });
}

PyObject* has_data(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) {
  if (!bind_none("NavigationData.has_data()", nargs, kwnames)) return nullptr;
  return with_record<Record>(self, [](const Record& r) { return to_py_bool(counts_of(r).total() > 0).release(); });
}

PyObject* repr(PyObject* self) {
  return with_record<Record>(self, [](const Record& r) {
    Counts c = counts_of(r);
    std::string text = "NavigationData(GPS=" + std::to_string(c.gps) + ", GLONASS=" + std::to_string(c.glonass) +
                       ", Galileo=" + std::to_string(c.galileo) + ", BeiDou=" + std::to_string(c.beidou) + ")";
    return to_py_str(text).release();
  });
}

PyGetSetDef getset[] = {
    {"satellite_count", get_satellite_count, nullptr, "Get satellite count", nullptr},
    {"gps_count", get_count<&Counts::gps>, nullptr, "Get GPS satellite count", nullptr},
    {"glonass_count", get_count<&Counts::glonass>, nullptr, "Get GLONASS satellite count", nullptr},
    {"galileo_count", get_count<&Counts::galileo>, nullptr, "Get Galileo satellite count", nullptr},
    {"beidou_count", get_count<&Counts::beidou>, nullptr, "Get BeiDou satellite count", nullptr},
    {"records_by_system", get_records_by_system, nullptr,
     "Records per system letter, kept or not (SBAS, NavIC), in order of first appearance", nullptr},
    {"first_record", get_record_time<&Record::first_record>, nullptr,
     "Earliest time of clock of the records as (year, month, day, hour, minute, second), or None", nullptr},
    {"last_record", get_record_time<&Record::last_record>, nullptr,
     "Latest time of clock of the records as (year, month, day, hour, minute, second), or None", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef methods[] = {
    {"has_data", as_cfunction<has_data>(), METH_FASTCALL | METH_KEYWORDS,
     "has_data($self)\n--\n\nCheck if navigation data is available"},
    {nullptr, nullptr, 0, nullptr},
};

const ClassDefinition kClass = {
    "quorlin_cn0.NavigationData",
    "Python wrapper for NavigationData",
    nullptr,
    repr,
    getset,
    methods,
};

}  // namespace

PyObject* create_navigation_type(PyObject* module) { return create_record_type<Record>(module, kClass); }

PyObject* new_navigation(ModuleState* state, navigation::NavigationData&& data) {
  return wrap_record(reinterpret_cast<PyTypeObject*>(state->navigation_type), std::move(data));
}

const navigation::NavigationData& navigation_record(PyObject* object) { return payload_of<Record>(object)->record(); }

std::shared_ptr<const navigation::NavigationData> shared_navigation(PyObject* object) {
  return payload_of<Record>(object)->held;
}

}  // namespace qcn::python
