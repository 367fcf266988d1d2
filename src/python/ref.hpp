// An owning reference to an interpreter object.
#pragma once

#include "python/limited_api.hpp"

namespace qcn::python {

/// Move-only owner of one strong reference, or of none. Raw pointers are always borrowed.
class Ref {
 public:
  Ref() = default;
  Ref(const Ref&) = delete;
  Ref(Ref&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
  Ref& operator=(Ref other) noexcept {
    PyObject* old = p_;
    p_ = other.p_;
    other.p_ = old;
    return *this;
  }
  ~Ref() { Py_XDECREF(p_); }

  /// Takes over a new reference (or null, when the call that made it failed).
  static Ref steal(PyObject* p) { return Ref(p); }
  /// Adds a reference to a borrowed pointer.
  static Ref borrow(PyObject* p) {
    Py_XINCREF(p);
    return Ref(p);
  }

  PyObject* get() const { return p_; }
  /// Gives the reference away, to an API that steals it or to the caller.
  PyObject* release() {
    PyObject* p = p_;
    p_ = nullptr;
    return p;
  }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  explicit Ref(PyObject* p) : p_(p) {}
  PyObject* p_ = nullptr;
};

}  // namespace qcn::python
