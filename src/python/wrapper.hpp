// Heap types whose objects own one core record: allocation, deallocation and borrowing.
#pragma once

#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "python/borrow.hpp"
#include "python/guard.hpp"
#include "python/limited_api.hpp"

namespace qcn::rinex {
struct RinexObsData;
}
namespace qcn::navigation {
struct NavigationData;
}
namespace qcn::result {
struct AnalysisResult;
}

namespace qcn::python {

/// Records that never change once made (parsed files, results) are held through a shared
/// pointer: an analyzer given one shares it instead of copying it, and nothing can tell.
template <typename Record>
inline constexpr bool kSharedRecord = false;
template <>
inline constexpr bool kSharedRecord<rinex::RinexObsData> = true;
template <>
inline constexpr bool kSharedRecord<navigation::NavigationData> = true;
template <>
inline constexpr bool kSharedRecord<result::AnalysisResult> = true;

/// What an object owns: its record and the record's borrow state.
template <typename Record>
struct Payload {
  using Held = std::conditional_t<kSharedRecord<Record>, std::shared_ptr<const Record>, Record>;
  Held held;
  BorrowState borrow;

  const Record& record() const {
    if constexpr (kSharedRecord<Record>) {
      return *held;
    } else {
      return held;
    }
  }
  Record& record()
    requires(!kSharedRecord<Record>)
  {
    return held;
  }
};

/// The interpreter object: a header and the payload, which is null only while being built.
template <typename Record>
struct Wrapper {
  PyObject_HEAD
  Payload<Record>* payload;
};

template <typename Record>
Payload<Record>* payload_of(PyObject* self) {
  return reinterpret_cast<Wrapper<Record>*>(self)->payload;
}

/// A new object of type owning record (new ref), or null with an exception set.
template <typename Record>
PyObject* wrap_record(PyTypeObject* type, Record&& record) {
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* self = alloc(type, 0);  // new ref
  if (!self) return nullptr;
  try {
    if constexpr (kSharedRecord<Record>) {
      auto shared = std::make_shared<const Record>(std::move(record));
      reinterpret_cast<Wrapper<Record>*>(self)->payload = new Payload<Record>{std::move(shared), {}};
    } else {
      reinterpret_cast<Wrapper<Record>*>(self)->payload = new Payload<Record>{std::move(record), {}};
    }
  } catch (...) {
    Py_DECREF(self);
    return guarded([]() -> PyObject* { throw; });
  }
  return self;
}

template <typename Record>
void wrapper_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  PyObject_GC_UnTrack(self);
  delete payload_of<Record>(self);
  auto free_slot = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_slot(self);
  Py_DECREF(type);
}

/// Heap types hold a reference to their type; the collector must see it.
inline int wrapper_traverse(PyObject* self, visitproc visit, void* arg) {
  Py_VISIT(Py_TYPE(self));
  return 0;
}

/// The tp_new of classes that only the module creates.
PyObject* no_constructor(PyTypeObject* type, PyObject* args, PyObject* kwargs);

/// What sets one record class apart; a null member leaves its slot out.
struct ClassDefinition {
  const char* name;                // qualified: "quorlin_cn0.NavigationData"
  const char* doc;                 // with the text signature first when the class is constructible
  newfunc constructor = nullptr;   // null: only the module creates objects ("No constructor defined for")
  reprfunc repr = nullptr;
  PyGetSetDef* getset = nullptr;   // static: the class keeps pointing at it
  PyMethodDef* methods = nullptr;  // static likewise
};

/// A heap class of the module whose objects own a Record: immutable, not subclassable, and
/// known to the cycle collector. The interpreter copies the name, the documentation and the
/// slots while it builds the class, so the slot table can be a local.
template <typename Record>
PyObject* create_record_type(PyObject* module, const ClassDefinition& definition) {
  PyType_Slot slots[8] = {};
  int count = 0;
  auto add = [&](int slot, void* value) {
    if (value != nullptr) slots[count++] = {slot, value};
  };
  add(Py_tp_doc, const_cast<char*>(definition.doc));
  add(Py_tp_new, reinterpret_cast<void*>(definition.constructor != nullptr ? definition.constructor : no_constructor));
  add(Py_tp_dealloc, reinterpret_cast<void*>(wrapper_dealloc<Record>));
  add(Py_tp_traverse, reinterpret_cast<void*>(wrapper_traverse));
  add(Py_tp_repr, reinterpret_cast<void*>(definition.repr));
  add(Py_tp_getset, definition.getset);
  add(Py_tp_methods, definition.methods);
  PyType_Spec type_spec = {definition.name, static_cast<int>(sizeof(Wrapper<Record>)), 0,
                           Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_HAVE_GC, slots};
  return PyType_FromModuleAndSpec(module, &type_spec, nullptr);
}

/// Runs body(record) under a read borrow of self's record, inside guarded().
template <typename Record, typename Body>
PyObject* with_record(PyObject* self, Body&& body) {
  Payload<Record>* payload = payload_of<Record>(self);
  auto borrow = SharedBorrow::acquire(payload->borrow);
  if (!borrow) return nullptr;
  return guarded([&]() -> PyObject* { return body(payload->record()); });
}

}  // namespace qcn::python
