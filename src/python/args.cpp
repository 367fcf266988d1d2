// Argument binding and conversion with exact error texts.
#include "python/args.hpp"

#include <climits>

#include "python/ref.hpp"

namespace qcn::python {
namespace {

// The message may hold NUL characters (from keyword names), so it is passed with its size.
void type_error(const std::string& message) {
  Ref text = Ref::steal(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
  if (text) PyErr_SetObject(PyExc_TypeError, text.get());
}

// 'a', 'a' and 'b', 'a', 'b', and 'c'
std::string quoted_list(const std::vector<const char*>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) {
      if (names.size() > 2) out += ',';
      out += i + 1 == names.size() ? " and " : " ";
    }
    out += '\'';
    out += names[i];
    out += '\'';
  }
  return out;
}

bool too_many_positional(const char* function, std::span<const Param> params, Py_ssize_t nargs) {
  std::size_t required = 0;
  for (const Param& p : params) required += p.required ? 1 : 0;
  const char* verb = nargs == 1 ? "was" : "were";
  std::string message = std::string(function) + " takes ";
  if (required == params.size()) {
    message += std::to_string(params.size());
  } else {
    message += "from " + std::to_string(required) + " to " + std::to_string(params.size());
  }
  message += " positional arguments but " + std::to_string(nargs) + " " + verb + " given";
  type_error(message);
  return false;
}

// The message of the exception just raised, which is cleared.
std::string take_error_message() {
  Ref exception = Ref::steal(PyErr_GetRaisedException());
  if (!exception) return "";
  Ref text = Ref::steal(PyObject_Str(exception.get()));
  if (!text) {
    PyErr_Clear();
    return "";
  }
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(text.get(), &size);
  if (!utf8) {
    PyErr_Clear();
    return "";
  }
  return std::string(utf8, static_cast<std::size_t>(size));
}

void cannot_convert(PyObject* object, const char* name, const char* target) {
  // Built by appending: g++ 12 warns falsely (-Wrestrict) about "'" + std::string&&.
  std::string message(1, '\'');
  message += type_name(object);
  message += "' object cannot be converted to '";
  message += target;
  message += '\'';
  argument_error(name, message);
}

bool is_numpy_bool(PyObject* object) {
  auto* object_type = reinterpret_cast<PyObject*>(Py_TYPE(object));  // borrowed
  Ref module = Ref::steal(PyObject_GetAttrString(object_type, "__module__"));
  if (!module) {
    PyErr_Clear();
    return false;
  }
  const char* module_name = PyUnicode_Check(module.get()) ? PyUnicode_AsUTF8AndSize(module.get(), nullptr) : nullptr;
  if (!module_name) {
    PyErr_Clear();
    return false;
  }
  std::string type = type_name(object);
  return std::string_view(module_name) == "numpy" && (type == "bool_" || type == "bool");
}

}  // namespace

void argument_error(const char* name, std::string_view message) {
  type_error("argument '" + std::string(name) + "': " + std::string(message));
}

std::string type_name(PyObject* object) {
  Ref name = Ref::steal(PyType_GetName(Py_TYPE(object)));
  if (!name) {
    PyErr_Clear();
    return "?";
  }
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(name.get(), &size);
  if (!utf8) {
    PyErr_Clear();
    return "?";
  }
  return std::string(utf8, static_cast<std::size_t>(size));
}

bool bind_arguments(const char* function, std::span<const Param> params, PyObject* const* args,
                    Py_ssize_t nargs, PyObject* kwnames, std::span<PyObject*> out) {
  for (PyObject*& slot : out) slot = nullptr;
  if (nargs > static_cast<Py_ssize_t>(params.size())) return too_many_positional(function, params, nargs);
  for (Py_ssize_t i = 0; i < nargs; ++i) out[static_cast<std::size_t>(i)] = args[i];

  Py_ssize_t nkw = kwnames ? PyTuple_Size(kwnames) : 0;
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject* key = PyTuple_GetItem(kwnames, k);  // borrowed
    if (!key) return false;
    Py_ssize_t key_size = 0;
    const char* key_data = PyUnicode_AsUTF8AndSize(key, &key_size);
    if (!key_data) return false;
    // Compared with its size: a name with a NUL character matches no parameter.
    std::string_view key_text(key_data, static_cast<std::size_t>(key_size));
    std::size_t index = params.size();
    for (std::size_t i = 0; i < params.size(); ++i) {
      if (std::string_view(params[i].name) == key_text) index = i;
    }
    if (index == params.size()) {
      type_error(std::string(function) + " got an unexpected keyword argument '" + std::string(key_text) + "'");
      return false;
    }
    if (out[index]) {
      type_error(std::string(function) + " got multiple values for argument '" + std::string(key_text) + "'");
      return false;
    }
    out[index] = args[nargs + k];
  }

  std::vector<const char*> missing;
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (params[i].required && !out[i]) missing.push_back(params[i].name);
  }
  if (!missing.empty()) {
    type_error(std::string(function) + " missing " + std::to_string(missing.size()) + " required positional " +
               (missing.size() == 1 ? "argument" : "arguments") + ": " + quoted_list(missing));
    return false;
  }
  return true;
}

bool bind_tuple_call(const char* function, std::span<const Param> params, PyObject* args, PyObject* kwargs,
                     std::span<PyObject*> out) {
  Py_ssize_t nargs = args ? PyTuple_Size(args) : 0;
  if (nargs < 0) return false;
  std::vector<PyObject*> values;  // borrowed: the tuple and the dictionary outlive the call
  for (Py_ssize_t i = 0; i < nargs; ++i) values.push_back(PyTuple_GetItem(args, i));
  Ref kwnames;
  Py_ssize_t nkw = kwargs ? PyDict_Size(kwargs) : 0;
  if (nkw > 0) {
    kwnames = Ref::steal(PyTuple_New(nkw));
    if (!kwnames) return false;
    Py_ssize_t position = 0;
    Py_ssize_t i = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (i < nkw && PyDict_Next(kwargs, &position, &key, &value)) {
      if (PyTuple_SetItem(kwnames.get(), i++, Py_NewRef(key)) < 0) return false;  // steals
      values.push_back(value);
    }
  }
  return bind_arguments(function, params, values.data(), nargs, kwnames.get(), out);
}

bool to_string(PyObject* object, const char* name, std::string& out) {
  if (!PyUnicode_Check(object)) {
    cannot_convert(object, name, "str");
    return false;
  }
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(object, &size);
  if (!utf8) {
    argument_error(name, take_error_message());
    return false;
  }
  out.assign(utf8, static_cast<std::size_t>(size));
  return true;
}

bool to_path(PyObject* object, const char* name, std::string& out) {
  if (PyUnicode_Check(object) || PyBytes_Check(object)) return to_string(object, name, out);
  // os.PathLike: the type defines __fspath__ (looked up on the type, as os.fspath does).
  Ref method = Ref::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(object)), "__fspath__"));
  if (!method) {
    PyErr_Clear();
    return to_string(object, name, out);
  }
  Ref path = Ref::steal(PyOS_FSPath(object));
  if (!path) {
    argument_error(name, take_error_message());
    return false;
  }
  if (PyBytes_Check(path.get())) {
    char* data = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_AsStringAndSize(path.get(), &data, &size) < 0) return false;
    out.assign(data, static_cast<std::size_t>(size));
    return true;
  }
  return to_string(path.get(), name, out);
}

bool to_bytes(PyObject* object, const char* name, std::string_view& out) {
  if (!PyBytes_Check(object)) {
    cannot_convert(object, name, "bytes");
    return false;
  }
  char* data = nullptr;
  Py_ssize_t size = 0;
  if (PyBytes_AsStringAndSize(object, &data, &size) < 0) return false;
  out = std::string_view(data, static_cast<std::size_t>(size));
  return true;
}

bool to_double(PyObject* object, const char* name, double& out) {
  double value = PyFloat_AsDouble(object);
  if (value == -1.0 && PyErr_Occurred()) {
    argument_error(name, take_error_message());
    return false;
  }
  out = value;
  return true;
}

bool to_u32(PyObject* object, const char* name, std::uint32_t& out) {
  Ref index = Ref::steal(PyNumber_Index(object));
  if (!index) {
    argument_error(name, take_error_message());
    return false;
  }
  int overflow = 0;
  long long value = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
  if (value == -1 && PyErr_Occurred()) {
    argument_error(name, take_error_message());
    return false;
  }
  if (overflow != 0 || value < 0 || value > static_cast<long long>(UINT32_MAX)) {
    argument_error(name, "out of range integral type conversion attempted");
    return false;
  }
  out = static_cast<std::uint32_t>(value);
  return true;
}

bool to_u64(PyObject* object, const char* name, std::uint64_t& out) {
  Ref index = Ref::steal(PyNumber_Index(object));
  if (!index) {
    argument_error(name, take_error_message());
    return false;
  }
  unsigned long long value = PyLong_AsUnsignedLongLong(index.get());
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
    PyErr_Clear();
    argument_error(name, "out of range integral type conversion attempted");
    return false;
  }
  out = static_cast<std::uint64_t>(value);
  return true;
}

bool to_strict_bool(PyObject* object, const char* name, bool& out) {
  if (PyBool_Check(object)) {
    out = object == Py_True;
    return true;
  }
  if (is_numpy_bool(object)) {
    int truth = PyObject_IsTrue(object);
    if (truth < 0) {
      argument_error(name, take_error_message());
      return false;
    }
    out = truth == 1;
    return true;
  }
  cannot_convert(object, name, "bool");
  return false;
}

bool to_string_list(PyObject* object, const char* name, std::vector<std::string>& out) {
  if (PyUnicode_Check(object)) {
    argument_error(name, "Can't extract `str` to `Vec`");
    return false;
  }
  if (!PySequence_Check(object)) {
    cannot_convert(object, name, "Sequence");
    return false;
  }
  Py_ssize_t size = PySequence_Size(object);
  if (size < 0) {
    argument_error(name, take_error_message());
    return false;
  }
  out.clear();
  for (Py_ssize_t i = 0; i < size; ++i) {
    Ref item = Ref::steal(PySequence_GetItem(object, i));
    if (!item) {
      argument_error(name, take_error_message());
      return false;
    }
    std::string text;
    if (!to_string(item.get(), name, text)) return false;
    out.push_back(std::move(text));
  }
  return true;
}

bool check_instance(PyObject* object, const char* name, PyTypeObject* type, const char* class_name) {
  int is = PyObject_IsInstance(object, reinterpret_cast<PyObject*>(type));
  if (is < 0) return false;
  if (is == 0) {
    cannot_convert(object, name, class_name);
    return false;
  }
  return true;
}

}  // namespace qcn::python
