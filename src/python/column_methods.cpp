// The methods that hand out a result's or an observation record's columns, and the methods of
// both classes that the module's Python part implements (frames, the HTML summary).
#include <memory>

#include "python/column.hpp"
#include "python/module_state.hpp"
#include "python/unlocked.hpp"
#include "python/wrapper.hpp"
#include "result/sample_columns.hpp"
#include "rinex/cn0_columns.hpp"

namespace qcn::python {
namespace {

ModuleState* state_of(PyObject* self) { return static_cast<ModuleState*>(PyType_GetModuleState(Py_TYPE(self))); }

constexpr const char* kTime = "datetime64[ns]";

Ref sample_dict(ModuleState* state, const result::AnalysisResult& r) {
  // The large ones are made while other interpreter threads run: the records never change.
  auto c = std::make_shared<const result::SampleColumns>(run_unlocked([&] { return result::sample_columns(r); }));
  return column_dict(state, {{"time", column_view(c, c->time_ns, kTime)},
                             {"time_index", column_view(c, c->time_index, "uint32")},
                             {"satellite", column_view(c, c->satellite)},
                             {"system", column_view(c, c->system)},
                             {"signal", column_view(c, c->signal)},
                             {"cn0", column_view(c, c->cn0, "float64")},
                             {"elevation", column_view(c, c->elevation, "float64")},
                             {"azimuth", column_view(c, c->azimuth, "float64")},
                             {"residual", column_view(c, c->residual, "float64")}});
}

Ref epoch_dict(ModuleState* state, const result::AnalysisResult& r) {
  auto c = std::make_shared<const result::EpochColumns>(result::epoch_columns(r));
  return column_dict(state, {{"time", column_view(c, c->time_ns, kTime)},
                             {"mean_cn0", column_view(c, c->mean_cn0, "float64")},
                             {"satellite_count", column_view(c, c->satellite_count, "uint64")}});
}

Ref visibility_dict(ModuleState* state, const result::AnalysisResult& r) {
  auto c = std::make_shared<const result::VisibilityColumns>(result::visibility_columns(r));
  return column_dict(state, {{"time", column_view(c, c->time_ns, kTime)},
                             {"predicted", column_view(c, c->predicted, "uint32")},
                             {"observed", column_view(c, c->observed, "uint32")},
                             {"confirmed", column_view(c, c->confirmed, "uint32")},
                             {"missing", column_view(c, c->missing, "uint32")},
                             {"unexpected", column_view(c, c->unexpected, "uint32")}});
}

Ref cn0_dict(ModuleState* state, const rinex::RinexObsData& data) {
  auto c = std::make_shared<const rinex::Cn0Columns>(run_unlocked([&] { return rinex::cn0_columns(data); }));
  return column_dict(state, {{"time", column_view(c, c->time_ns, kTime)},
                             {"satellite", column_view(c, c->satellite)},
                             {"system", column_view(c, c->system)},
                             {"signal", column_view(c, c->signal)},
                             {"cn0", column_view(c, c->cn0, "float64")}});
}

template <Ref (*Make)(ModuleState*, const result::AnalysisResult&)>
PyObject* result_columns(const char* name, PyObject* self, Py_ssize_t nargs, PyObject* kwnames) {
  if (!bind_none(name, nargs, kwnames)) return nullptr;
  ModuleState* state = state_of(self);
  return with_record<result::AnalysisResult>(self, [&](const result::AnalysisResult& r) {
    return Make(state, r).release();
  });
}

/// The function of the Python part that serves a method of self's class.
PyObject* forward(const char* module, const char* for_result, const char* for_obs, PyObject* self,
                  PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  const bool is_result = Py_TYPE(self) == reinterpret_cast<PyTypeObject*>(state_of(self)->analysis_result_type);
  return call_python_part(module, is_result ? for_result : for_obs, self, args, nargs, kwnames);
}

}  // namespace

PyObject* result_sample_columns(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) {
  return result_columns<sample_dict>("AnalysisResult.sample_columns()", self, nargs, kwnames);
}

PyObject* result_epoch_columns(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) {
  return result_columns<epoch_dict>("AnalysisResult.epoch_columns()", self, nargs, kwnames);
}

PyObject* result_visibility_columns(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) {
  return result_columns<visibility_dict>("AnalysisResult.visibility_columns()", self, nargs, kwnames);
}

PyObject* obs_cn0_columns(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) {
  if (!bind_none("RinexObsData.cn0_columns()", nargs, kwnames)) return nullptr;
  ModuleState* state = state_of(self);
  return guarded([&] { return cn0_dict(state, rinex_obs_record(self)).release(); });
}

PyObject* to_pandas(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return forward("quorlin_cn0.frames", "result_to_pandas", "obs_to_pandas", self, args, nargs, kwnames);
}

PyObject* to_xarray(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return forward("quorlin_cn0.frames", "result_to_xarray", "obs_to_xarray", self, args, nargs, kwnames);
}

PyObject* repr_html(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return forward("quorlin_cn0.report", "summary_card", "summary_card", self, args, nargs, kwnames);
}

}  // namespace qcn::python
