// Heap types whose objects own one core record: allocation, deallocation and borrowing.
#pragma once

#include <string>
#include <utility>

#include "python/borrow.hpp"
#include "python/guard.hpp"
#include "python/limited_api.hpp"

namespace qcn::python {

/// What an object owns: its record and the record's borrow state.
template <typename Record>
struct Payload {
  Record record;
  BorrowState borrow;
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
    reinterpret_cast<Wrapper<Record>*>(self)->payload = new Payload<Record>{std::move(record), {}};
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

/// Runs body(record) under a read borrow of self's record, inside guarded().
template <typename Record, typename Body>
PyObject* with_record(PyObject* self, Body&& body) {
  Payload<Record>* payload = payload_of<Record>(self);
  auto borrow = SharedBorrow::acquire(payload->borrow);
  if (!borrow) return nullptr;
  return guarded([&]() -> PyObject* { return body(static_cast<const Record&>(payload->record)); });
}

}  // namespace qcn::python
