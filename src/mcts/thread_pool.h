#pragma once
// A small pool of worker threads made once and reused for every batch, for
// work split into independent items (one game each). for_each cuts the items
// into as many contiguous runs as there are threads and runs one on the
// calling thread, so a pool of one thread starts no thread at all. Each item
// must not depend on which run it falls in: callers keep per-item state
// (a game's tree and generator), so results do not depend on the split.

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tovak {

class ThreadPool {
  public:
    // `threads` >= 1 counts the calling thread: threads - 1 workers start.
    explicit ThreadPool(int threads);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    int threads() const { return static_cast<int>(workers_.size()) + 1; }

    // Calls body(begin, end) on disjoint runs covering [0, count) and returns
    // when all have returned. Not reentrant: one for_each at a time.
    void for_each(std::size_t count, const std::function<void(std::size_t, std::size_t)>& body);

  private:
    void work(std::size_t worker);

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    // The batch being run, read by the workers under the mutex.
    const std::function<void(std::size_t, std::size_t)>* body_ = nullptr;
    std::size_t count_ = 0;
    std::size_t generation_ = 0;  // grows by one per batch
    std::size_t running_ = 0;     // workers still in the current batch
    bool stopping_ = false;
};

}  // namespace tovak
