// A pool of worker threads that runs batches of independent tasks; the thread that hands in a
// batch works on it too, so batches from several threads never wait on one another's workers.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

namespace qcn::parallel {

/// A task to run for each index of a batch: a reference to a callable that lives while the batch
/// runs, without the allocation of a std::function.
class TaskRef {
 public:
  template <typename Task, typename = std::enable_if_t<!std::is_same_v<std::decay_t<Task>, TaskRef>>>
  TaskRef(Task&& task)  // NOLINT: converts from any callable, as a function parameter
      : object_(const_cast<void*>(static_cast<const void*>(&task))),
        call_([](void* object, std::size_t i) { (*static_cast<std::remove_reference_t<Task>*>(object))(i); }) {}

  void operator()(std::size_t i) const { call_(object_, i); }

 private:
  void* object_;
  void (*call_)(void*, std::size_t);
};

/// The number of processors this process may run on, at least 1.
unsigned hardware_threads();

class Pool {
 public:
  /// A pool in which `threads` threads work on a batch: the caller and threads - 1 workers.
  explicit Pool(unsigned threads);
  ~Pool();
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;

  /// How many threads work on one batch, the caller included.
  unsigned size() const { return static_cast<unsigned>(workers_.size()) + 1; }

  /// Runs task(i) for every i in [0, count), on the workers and the calling thread, and returns
  /// when all have run. The first exception a task throws is thrown again here, after the rest ran.
  void run(std::size_t count, TaskRef task);

 private:
  struct Batch;
  void work();
  static void work_on(Batch& batch);

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::shared_ptr<Batch>> queue_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

/// Runs task(i) for every i in [0, count): on the pool when there is one, else in turn here.
void run_tasks(Pool* pool, std::size_t count, TaskRef task);

}  // namespace qcn::parallel
