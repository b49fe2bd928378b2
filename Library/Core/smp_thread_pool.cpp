#include "Core/smp_thread_pool.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace qavrek {
namespace {
thread_local bool inside_worker = false;
}

// The jobs of one proxy: how many are still pending and the first exception any of them threw.
struct smp_thread_pool::proxy::batch {
  std::mutex mutex;
  std::condition_variable done;
  size_t pending = 0;
  std::exception_ptr first_error;
};

struct smp_thread_pool::state {
  std::mutex mutex;
  std::condition_variable work_available;
  std::deque<job> queue;
  std::vector<std::thread> workers;
  bool stopping = false;

  void ensure_workers(size_t count) {
    std::lock_guard lock(mutex);
    while (workers.size() < count) workers.emplace_back([this] { run(); });
  }

  void run() {
    inside_worker = true;
    for (;;) {
      job next;
      {
        std::unique_lock lock(mutex);
        work_available.wait(lock, [this] { return stopping || !queue.empty(); });
        if (queue.empty()) return;
        next = std::move(queue.front());
        queue.pop_front();
      }
      next();
    }
  }

  void push(job work) {
    {
      std::lock_guard lock(mutex);
      queue.push_back(std::move(work));
    }
    work_available.notify_one();
  }
};

smp_thread_pool::smp_thread_pool() : state_(std::make_unique<state>()) {}

smp_thread_pool::~smp_thread_pool() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  state_->work_available.notify_all();
  for (auto& worker : state_->workers) worker.join();
}

smp_thread_pool& smp_thread_pool::GetInstance() {
  static smp_thread_pool pool;
  return pool;
}

std::unique_ptr<smp_thread_pool::proxy> smp_thread_pool::AllocateThreads(size_t threads) {
  state_->ensure_workers(threads == 0 ? 1 : threads);
  return std::make_unique<proxy>(*this);
}

bool smp_thread_pool::IsParallelScope() const noexcept { return inside_worker; }

size_t smp_thread_pool::number_of_workers() const {
  std::lock_guard lock(state_->mutex);
  return state_->workers.size();
}

void smp_thread_pool::proxy::DoJob(job work) {
  if (!batch_) batch_ = std::make_shared<batch>();
  {
    std::lock_guard lock(batch_->mutex);
    ++batch_->pending;
  }
  pool_.state_->push([work = std::move(work), current = batch_] {
    std::exception_ptr error;
    try {
      work();
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard lock(current->mutex);
    if (error && !current->first_error) current->first_error = error;
    if (--current->pending == 0) current->done.notify_all();
  });
}

void smp_thread_pool::proxy::Join() {
  if (!batch_) return;
  std::exception_ptr error;
  {
    std::unique_lock lock(batch_->mutex);
    batch_->done.wait(lock, [this] { return batch_->pending == 0; });
    error = std::exchange(batch_->first_error, nullptr);
  }
  if (error) std::rethrow_exception(error);
}

smp_thread_pool::proxy::~proxy() {
  if (!batch_) return;
  std::unique_lock lock(batch_->mutex);
  batch_->done.wait(lock, [this] { return batch_->pending == 0; });
}

}  // namespace qavrek
