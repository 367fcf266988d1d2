// Streaming the JSON of a result to a file by path or to a writable binary stream.
#include "python/json_output.hpp"

#include <array>
#include <string>

#include "python/args.hpp"
#include "python/module_state.hpp"
#include "python/ref.hpp"
#include "python/unlocked.hpp"
#include "python/wrapper.hpp"
#include "result/json.hpp"

namespace qcn::python {
namespace {

using result::AnalysisResult;

/// Pieces handed to the stream's write(); the first failure keeps its exception set.
class StreamSink : public result::JsonSink {
 public:
  explicit StreamSink(PyObject* write) : write_(write) {}  // borrowed
  bool write(std::string_view piece) override {
    Ref bytes = Ref::steal(PyBytes_FromStringAndSize(piece.data(), static_cast<Py_ssize_t>(piece.size())));
    if (!bytes) return false;
    Ref written = Ref::steal(PyObject_CallFunctionObjArgs(write_, bytes.get(), nullptr));
    return static_cast<bool>(written);
  }

 private:
  PyObject* write_;  // borrowed from the caller's reference
};

/// The file system path of a str or os.PathLike target; nothing (no error set) for other objects.
bool path_of(PyObject* target, std::string& path, bool& is_path) {
  is_path = PyUnicode_Check(target) || PyObject_HasAttrString(target, "__fspath__");
  if (!is_path) return true;
  Ref fs_path = Ref::steal(PyOS_FSPath(target));
  if (!fs_path) return false;
  if (PyBytes_Check(fs_path.get())) {
    char* data = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_AsStringAndSize(fs_path.get(), &data, &size) < 0) return false;
    path.assign(data, static_cast<std::size_t>(size));
    return true;
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(fs_path.get(), &size);
  if (data == nullptr) return false;
  path.assign(data, static_cast<std::size_t>(size));
  return true;
}

}  // namespace

PyObject* write_result_json(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr std::array<Param, 3> params{{{"target", true}, {"pretty", false}, {"with_assessment", false}}};
  std::array<PyObject*, 3> bound{};
  if (!bind("AnalysisResult.write_json()", params, args, nargs, kwnames, bound)) return nullptr;
  bool pretty = false;
  if (bound[1] != nullptr && !to_strict_bool(bound[1], "pretty", pretty)) return nullptr;
  bool with_assessment = false;
  if (bound[2] != nullptr && !to_strict_bool(bound[2], "with_assessment", with_assessment)) return nullptr;
  const result::Sections sections = with_assessment ? result::Sections::with_assessment : result::Sections::result;
  const result::Layout layout = pretty ? result::Layout::indented : result::Layout::compact;
  parallel::Pool* pool = pool_of_instance(self);
  std::string path;
  bool is_path = false;
  if (!path_of(bound[0], path, is_path)) return nullptr;
  if (is_path) {
    return with_record<AnalysisResult>(self, [&](const AnalysisResult& r) -> PyObject* {
      const std::string error = run_unlocked([&] { return result::write_json_file(r, layout, path, pool, sections); });
      if (!error.empty()) return raise_io_error(error);
      return Py_NewRef(Py_None);
    });
  }
  Ref write = Ref::steal(PyObject_GetAttrString(bound[0], "write"));
  if (!write) {
    PyErr_SetString(PyExc_TypeError,
                    "argument 'target': expected a path (str or os.PathLike) or a binary stream with write()");
    return nullptr;
  }
  return with_record<AnalysisResult>(self, [&](const AnalysisResult& r) -> PyObject* {
    StreamSink sink(write.get());
    if (!result::write_json(r, layout, sink, pool, sections)) {
      if (!PyErr_Occurred()) PyErr_SetString(PyExc_OSError, "the stream did not take the JSON text");
      return nullptr;
    }
    return Py_NewRef(Py_None);
  });
}

}  // namespace qcn::python
