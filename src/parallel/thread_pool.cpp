// Worker threads taking task indices from shared batches.
#include "parallel/thread_pool.hpp"

#include <atomic>
#include <exception>

#ifdef __linux__
#include <sched.h>
#endif

namespace qcn::parallel {

struct Pool::Batch {
  const TaskRef* task = nullptr;
  std::size_t count = 0;
  std::atomic<std::size_t> next{0};
  std::size_t finished = 0;  // guarded by mutex
  std::exception_ptr error;  // the first, guarded by mutex
  std::mutex mutex;
  std::condition_variable all_done;
};

unsigned hardware_threads() {
#ifdef __linux__
  // The processors this process may run on (taskset, container limits), not all of the machine's.
  cpu_set_t allowed;
  if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
    const int n = CPU_COUNT(&allowed);
    if (n > 0) return static_cast<unsigned>(n);
  }
#endif
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : n;
}

Pool::Pool(unsigned threads) {
  for (unsigned i = 1; i < threads; ++i) workers_.emplace_back([this] { work(); });
}

Pool::~Pool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void Pool::work_on(Batch& batch) {
  std::size_t ran = 0;
  std::exception_ptr error;
  for (std::size_t i = batch.next++; i < batch.count; i = batch.next++) {
    try {
      (*batch.task)(i);
    } catch (...) {
      if (!error) error = std::current_exception();
    }
    ++ran;
  }
  if (ran == 0) return;
  std::lock_guard lock(batch.mutex);
  if (error && !batch.error) batch.error = error;
  batch.finished += ran;
  if (batch.finished == batch.count) batch.all_done.notify_all();
}

void Pool::work() {
  for (;;) {
    std::shared_ptr<Batch> batch;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;  // stopping, and nothing left to help with
      batch = queue_.front();
      // Once every index is taken the batch needs no more helpers.
      if (batch->next.load() >= batch->count) {
        queue_.pop_front();
        continue;
      }
    }
    work_on(*batch);
  }
}

void Pool::run(std::size_t count, TaskRef task) {
  if (count == 0) return;
  auto batch = std::make_shared<Batch>();
  batch->task = &task;
  batch->count = count;
  if (count > 1 && !workers_.empty()) {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(batch);
    }
    wake_.notify_all();
  }
  work_on(*batch);
  std::unique_lock lock(batch->mutex);
  batch->all_done.wait(lock, [&] { return batch->finished == batch->count; });
  if (batch->error) std::rethrow_exception(batch->error);
}

void run_tasks(Pool* pool, std::size_t count, TaskRef task) {
  if (pool != nullptr) {
    pool->run(count, task);
    return;
  }
  for (std::size_t i = 0; i < count; ++i) task(i);
}

}  // namespace qcn::parallel
