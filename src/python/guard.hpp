// Entry points run inside guarded(): no C++ exception crosses into the interpreter.
#pragma once

#include <exception>
#include <new>

#include "python/limited_api.hpp"

namespace qcn::python {

/// Runs body; a C++ exception becomes MemoryError or RuntimeError and the result is null.
template <typename Body>
auto guarded(Body&& body) noexcept -> decltype(body()) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    PyErr_SetString(PyExc_RuntimeError, e.what());
  } catch (...) {
    PyErr_SetString(PyExc_RuntimeError, "internal error in quorlin_cn0");
  }
  return {};
}

}  // namespace qcn::python
