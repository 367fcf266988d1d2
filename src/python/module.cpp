// The quorlin_cn0 module: initialisation, attributes, classes and functions.
#include <atomic>
#include <dlfcn.h>
#include <string>
#include <unistd.h>
#include <cstdint>
#include <cstdlib>
#include <vector>
#include <algorithm>

#include "archive/unpack.hpp"
#include "python/column.hpp"
#include "python/convert.hpp"
#include "python/file_analysis.hpp"
#include "python/file_input.hpp"
#include "python/module_state.hpp"
#include "rinex/satellite_systems.hpp"
#include "python/ref.hpp"
#include "python/wrapper.hpp"
#include "cn0/analysis.hpp"
#include "navigation/nav_parser.hpp"
#include "rinex/file_reader.hpp"
#include "tle/tle_download.hpp"
#include "tle/tle_parser.hpp"
#include "rinex/obs_parser.hpp"

namespace qcn::python {
namespace {

constexpr const char* kVersion = "0.4.2";

PyObject* version(PyObject*, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) {
  if (!bind_none("version()", nargs, kwnames)) return nullptr;
  return to_py_str(kVersion).release();
}

PyObject* observations_object(ModuleState* state, FileInput<rinex::ObsParse>&& input) {
  if (!input.parsed) return raise_input_failure(input.failure);
  return new_rinex_obs(state, std::move(input.parsed->data));
}

PyObject* navigation_object(ModuleState* state, FileInput<navigation::NavParse>&& input) {
  if (!input.parsed) return raise_input_failure(input.failure);
  return new_navigation(state, std::move(input.parsed->data));
}

PyObject* read_rinex_obs(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr std::array<Param, 1> params{{{"path", true}}};
  std::array<PyObject*, 1> bound{};
  if (!bind("read_rinex_obs()", params, args, nargs, kwnames, bound)) return nullptr;
  std::string path;
  if (!to_path(bound[0], "path", path)) return nullptr;
  ModuleState* state = state_of_module(module);
  return guarded([&]() -> PyObject* {
    return observations_object(state, read_observations(path, "", observation_reading(state, rinex::ObservationScope::all)));
  });
}

// read_rinex_obs_bytes and parse_rinex share everything but their name.
PyObject* parse_bytes(const char* function, PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) {
  static constexpr std::array<Param, 2> params{{{"data", true}, {"filename", true}}};
  std::array<PyObject*, 2> bound{};
  if (!bind(function, params, args, nargs, kwnames, bound)) return nullptr;
  std::string_view data;
  std::string filename;
  if (!to_bytes(bound[0], "data", data) || !to_string(bound[1], "filename", filename)) return nullptr;
  ModuleState* state = state_of_module(module);
  return guarded([&]() -> PyObject* {
    return observations_object(
        state, parse_observation_bytes(data, filename, observation_reading(state, rinex::ObservationScope::all)));
  });
}

PyObject* read_rinex_obs_bytes(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return parse_bytes("read_rinex_obs_bytes()", module, args, nargs, kwnames);
}

PyObject* parse_rinex(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return parse_bytes("parse_rinex()", module, args, nargs, kwnames);
}

PyObject* read_navigation(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr std::array<Param, 1> params{{{"path", true}}};
  std::array<PyObject*, 1> bound{};
  if (!bind("read_navigation()", params, args, nargs, kwnames, bound)) return nullptr;
  std::string path;
  if (!to_path(bound[0], "path", path)) return nullptr;
  ModuleState* state = state_of_module(module);
  return guarded([&]() -> PyObject* {
    return navigation_object(state, read_navigation_file(path, "", state->decompression_limit));
  });
}

PyObject* read_navigation_bytes(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr std::array<Param, 1> params{{{"data", true}}};
  std::array<PyObject*, 1> bound{};
  if (!bind("read_navigation_bytes()", params, args, nargs, kwnames, bound)) return nullptr;
  std::string_view data;
  if (!to_bytes(bound[0], "data", data)) return nullptr;
  ModuleState* state = state_of_module(module);
  return guarded([&]() -> PyObject* {
    return navigation_object(state, parse_navigation_bytes(data, state->decompression_limit));
  });
}

struct QuickArguments {
  std::string obs_path;
  std::optional<std::string> nav_path;
  double min_elevation = 5.0;
  std::optional<std::vector<std::string>> systems;
};

bool read_quick_arguments(const std::array<PyObject*, 4>& bound, QuickArguments& a) {
  if (!to_path(bound[0], "obs_path", a.obs_path)) return false;
  if (!is_absent(bound[1])) {
    a.nav_path.emplace();
    if (!to_path(bound[1], "nav_path", *a.nav_path)) return false;
  }
  if (bound[2] && !to_double(bound[2], "min_elevation", a.min_elevation)) return false;
  if (!is_absent(bound[3])) {
    a.systems.emplace();
    if (!to_string_list(bound[3], "systems", *a.systems)) return false;
  }
  return true;
}

PyObject* analyze_cn0(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr std::array<Param, 4> params{
      {{"obs_path", true}, {"nav_path", false}, {"min_elevation", false}, {"systems", false}}};
  std::array<PyObject*, 4> bound{};
  if (!bind("analyze_cn0()", params, args, nargs, kwnames, bound)) return nullptr;
  QuickArguments a;
  if (!read_quick_arguments(bound, a)) return nullptr;
  ModuleState* state = state_of_module(module);
  return guarded([&]() -> PyObject* {
    FileRequest request{cn0::quick_config(a.min_elevation, std::move(a.systems)), std::move(a.obs_path),
                        std::move(a.nav_path), observation_reading(state, rinex::ObservationScope::cn0_only),
                        "Cannot read obs file: ", "Cannot read nav file: "};
    FileAnalysis analysis = analyze_files(request);
    if (!analysis.result) return raise_input_failure(analysis.failure);
    return new_analysis_result(state, std::move(*analysis.result));
  });
}

// Plain data come back as the same bytes object, without a copy.
PyObject* decompress(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr std::array<Param, 2> params{{{"data", true}, {"filename", false}}};
  std::array<PyObject*, 2> bound{};
  if (!bind("decompress()", params, args, nargs, kwnames, bound)) return nullptr;
  std::string_view data;
  std::string filename;
  if (!to_bytes(bound[0], "data", data) || (bound[1] && !to_string(bound[1], "filename", filename))) return nullptr;
  ModuleState* state = state_of_module(module);
  return guarded([&]() -> PyObject* {
    archive::Unpacked unpacked = archive::unpack(data, filename, state->decompression_limit);
    if (!unpacked.ok()) return raise_parse_error(undecodable_message(unpacked.failure, state->decompression_limit));
    std::string_view plain = unpacked.bytes.view();
    Ref bytes = unpacked.layers == 0 ? Ref::borrow(bound[0])
                                     : Ref::steal(PyBytes_FromStringAndSize(plain.data(), static_cast<Py_ssize_t>(plain.size())));
    if (!bytes) return nullptr;
    unpacked.bytes.release();
    Ref name = to_py_str(unpacked.name);
    if (!name) return nullptr;
    return PyTuple_Pack(2, bytes.get(), name.get());
  });
}

PyObject* get_decompression_limit(PyObject* module, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) {
  if (!bind_none("get_decompression_limit()", nargs, kwnames)) return nullptr;
  return PyLong_FromUnsignedLongLong(state_of_module(module)->decompression_limit);
}

PyObject* set_decompression_limit(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr std::array<Param, 1> params{{{"max_bytes", true}}};
  std::array<PyObject*, 1> bound{};
  if (!bind("set_decompression_limit()", params, args, nargs, kwnames, bound)) return nullptr;
  std::uint64_t limit = 0;
  if (!to_u64(bound[0], "max_bytes", limit)) return nullptr;
  state_of_module(module)->decompression_limit = limit;
  return Py_NewRef(Py_None);
}

// The interpreter lock stays held while curl runs: the download is one short call.
PyObject* download_tle(PyObject*, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) {
  if (!bind_none("download_tle()", nargs, kwnames)) return nullptr;
  return guarded([&]() -> PyObject* {
    std::optional<std::string> text = tle::download_tle();
    if (!text) return raise_io_error("Failed to download TLE from all sources");
    return to_py_str(*text).release();
  });
}

PyObject* parse_tle_content(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr std::array<Param, 1> params{{{"content", true}}};
  std::array<PyObject*, 1> bound{};
  if (!bind("parse_tle_content()", params, args, nargs, kwnames, bound)) return nullptr;
  std::string content;
  if (!to_string(bound[0], "content", content)) return nullptr;
  return guarded([&]() -> PyObject* { return to_py_int(tle::count_gnss_satellites(content)).release(); });
}

/// The systems table as dictionaries, one per system letter, for the command line and for callers
/// that name systems.
PyObject* satellite_systems(PyObject*, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) {
  if (!bind_none("satellite_systems()", nargs, kwnames)) return nullptr;
  Ref list = Ref::steal(PyList_New(0));
  if (!list) return nullptr;
  for (const rinex::SatelliteSystem& system : rinex::kSatelliteSystems) {
    Ref entry = Ref::steal(PyDict_New());
    if (!entry) return nullptr;
    const bool filled = dict_set(entry.get(), to_py_str("letter"), to_py_str(std::string_view(&system.letter, 1))) &&
                        dict_set(entry.get(), to_py_str("name"), to_py_str(system.display_name)) &&
                        dict_set(entry.get(), to_py_str("result_name"), to_py_str(system.name)) &&
                        dict_set(entry.get(), to_py_str("raw_name"), to_py_str(system.raw_name)) &&
                        dict_set(entry.get(), to_py_str("skyplot_name"), to_py_str(system.skyplot_name)) &&
                        dict_set(entry.get(), to_py_str("alias"), to_py_str(system.alias)) &&
                        dict_set(entry.get(), to_py_str("expected_satellites"), to_py_int(system.expected_satellites));
    if (!filled || PyList_Append(list.get(), entry.get()) < 0) return nullptr;
  }
  return list.release();
}

constexpr int kFunctionFlags = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef functions[] = {
    {"read_rinex_obs", as_cfunction<read_rinex_obs>(), kFunctionFlags,
     "read_rinex_obs(path)\n--\n\nRead RINEX observation file from path"},
    {"read_rinex_obs_bytes", as_cfunction<read_rinex_obs_bytes>(), kFunctionFlags,
     "read_rinex_obs_bytes(data, filename)\n--\n\nRead RINEX observation file from bytes"},
    {"parse_rinex", as_cfunction<parse_rinex>(), kFunctionFlags,
     "parse_rinex(data, filename)\n--\n\nAlias for read_rinex_obs_bytes - parse RINEX from bytes"},
    {"read_navigation", as_cfunction<read_navigation>(), kFunctionFlags,
     "read_navigation(path)\n--\n\nRead navigation file from path"},
    {"read_navigation_bytes", as_cfunction<read_navigation_bytes>(), kFunctionFlags,
     "read_navigation_bytes(data)\n--\n\nRead navigation file from bytes"},
    {"analyze_cn0", as_cfunction<analyze_cn0>(), kFunctionFlags,
     "analyze_cn0(obs_path, nav_path=None, min_elevation=5.0, systems=None)\n--\n\nQuick analysis function"},
    {"version", as_cfunction<version>(), kFunctionFlags, "version()\n--\n\nGet library version"},
    {"download_tle", as_cfunction<download_tle>(), kFunctionFlags,
     "download_tle()\n--\n\nDownload GNSS TLE from CelesTrak"},
    {"parse_tle_content", as_cfunction<parse_tle_content>(), kFunctionFlags,
     "parse_tle_content(content)\n--\n\nParse TLE content and return satellite count"},
    {"decompress", as_cfunction<decompress>(), kFunctionFlags,
     "decompress(data, filename='')\n--\n\nDecode gzip, Unix compress, bzip2, zip and compact RINEX data, also "
     "nested: returns the plain bytes (plain data unchanged) and the file name without its compression suffixes"},
    {"get_decompression_limit", as_cfunction<get_decompression_limit>(), kFunctionFlags,
     "get_decompression_limit()\n--\n\nThe most bytes one decoded layer of a compressed input may take"},
    {"set_decompression_limit", as_cfunction<set_decompression_limit>(), kFunctionFlags,
     "set_decompression_limit(max_bytes)\n--\n\nSet the most bytes one decoded layer of a compressed input "
     "may take (4 GiB unless set); larger inputs raise ValueError"},
    {"satellite_systems", as_cfunction<satellite_systems>(), kFunctionFlags,
     "satellite_systems()\n--\n\nThe satellite systems as dictionaries: letter, name (as the command line shows it), "
     "result_name, raw_name and skyplot_name (as results name it), alias and expected_satellites"},
    {nullptr, nullptr, 0, nullptr},
};

int module_traverse(PyObject* module, visitproc visit, void* arg) {
  ModuleState* state = state_of_module(module);
  if (state) {
    Py_VISIT(state->rinex_obs_type);
    Py_VISIT(state->navigation_type);
    Py_VISIT(state->analysis_config_type);
    Py_VISIT(state->analyzer_type);
    Py_VISIT(state->analysis_result_type);
    Py_VISIT(state->quality_score_type);
    Py_VISIT(state->column_type);
  }
  return 0;
}

int module_clear(PyObject* module) {
  ModuleState* state = state_of_module(module);
  if (state) {
    Py_CLEAR(state->rinex_obs_type);
    Py_CLEAR(state->navigation_type);
    Py_CLEAR(state->analysis_config_type);
    Py_CLEAR(state->analyzer_type);
    Py_CLEAR(state->analysis_result_type);
    Py_CLEAR(state->quality_score_type);
    Py_CLEAR(state->column_type);
  }
  return 0;
}

void module_free(void* module) {
  module_clear(static_cast<PyObject*>(module));
  if (ModuleState* state = state_of_module(static_cast<PyObject*>(module))) {
    // A pool made by this process: its workers wait for work and are joined here.
    if (state->pool != nullptr && state->pool_process == ::getpid()) delete state->pool;
    state->pool = nullptr;
  }
}

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "quorlin_cn0",
    "C/N0 signal-quality analysis of GNSS receivers from RINEX observation files.",
    sizeof(ModuleState),
    nullptr,  // functions are added after the attributes and classes
    nullptr,
    module_traverse,
    module_clear,
    module_free,
};

int add_type(PyObject* module, PyObject* type, PyObject*& slot) {
  if (!type) return -1;
  slot = type;  // the state owns it
  return PyModule_AddType(module, reinterpret_cast<PyTypeObject*>(type));
}

/// The module's Python part (frames, plots, reports) lives in the folder quorlin_cn0 beside the
/// extension's file: listing it as the module's __path__ lets "import quorlin_cn0.plot" find it
/// while the extension stays the module itself.
int set_package_path(PyObject* module) {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&set_package_path), &info) == 0 || info.dli_fname == nullptr) return 0;
  std::string folder = info.dli_fname;
  const std::size_t slash = folder.rfind('/');
  folder = (slash == std::string::npos ? std::string(".") : folder.substr(0, slash)) + "/quorlin_cn0";
  Ref path = Ref::steal(PyList_New(1));
  Ref text = to_py_str(folder);
  if (!path || !text) return -1;
  PyList_SetItem(path.get(), 0, text.release());
  return PyModule_AddObjectRef(module, "__path__", path.get());
}

// Attributes first, then the classes, then the functions.
int fill_module(PyObject* module) {
  ModuleState* state = state_of_module(module);
  state->decompression_limit = archive::kDefaultOutputLimit;
  if (PyModule_AddStringConstant(module, "VERSION", kVersion) < 0) return -1;
  if (PyModule_AddStringConstant(module, "__version__", kVersion) < 0) return -1;
  if (add_type(module, create_rinex_obs_type(module), state->rinex_obs_type) < 0) return -1;
  if (add_type(module, create_navigation_type(module), state->navigation_type) < 0) return -1;
  if (add_type(module, create_analysis_config_type(module), state->analysis_config_type) < 0) return -1;
  if (add_type(module, create_analyzer_type(module), state->analyzer_type) < 0) return -1;
  if (add_type(module, create_analysis_result_type(module), state->analysis_result_type) < 0) return -1;
  if (add_type(module, create_quality_score_type(module), state->quality_score_type) < 0) return -1;
  if (add_type(module, create_column_type(module), state->column_type) < 0) return -1;
  if (set_package_path(module) < 0) return -1;
  return PyModule_AddFunctions(module, functions);
}

// The module serves one interpreter per process: the one that first initialises it.
std::atomic<std::int64_t> owner_interpreter{-1};
PyObject* first_module = nullptr;  // strong reference, kept for the life of the process

PyObject* init_module() {
  std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (id == -1 && PyErr_Occurred()) return nullptr;
  std::int64_t expected = -1;
  if (!owner_interpreter.compare_exchange_strong(expected, id) && expected != id) {
    PyErr_SetString(PyExc_ImportError,
                    "quorlin_cn0 does not support sub-interpreters: it can be imported in one interpreter "
                    "per process only");
    return nullptr;
  }
  if (first_module) return Py_NewRef(first_module);
  Ref module = Ref::steal(PyModule_Create(&module_def));
  if (!module || fill_module(module.get()) < 0) return nullptr;
  first_module = Py_NewRef(module.get());
  return module.release();
}

}  // namespace

ModuleState* state_of_module(PyObject* module) { return static_cast<ModuleState*>(PyModule_GetState(module)); }

namespace {

/// QUORLIN_CN0_THREADS when set to a count from 1 to 1024 (one thread per call suits batches of
/// files analysed side by side), else the processors this process may run on.
unsigned pool_threads() {
  if (const char* text = std::getenv("QUORLIN_CN0_THREADS")) {
    char* end = nullptr;
    const long count = std::strtol(text, &end, 10);
    if (end != text && *end == '\0' && count >= 1 && count <= 1024) return static_cast<unsigned>(count);
  }
  return parallel::hardware_threads();
}

}  // namespace

parallel::Pool* analysis_pool(ModuleState* state) {
  // A forked child has none of its parent's threads: it makes a pool of its own, and leaves the
  // parent's (whose locks may have been held at the fork) untouched.
  const std::int64_t process = ::getpid();
  if (state->pool == nullptr || state->pool_process != process) {
    state->pool = new parallel::Pool(pool_threads());
    state->pool_process = process;
  }
  return state->pool;
}

parallel::Pool* pool_of_instance(PyObject* self) {
  return analysis_pool(static_cast<ModuleState*>(PyType_GetModuleState(Py_TYPE(self))));
}

ObservationReading observation_reading(ModuleState* state, rinex::ObservationScope scope) {
  return {state->decompression_limit, analysis_pool(state), scope};
}

ModuleState* imported_module_state() {
  if (!first_module) {
    PyErr_SetString(PyExc_RuntimeError, "quorlin_cn0 is not initialised");
    return nullptr;
  }
  return state_of_module(first_module);
}

PyObject* call_python_part(const char* module, const char* function, PyObject* self, PyObject* const* args,
                           Py_ssize_t nargs, PyObject* kwnames) {
  Ref part = Ref::steal(PyImport_ImportModule(module));
  if (!part) return nullptr;
  Ref callable = Ref::steal(PyObject_GetAttrString(part.get(), function));
  if (!callable) return nullptr;
  const Py_ssize_t count = nargs + (kwnames != nullptr ? PyTuple_Size(kwnames) : 0);
  std::vector<PyObject*> all(static_cast<std::size_t>(count) + 1);
  all[0] = self;
  std::copy_n(args, count, all.begin() + 1);
  return PyObject_Vectorcall(callable.get(), all.data(), static_cast<std::size_t>(nargs) + 1, kwnames);
}

PyObject* raise_parse_error(std::string_view message) {
  Ref text = to_py_str(message);
  if (text) PyErr_SetObject(PyExc_ValueError, text.get());
  return nullptr;
}

PyObject* raise_io_error(const std::string& message) {
  Ref text = to_py_str(message);
  if (text) PyErr_SetObject(PyExc_OSError, text.get());
  return nullptr;
}

}  // namespace qcn::python

PyMODINIT_FUNC PyInit_quorlin_cn0() {
  return qcn::python::guarded([] { return qcn::python::init_module(); });
}
