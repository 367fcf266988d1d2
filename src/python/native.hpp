// Result records as plain interpreter values: each record a dict of its declared fields (see
// result/fields.hpp), numbers as int and float, enumerations as their texts, lists and maps
// as list and dict.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "python/convert.hpp"
#include "python/limited_api.hpp"
#include "python/ref.hpp"
#include "result/fields.hpp"

namespace qcn::python {

inline Ref to_native(double value) { return to_py_float(value); }
inline Ref to_native(std::uint64_t value) { return to_py_int(value); }
inline Ref to_native(bool value) { return to_py_bool(value); }
inline Ref to_native(const std::string& value) { return to_py_str(value); }
template <typename Value>
  requires std::is_enum_v<Value>
Ref to_native(Value value);
template <typename Value>
Ref to_native(const std::vector<Value>& list);
template <typename Value>
Ref to_native(const rinex::OrderedMap<Value>& map);
template <result::DeclaredRecord Record>
Ref to_native(const Record& record);
template <typename Value>
Ref to_native(const std::optional<Value>& value);

template <typename Value>
  requires std::is_enum_v<Value>
Ref to_native(Value value) {
  return to_py_str(result::enum_text(value));
}

template <typename Value>
Ref to_native(const std::vector<Value>& list) {
  Ref out = Ref::steal(PyList_New(static_cast<Py_ssize_t>(list.size())));
  if (!out) return out;
  for (std::size_t i = 0; i < list.size(); ++i) {
    Ref item = to_native(list[i]);
    if (!item || PyList_SetItem(out.get(), static_cast<Py_ssize_t>(i), item.release()) < 0) return {};  // steals
  }
  return out;
}

template <typename Value>
Ref to_native(const rinex::OrderedMap<Value>& map) {
  return to_py_dict(map, [](const Value& value) { return to_native(value); });
}

template <result::DeclaredRecord Record>
Ref to_native(const Record& record) {
  Ref dict = Ref::steal(PyDict_New());
  bool ok = static_cast<bool>(dict);
  result::visit_fields(record, [&](std::string_view name, const auto& value) {
    ok = ok && dict_set(dict.get(), to_py_str(name), to_native(value));
  });
  return ok ? std::move(dict) : Ref();
}

template <typename Value>
Ref to_native(const std::optional<Value>& value) {
  return value ? to_native(*value) : Ref::borrow(Py_None);
}

}  // namespace qcn::python
