// Binding of call arguments to parameters, and the typed converters, with the module's
// argument-error texts.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "python/limited_api.hpp"

namespace qcn::python {

/// One parameter of a function: its name and whether it has a default.
struct Param {
  const char* name;
  bool required;
};

/// Matches positional arguments and keywords (vectorcall layout) to params. On success, out[i]
/// holds the borrowed argument of params[i], or null when it was not given. On failure a
/// TypeError is set and false returned. `function` is shown as written, such as "version()".
bool bind_arguments(const char* function, std::span<const Param> params, PyObject* const* args,
                    Py_ssize_t nargs, PyObject* kwnames, std::span<PyObject*> out);

/// bind_arguments for a call given as a tuple and a dictionary (the constructor protocol).
bool bind_tuple_call(const char* function, std::span<const Param> params, PyObject* args, PyObject* kwargs,
                     std::span<PyObject*> out);

/// Sets TypeError "argument '{name}': {message}".
void argument_error(const char* name, std::string_view message);

/// The type name of an object, as the interpreter shows it.
std::string type_name(PyObject* object);

/// Converters: each sets the argument TypeError for `name` and returns false on failure.
bool to_string(PyObject* object, const char* name, std::string& out);
/// A file path: a str, or an os.PathLike object (pathlib.Path) whose __fspath__ gives str or
/// bytes; anything else fails with the text of to_string.
bool to_path(PyObject* object, const char* name, std::string& out);
/// Lends the bytes of a bytes object (not bytearray, not str); valid while the object lives.
bool to_bytes(PyObject* object, const char* name, std::string_view& out);
bool to_double(PyObject* object, const char* name, double& out);
bool to_u32(PyObject* object, const char* name, std::uint32_t& out);
bool to_u64(PyObject* object, const char* name, std::uint64_t& out);
/// Accepts only bool (and numpy's bool); integers are refused.
bool to_strict_bool(PyObject* object, const char* name, bool& out);
/// A sequence whose items are all str; a lone str is refused.
bool to_string_list(PyObject* object, const char* name, std::vector<std::string>& out);
/// Checks that object is an instance of type (or of a subclass).
bool check_instance(PyObject* object, const char* name, PyTypeObject* type, const char* class_name);

/// Optional values: None and a missing argument are both absent.
inline bool is_absent(PyObject* object) { return object == nullptr || object == Py_None; }

}  // namespace qcn::python
