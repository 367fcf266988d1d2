// Conversions of core values to new interpreter objects.
#include "python/convert.hpp"

namespace qcn::python {

Ref to_py_str(std::string_view text) {
  return Ref::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

Ref to_py_float(double value) { return Ref::steal(PyFloat_FromDouble(value)); }

Ref to_py_int(std::uint64_t value) { return Ref::steal(PyLong_FromUnsignedLongLong(value)); }

Ref to_py_bool(bool value) { return Ref::borrow(value ? Py_True : Py_False); }

namespace {

template <typename Value, typename Convert>
Ref to_py_list(const std::vector<Value>& values, Convert convert) {
  Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(values.size())));
  if (!list) return list;
  for (std::size_t i = 0; i < values.size(); ++i) {
    Ref item = convert(values[i]);
    if (!item) return {};
    if (PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item.release()) < 0) return {};  // steals
  }
  return list;
}

}  // namespace

Ref to_py_str_list(const std::vector<std::string>& texts) {
  return to_py_list(texts, [](const std::string& text) { return to_py_str(text); });
}
Ref to_py_float_list(const std::vector<double>& values) { return to_py_list(values, to_py_float); }
Ref to_py_int_list(const std::vector<std::uint64_t>& values) { return to_py_list(values, to_py_int); }

std::string joined(const std::vector<std::string>& texts, std::string_view separator) {
  std::string out;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) out += separator;
    out += texts[i];
  }
  return out;
}

bool dict_set(PyObject* dict, Ref key, Ref value) {
  if (!key || !value) return false;
  if (PyDict_SetItem(dict, key.get(), value.get()) == 0) return true;
  Ref cause = Ref::steal(PyErr_GetRaisedException());
  PyErr_SetString(PyExc_RuntimeError, "Failed to set_item on dict");
  Ref error = Ref::steal(PyErr_GetRaisedException());
  PyException_SetCause(error.get(), cause.release());  // steals
  PyErr_SetRaisedException(error.release());           // steals
  return false;
}

}  // namespace qcn::python
