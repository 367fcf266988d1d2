// Guards an object's record against overlapping use from several interpreter threads.
#pragma once

#include <optional>

#include "python/limited_api.hpp"

namespace qcn::python {

/// How an object's record is in use: by readers, or by one writer. Changed only with the
/// interpreter lock held.
struct BorrowState {
  int readers = 0;
  bool writing = false;
};

/// A read borrow; creating one while a writer holds the record raises RuntimeError.
class SharedBorrow {
 public:
  static std::optional<SharedBorrow> acquire(BorrowState& state) {
    if (state.writing) {
      PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
      return std::nullopt;
    }
    return SharedBorrow(state);
  }
  SharedBorrow(SharedBorrow&& other) noexcept : state_(other.state_) { other.state_ = nullptr; }
  SharedBorrow(const SharedBorrow&) = delete;
  SharedBorrow& operator=(const SharedBorrow&) = delete;
  SharedBorrow& operator=(SharedBorrow&&) = delete;
  ~SharedBorrow() {
    if (state_) --state_->readers;
  }

 private:
  explicit SharedBorrow(BorrowState& state) : state_(&state) { ++state.readers; }
  BorrowState* state_;
};

/// A write borrow; creating one while anyone holds the record raises RuntimeError.
class ExclusiveBorrow {
 public:
  static std::optional<ExclusiveBorrow> acquire(BorrowState& state) {
    if (state.writing || state.readers > 0) {
      PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
      return std::nullopt;
    }
    return ExclusiveBorrow(state);
  }
  ExclusiveBorrow(ExclusiveBorrow&& other) noexcept : state_(other.state_) { other.state_ = nullptr; }
  ExclusiveBorrow(const ExclusiveBorrow&) = delete;
  ExclusiveBorrow& operator=(const ExclusiveBorrow&) = delete;
  ExclusiveBorrow& operator=(ExclusiveBorrow&&) = delete;
  ~ExclusiveBorrow() {
    if (state_) state_->writing = false;
  }

 private:
  explicit ExclusiveBorrow(BorrowState& state) : state_(&state) { state.writing = true; }
  BorrowState* state_;
};

}  // namespace qcn::python
