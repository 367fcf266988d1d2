// The module's state: its classes, kept on the module object rather than in globals.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <type_traits>

#include "python/args.hpp"
#include "python/file_input.hpp"
#include "parallel/thread_pool.hpp"
#include "python/limited_api.hpp"
#include "cn0/analysis_config.hpp"
#include "cn0/quality.hpp"
#include "navigation/nav_data.hpp"
#include "result/analysis_result.hpp"
#include "rinex/obs_data.hpp"
#include "rinex/obs_parser.hpp"

namespace qcn::python {

/// Owned by the module object, zero-filled by the interpreter; cleared in m_clear.
struct ModuleState {
  PyObject* rinex_obs_type;
  PyObject* navigation_type;
  PyObject* analysis_config_type;
  PyObject* analyzer_type;
  PyObject* analysis_result_type;
  PyObject* quality_score_type;
  PyObject* column_type;
  std::uint64_t decompression_limit;  // bytes each decoded layer of an input may take
  parallel::Pool* pool;  // the threads of parsing and analysis, owned; made for the process using it
  std::int64_t pool_process;  // the process that made pool: a forked child makes its own
};
static_assert(std::is_trivial_v<ModuleState>);

ModuleState* state_of_module(PyObject* module);

/// The pool of threads sized to the machine, made on first use in this process.
parallel::Pool* analysis_pool(ModuleState* state);

/// The pool of the module whose class made self (the module's classes cannot be subclassed).
parallel::Pool* pool_of_instance(PyObject* self);

/// How observations are read for an analysis (C/N0 values alone) or for inspection (everything).
ObservationReading observation_reading(ModuleState* state, rinex::ObservationScope scope);

/// The state of the module this process imported (it serves one interpreter only), for calls
/// that receive neither the module nor an instance, such as static methods. Null with an
/// exception set before the module is initialised.
ModuleState* imported_module_state();

/// The vectorcall signature of functions and methods with keywords.
using FastFunction = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

/// A vectorcall function as the method table stores it.
template <FastFunction F>
PyCFunction as_cfunction() {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(F));
}

/// Binds a call to a fixed parameter table (see bind_arguments).
template <std::size_t N>
bool bind(const char* function, const std::array<Param, N>& params, PyObject* const* args, Py_ssize_t nargs,
          PyObject* kwnames, std::array<PyObject*, N>& out) {
  return bind_arguments(function, params, args, nargs, kwnames, out);
}

/// Binds a call that takes no arguments.
inline bool bind_none(const char* function, Py_ssize_t nargs, PyObject* kwnames) {
  std::array<PyObject*, 0> none{};
  return python::bind(function, std::array<Param, 0>{}, nullptr, nargs, kwnames, none);
}

/// Raises the exception of a core parse error (ValueError with its message).
PyObject* raise_parse_error(std::string_view message);

/// Raises OSError (IOError) with a message.
PyObject* raise_io_error(const std::string& message);

/// Creates the RinexObsData class for the module (new ref).
PyObject* create_rinex_obs_type(PyObject* module);

/// A new RinexObsData object owning data (new ref).
PyObject* new_rinex_obs(ModuleState* state, rinex::RinexObsData&& data);

/// Creates the NavigationData class for the module (new ref).
PyObject* create_navigation_type(PyObject* module);

/// A new NavigationData object owning data (new ref).
PyObject* new_navigation(ModuleState* state, navigation::NavigationData&& data);

/// Creates the AnalysisConfig class (new ref).
PyObject* create_analysis_config_type(PyObject* module);
/// The record of an AnalysisConfig object.
const cn0::AnalysisConfig& analysis_config_record(PyObject* object);

/// Creates the CN0Analyzer class (new ref).
PyObject* create_analyzer_type(PyObject* module);

/// Creates the AnalysisResult class (new ref).
PyObject* create_analysis_result_type(PyObject* module);
/// A new AnalysisResult object owning data (new ref).
PyObject* new_analysis_result(ModuleState* state, result::AnalysisResult&& data);

/// Creates the QualityScore class (new ref).
PyObject* create_quality_score_type(PyObject* module);
/// A new QualityScore object owning rating (new ref).
PyObject* new_quality_score(ModuleState* state, cn0::QualityRating&& rating);

/// Calls function(self, *args, **kwargs) of the module's Python part (module such as
/// "quorlin_cn0.frames"), for the methods written in Python (new ref, or null with an exception).
PyObject* call_python_part(const char* module, const char* function, PyObject* self, PyObject* const* args,
                           Py_ssize_t nargs, PyObject* kwnames);

/// The record of a RinexObsData object.
const rinex::RinexObsData& rinex_obs_record(PyObject* object);
/// The record of a RinexObsData object, shared with it (records never change once parsed).
std::shared_ptr<const rinex::RinexObsData> shared_rinex_obs(PyObject* object);

/// The record of a NavigationData object.
const navigation::NavigationData& navigation_record(PyObject* object);
/// The record of a NavigationData object, shared with it.
std::shared_ptr<const navigation::NavigationData> shared_navigation(PyObject* object);

}  // namespace qcn::python
