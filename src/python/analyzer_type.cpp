// The CN0Analyzer class: the analysis with a full configuration, from file paths or from parsed
// observations and navigation data.
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "cn0/analysis.hpp"
#include "python/convert.hpp"
#include "python/file_analysis.hpp"
#include "python/file_input.hpp"
#include "python/module_state.hpp"
#include "python/unlocked.hpp"
#include "python/wrapper.hpp"

namespace qcn::python {
namespace {

/// What an analyzer owns: copies, never references to interpreter objects.
struct Analyzer {
  cn0::AnalysisConfig config;
  std::shared_ptr<const rinex::RinexObsData> observations;  // set by from_obs only, shared with its object
  std::shared_ptr<const navigation::NavigationData> navigation;  // set by set_navigation, likewise
};
using Record = Analyzer;

ModuleState* state_of(PyObject* self) {
  // Sound because the class cannot be subclassed.
  return static_cast<ModuleState*>(PyType_GetModuleState(Py_TYPE(self)));
}

PyTypeObject* type_in(PyObject* ModuleState::*slot, ModuleState* state) {
  return reinterpret_cast<PyTypeObject*>(state->*slot);
}

// --- construction

PyObject* analyzer_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static constexpr std::array<Param, 1> params{{{"config", true}}};
  std::array<PyObject*, 1> bound{};
  if (!bind_tuple_call("CN0Analyzer.__new__()", params, args, kwargs, bound)) return nullptr;
  auto* state = static_cast<ModuleState*>(PyType_GetModuleState(type));
  if (!state) return nullptr;
  if (!check_instance(bound[0], "config", type_in(&ModuleState::analysis_config_type, state), "AnalysisConfig")) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* { return wrap_record(type, Record{analysis_config_record(bound[0]), {}, {}}); });
}

struct FromObsArguments {
  double min_elevation = 5.0;
  std::uint32_t time_bin_seconds = 60;
  std::optional<std::vector<std::string>> systems;
};

bool read_from_obs_arguments(const std::array<PyObject*, 4>& bound, FromObsArguments& a) {
  if (bound[1] && !to_double(bound[1], "min_elevation", a.min_elevation)) return false;
  if (bound[2] && !to_u32(bound[2], "time_bin_seconds", a.time_bin_seconds)) return false;
  if (!is_absent(bound[3])) {
    a.systems.emplace();
    if (!to_string_list(bound[3], "systems", *a.systems)) return false;
  }
  return true;
}

// A static method: it receives no instance, so the classes come from the imported module.
PyObject* from_obs(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr std::array<Param, 4> params{
      {{"obs_data", true}, {"min_elevation", false}, {"time_bin_seconds", false}, {"systems", false}}};
  std::array<PyObject*, 4> bound{};
  if (!bind("CN0Analyzer.from_obs()", params, args, nargs, kwnames, bound)) return nullptr;
  ModuleState* state = imported_module_state();
  if (!state) return nullptr;
  if (!check_instance(bound[0], "obs_data", type_in(&ModuleState::rinex_obs_type, state), "RinexObsData")) {
    return nullptr;
  }
  FromObsArguments a;
  if (!read_from_obs_arguments(bound, a)) return nullptr;
  return guarded([&]() -> PyObject* {
    cn0::AnalysisConfig config = cn0::quick_config(a.min_elevation, std::move(a.systems), a.time_bin_seconds);
    return wrap_record(type_in(&ModuleState::analyzer_type, state),
                       Record{std::move(config), shared_rinex_obs(bound[0]), {}});
  });
}

// --- the object style: stored navigation and observations

PyObject* set_navigation(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr std::array<Param, 1> params{{{"nav_data", true}}};
  std::array<PyObject*, 1> bound{};
  if (!bind("CN0Analyzer.set_navigation()", params, args, nargs, kwnames, bound)) return nullptr;
  ModuleState* state = state_of(self);
  if (!state) return nullptr;
  if (!check_instance(bound[0], "nav_data", type_in(&ModuleState::navigation_type, state), "NavigationData")) {
    return nullptr;
  }
  Payload<Record>* payload = payload_of<Record>(self);
  auto borrow = ExclusiveBorrow::acquire(payload->borrow);
  if (!borrow) return nullptr;
  return guarded([&]() -> PyObject* {
    payload->record().navigation = shared_navigation(bound[0]);
    return Py_NewRef(Py_None);
  });
}

PyObject* analyze(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) {
  if (!bind_none("CN0Analyzer.analyze()", nargs, kwnames)) return nullptr;
  return with_record<Record>(self, [&](const Record& r) -> PyObject* {
    if (!r.observations) {
      PyErr_SetString(PyExc_ValueError, "No observation data. Use analyze_file() or CN0Analyzer.from_obs()");
      return nullptr;
    }
    const navigation::NavigationData* navigation = r.navigation.get();
    cn0::AnalysisInput input = cn0::analysis_input(r.config, *r.observations, navigation);
    input.pool = analysis_pool(state_of(self));
    return new_analysis_result(state_of(self), cn0::run_analysis(input));
  });
}

// --- the file style: paths read, parsed and analysed with the interpreter lock released

/// Runs make_request(record) with the lock held, then the files' analysis without it.
///
/// The read borrow of the analyzer is held for the whole call, the unlocked part included,
/// although that part only works on its own copies: so set_navigation from another thread while
/// a file analysis runs fails with "Already borrowed" instead of changing the analyzer under a
/// running call. Any number of analyses may run at once; the borrow state itself is only changed
/// with the lock held (before releasing it and after taking it back).
template <typename MakeRequest>
PyObject* analyze_paths(PyObject* self, MakeRequest make_request) {
  ModuleState* state = state_of(self);
  if (!state) return nullptr;
  return with_record<Record>(self, [&](const Record& r) -> PyObject* {
    FileRequest request = make_request(r);
    request.reading = observation_reading(state, rinex::ObservationScope::cn0_only);
    FileAnalysis analysis = run_unlocked([&] { return analyze_files(request); });
    if (!analysis.result) return raise_input_failure(analysis.failure);
    return new_analysis_result(state, std::move(*analysis.result));
  });
}

PyObject* analyze_file(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr std::array<Param, 1> params{{{"obs_path", true}}};
  std::array<PyObject*, 1> bound{};
  if (!bind("CN0Analyzer.analyze_file()", params, args, nargs, kwnames, bound)) return nullptr;
  std::string obs_path;
  if (!to_path(bound[0], "obs_path", obs_path)) return nullptr;
  return analyze_paths(self, [&](const Record& r) { return FileRequest{r.config, obs_path, r.config.nav_file, {}, "", ""}; });
}

PyObject* analyze_with_nav(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr std::array<Param, 2> params{{{"obs_path", true}, {"nav_path", true}}};
  std::array<PyObject*, 2> bound{};
  if (!bind("CN0Analyzer.analyze_with_nav()", params, args, nargs, kwnames, bound)) return nullptr;
  std::string obs_path;
  std::string nav_path;
  if (!to_path(bound[0], "obs_path", obs_path) || !to_path(bound[1], "nav_path", nav_path)) return nullptr;
  return analyze_paths(self, [&](const Record& r) { return FileRequest{r.config, obs_path, nav_path, {}, "", ""}; });
}

constexpr int kMethodFlags = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef methods[] = {
    {"from_obs", as_cfunction<from_obs>(), kMethodFlags | METH_STATIC,
     "from_obs(obs_data, min_elevation=5.0, time_bin_seconds=60, systems=None)\n--\n\n"
     "Alternative constructor from observation data (legacy API)"},
    {"set_navigation", as_cfunction<set_navigation>(), kMethodFlags,
     "set_navigation($self, nav_data)\n--\n\nSet navigation data for satellite position computation (old API)"},
    {"analyze", as_cfunction<analyze>(), kMethodFlags,
     "analyze($self)\n--\n\nRun CN0 analysis (old API - requires obs_data set via from_obs)"},
    {"analyze_file", as_cfunction<analyze_file>(), kMethodFlags,
     "analyze_file($self, obs_path)\n--\n\nAnalyze RINEX observation file from path (new API)"},
    {"analyze_with_nav", as_cfunction<analyze_with_nav>(), kMethodFlags,
     "analyze_with_nav($self, obs_path, nav_path)\n--\n\nAnalyze with separate navigation file (new API)"},
    {nullptr, nullptr, 0, nullptr},
};

const ClassDefinition kClass = {
    "quorlin_cn0.CN0Analyzer",
    "CN0Analyzer(config)\n--\n\n"
    "Python wrapper for CN0Analyzer - supports both config-based and direct API",
    analyzer_new,
    nullptr,
    nullptr,
    methods,
};

}  // namespace

PyObject* create_analyzer_type(PyObject* module) { return create_record_type<Record>(module, kClass); }

}  // namespace qcn::python
