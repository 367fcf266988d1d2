// The RinexObsData class: a parsed observation file for inspection.
#include <string>

#include "python/column.hpp"
#include "python/convert.hpp"
#include "python/module_state.hpp"
#include "python/wrapper.hpp"
#include "rinex/snr_statistics.hpp"
#include "rinex/text.hpp"

namespace qcn::python {
namespace {

using rinex::RinexObsData;
using Record = RinexObsData;

// --- properties

PyObject* get_num_epochs(PyObject* self, void*) {
  return with_record<Record>(self, [](const Record& r) { return to_py_int(r.epochs.size()).release(); });
}
PyObject* get_num_satellites(PyObject* self, void*) {
  return with_record<Record>(self, [](const Record& r) { return to_py_int(unique_satellite_count(r)).release(); });
}
PyObject* get_version(PyObject* self, void*) {
  return with_record<Record>(self, [](const Record& r) { return to_py_float(r.version).release(); });
}
PyObject* get_marker_name(PyObject* self, void*) {
  return with_record<Record>(self, [](const Record& r) { return to_py_str(r.marker_name).release(); });
}
PyObject* get_receiver_type(PyObject* self, void*) {
  return with_record<Record>(self, [](const Record& r) { return to_py_str(r.receiver_type).release(); });
}
PyObject* get_interval(PyObject* self, void*) {
  return with_record<Record>(self, [](const Record& r) { return to_py_float(r.interval).release(); });
}

// --- methods

PyObject* satellites_by_system(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) {
  if (!bind_none("RinexObsData.satellites_by_system()", nargs, kwnames)) return nullptr;
  return with_record<Record>(self, [](const Record& r) {
    return to_py_dict(rinex::satellites_by_system(r), to_py_str_list).release();
  });
}

PyObject* obs_types_by_system(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) {
  if (!bind_none("RinexObsData.obs_types_by_system()", nargs, kwnames)) return nullptr;
  return with_record<Record>(self, [](const Record& r) { return to_py_dict(r.obs_types, to_py_str_list).release(); });
}

PyObject* snr_availability(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) {
  if (!bind_none("RinexObsData.snr_availability()", nargs, kwnames)) return nullptr;
  return with_record<Record>(self, [](const Record& r) {
    return to_py_dict(r.obs_types, [](const std::vector<std::string>& codes) {
             bool any = false;
             for (const std::string& code : codes) any = any || rinex::is_cn0_code(code);
             return to_py_bool(any);
           })
        .release();
  });
}

rinex::OrderedMap<std::string> debug_entries(const Record& r) {
  rinex::OrderedMap<std::string> info;
  info["version"] = rinex::fixed_text(r.version, 2);
  info["num_epochs"] = std::to_string(r.epochs.size());
  info["num_satellites"] = std::to_string(unique_satellite_count(r));
  for (const auto& [system, satellites] : rinex::satellites_by_system(r)) {
    info[system + "_satellites"] = std::to_string(satellites.size());
    info[system + "_sat_list"] = joined(satellites, ",");
  }
  for (const auto& [system, codes] : r.obs_types) {
    std::vector<std::string> snr_codes;
    for (const std::string& code : codes) {
      if (rinex::is_cn0_code(code)) snr_codes.push_back(code);
    }
    info[system + "_obs_types_count"] = std::to_string(codes.size());
    info[system + "_obs_types"] = joined(codes, ",");
    info[system + "_snr_types"] = joined(snr_codes, ",");
  }
  return info;
}

PyObject* debug_info(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) {
  if (!bind_none("RinexObsData.debug_info()", nargs, kwnames)) return nullptr;
  return with_record<Record>(self, [](const Record& r) { return to_py_dict(debug_entries(r), to_py_str).release(); });
}

PyObject* snr_stats_by_satellite(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) {
  if (!bind_none("RinexObsData.snr_stats_by_satellite()", nargs, kwnames)) return nullptr;
  return with_record<Record>(self, [](const Record& r) {
    return to_py_dict(rinex::snr_figures_by_satellite(r), [](const rinex::SnrFigures& s) {
             rinex::OrderedMap<double> inner;
             inner["obs_count"] = static_cast<double>(s.count);
             inner["valid_count"] = static_cast<double>(s.valid);
             inner["mean_snr"] = s.valid > 0 ? s.valid_sum / static_cast<double>(s.valid) : 0.0;
             return to_py_dict(inner, to_py_float);
           })
        .release();
  });
}

PyObject* repr(PyObject* self) {
  return with_record<Record>(self, [](const Record& r) {
    std::string text = "RinexObsData(version=" + rinex::fixed_text(r.version, 2) +
                       ", epochs=" + std::to_string(r.epochs.size()) +
                       ", satellites=" + std::to_string(unique_satellite_count(r)) + ")";
    return to_py_str(text).release();
  });
}

PyGetSetDef getset[] = {
    {"num_epochs", get_num_epochs, nullptr, "Get number of epochs", nullptr},
    {"num_satellites", get_num_satellites, nullptr, "Get number of satellites", nullptr},
    {"version", get_version, nullptr, "Get RINEX version", nullptr},
    {"marker_name", get_marker_name, nullptr, "Get marker name", nullptr},
    {"receiver_type", get_receiver_type, nullptr, "Get receiver type", nullptr},
    {"interval", get_interval, nullptr, "Get interval", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// Not METH_METHOD: its bound methods hide their docstring. Methods that need the module state
// take it from Py_TYPE(self), which is sound because the class cannot be subclassed.
constexpr int kMethodFlags = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef methods[] = {
    {"satellites_by_system", as_cfunction<satellites_by_system>(),
     kMethodFlags,
     "satellites_by_system($self)\n--\n\nGet satellites grouped by constellation system\n"
     "Returns dict like {'G': ['G01', 'G02', ...], 'R': ['R01', ...], ...}"},
    {"obs_types_by_system", as_cfunction<obs_types_by_system>(),
     kMethodFlags,
     "obs_types_by_system($self)\n--\n\nGet observation types by constellation system\n"
     "Returns dict like {'G': ['C1C', 'L1C', 'S1C', ...], 'C': ['C1I', 'L1I', 'S1I', ...], ...}"},
    {"snr_availability", as_cfunction<snr_availability>(), kMethodFlags,
     "snr_availability($self)\n--\n\nCheck if S (SNR) observations exist for each system"},
    {"debug_info", as_cfunction<debug_info>(), kMethodFlags,
     "debug_info($self)\n--\n\nGet detailed debug info about parsing"},
    {"snr_stats_by_satellite", as_cfunction<snr_stats_by_satellite>(),
     kMethodFlags,
     "snr_stats_by_satellite($self)\n--\n\nGet SNR statistics per satellite\n"
     "Returns HashMap with satellite ID as key, stats dict as value"},
    {"cn0_columns", as_cfunction<obs_cn0_columns>(), kMethodFlags,
     "cn0_columns($self)\n--\n\nThe C/N0 values (codes beginning with S) as columns: a dict of read-only Column "
     "objects time, satellite, system, signal and cn0, one row per value, for numpy.asarray"},
    {"to_pandas", as_cfunction<to_pandas>(), kMethodFlags,
     "to_pandas($self)\n--\n\nThe C/N0 values as a pandas DataFrame, one row per value (needs pandas)"},
    {"to_xarray", as_cfunction<to_xarray>(), kMethodFlags,
     "to_xarray($self)\n--\n\nThe C/N0 values as an xarray Dataset over time, satellite and signal (needs "
     "xarray)"},
    {nullptr, nullptr, 0, nullptr},
};

const ClassDefinition kClass = {
    "quorlin_cn0.RinexObsData",
    "Python wrapper for RinexObsData",
    nullptr,
    repr,
    getset,
    methods,
};

}  // namespace

PyObject* create_rinex_obs_type(PyObject* module) { return create_record_type<Record>(module, kClass); }

PyObject* new_rinex_obs(ModuleState* state, rinex::RinexObsData&& data) {
  return wrap_record(reinterpret_cast<PyTypeObject*>(state->rinex_obs_type), std::move(data));
}

const rinex::RinexObsData& rinex_obs_record(PyObject* object) { return payload_of<Record>(object)->record(); }

std::shared_ptr<const rinex::RinexObsData> shared_rinex_obs(PyObject* object) { return payload_of<Record>(object)->held; }

}  // namespace qcn::python
