// Conversions of core values to new interpreter objects.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "python/ref.hpp"
#include "rinex/ordered_map.hpp"

namespace qcn::python {

Ref to_py_str(std::string_view text);
Ref to_py_float(double value);
Ref to_py_int(std::uint64_t value);
Ref to_py_bool(bool value);
Ref to_py_str_list(const std::vector<std::string>& texts);
Ref to_py_float_list(const std::vector<double>& values);
Ref to_py_int_list(const std::vector<std::uint64_t>& values);

/// The texts joined with separator.
std::string joined(const std::vector<std::string>& texts, std::string_view separator);

/// Inserts key and value into a new dictionary; a failure becomes "Failed to set_item on dict".
bool dict_set(PyObject* dict, Ref key, Ref value);

/// A dict with the map's keys, in the map's order, and each value converted by convert.
template <typename Value, typename Convert>
Ref to_py_dict(const rinex::OrderedMap<Value>& map, Convert&& convert) {
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return dict;
  for (const auto& [key, value] : map) {
    Ref py_value = convert(value);
    if (!py_value) return {};
    if (!dict_set(dict.get(), to_py_str(key), std::move(py_value))) return {};
  }
  return dict;
}

}  // namespace qcn::python
