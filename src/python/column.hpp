// Columns of numbers handed to the interpreter through the buffer protocol: numpy and memoryview
// read them in place, without a per-value object.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "python/limited_api.hpp"
#include "python/ref.hpp"
#include "rinex/cn0_columns.hpp"

namespace qcn::python {

struct ModuleState;

/// What a column shows: its items, their buffer format and the numpy dtype they stand for.
struct ColumnView {
  std::shared_ptr<const void> owner;  // keeps the items alive
  const void* items = nullptr;
  Py_ssize_t length = 0;
  Py_ssize_t itemsize = 0;
  const char* format = "B";     // struct module format of one item
  std::string dtype;            // numpy dtype name, such as "float64" or "datetime64[ns]"
  const std::vector<std::string>* labels = nullptr;  // for code columns: the labels they index
};

/// The format character of an item type.
template <typename T>
constexpr const char* buffer_format();
template <> constexpr const char* buffer_format<double>() { return "d"; }
template <> constexpr const char* buffer_format<std::int64_t>() { return "q"; }
template <> constexpr const char* buffer_format<std::uint64_t>() { return "Q"; }
template <> constexpr const char* buffer_format<std::uint32_t>() { return "I"; }
template <> constexpr const char* buffer_format<std::uint16_t>() { return "H"; }

/// A view of values owned by owner; dtype defaults to the numpy name of T.
template <typename T>
ColumnView column_view(std::shared_ptr<const void> owner, const std::vector<T>& values, std::string dtype) {
  return {std::move(owner), values.data(), static_cast<Py_ssize_t>(values.size()), sizeof(T), buffer_format<T>(),
          std::move(dtype), nullptr};
}

/// A view of a code column, whose labels go with it.
inline ColumnView column_view(std::shared_ptr<const void> owner, const rinex::CodedColumn& column) {
  ColumnView view = column_view(std::move(owner), column.codes, "uint16");
  view.labels = &column.labels;
  return view;
}

/// Creates the Column class (new ref).
PyObject* create_column_type(PyObject* module);

/// A new Column object named name (new ref), or null with an exception set.
Ref new_column(ModuleState* state, const char* name, ColumnView&& view);

/// A dict of name -> Column, in the order given.
Ref column_dict(ModuleState* state, std::initializer_list<std::pair<const char*, ColumnView>> columns);

}  // namespace qcn::python

namespace qcn::python {

// The methods that hand out columns, and those written in the module's Python part; self is an
// AnalysisResult or a RinexObsData object.
PyObject* result_sample_columns(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* result_epoch_columns(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* result_visibility_columns(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* obs_cn0_columns(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* to_pandas(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* to_xarray(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* repr_html(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace qcn::python
