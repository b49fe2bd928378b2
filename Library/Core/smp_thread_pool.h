#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>

namespace qavrek {

// A fixed set of worker threads that run jobs handed out by a proxy. Workers are started on first need
// and live until the process ends.
class smp_thread_pool {
 public:
  using job = std::function<void()>;

  // Hands jobs to the pool and waits for them; Join rethrows the first exception a job threw.
  class proxy {
   public:
    explicit proxy(smp_thread_pool& pool) : pool_(pool) {}
    proxy(const proxy&) = delete;
    proxy& operator=(const proxy&) = delete;
    // Waits for the jobs still running, so nothing outlives the data they read.
    ~proxy();

    void DoJob(job work);
    void Join();

   private:
    struct batch;
    smp_thread_pool& pool_;
    std::shared_ptr<batch> batch_;
  };

  static smp_thread_pool& GetInstance();

  // A proxy over at least `threads` workers.
  std::unique_ptr<proxy> AllocateThreads(size_t threads);

  // True on a worker thread: a loop started there runs on that thread unless nesting is allowed.
  bool IsParallelScope() const noexcept;

  size_t number_of_workers() const;

 private:
  smp_thread_pool();
  ~smp_thread_pool();
  struct state;
  std::unique_ptr<state> state_;
};

}  // namespace qavrek
