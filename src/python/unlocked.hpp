// Work done with the interpreter lock released, so other interpreter threads run meanwhile.
#pragma once

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

#include "python/limited_api.hpp"

namespace qcn::python {

/// Releases the interpreter lock for its lifetime and takes it back on every way out.
class ReleasedLock {
 public:
  ReleasedLock() : saved_(PyEval_SaveThread()) {}
  ~ReleasedLock() { PyEval_RestoreThread(saved_); }
  ReleasedLock(const ReleasedLock&) = delete;
  ReleasedLock& operator=(const ReleasedLock&) = delete;

 private:
  PyThreadState* saved_;
};

/// Runs work without the interpreter lock; work must not touch any interpreter object. A C++
/// exception from work is caught on the released side and rethrown only once the lock is held
/// again, so the caller's guarded() turns it into an interpreter exception.
template <typename Work>
auto run_unlocked(Work&& work) -> std::invoke_result_t<Work&> {
  std::optional<std::invoke_result_t<Work&>> value;
  std::exception_ptr fault;
  {
    ReleasedLock released;
    try {
      value.emplace(work());
    } catch (...) {
      fault = std::current_exception();
    }
  }
  if (fault) std::rethrow_exception(fault);
  return std::move(*value);
}

}  // namespace qcn::python
