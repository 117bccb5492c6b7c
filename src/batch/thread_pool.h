#pragma once
// A fixed set of worker threads, started once and reused by every batched
// call: run() hands each thread one part of a task and returns when all
// parts are done. The calling thread does part 0 itself, so a pool of one
// thread starts no thread at all.
//
// run() is not reentrant and must be called from one thread at a time (the
// owner of the pool serialises its calls).

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace tovak {

// The games [begin, end) of part `part` of `parts`: contiguous ranges whose
// sizes differ by at most one.
struct PartRange {
    std::size_t begin;
    std::size_t end;
};
constexpr PartRange part_range(std::size_t count, unsigned parts, unsigned part) {
    return PartRange{count * part / parts, count * (part + 1) / parts};
}

class ThreadPool {
  public:
    // threads >= 1: the caller and threads - 1 workers, started now.
    explicit ThreadPool(unsigned threads);
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    unsigned threads() const { return static_cast<unsigned>(workers_.size()) + 1; }

    // Calls task(part) for every part 0..threads()-1, each on its own
    // thread, and returns when all calls have returned. The task must not throw.
    template <typename Task>
    void run(Task& task) {
        run_erased([](void* context, unsigned part) { (*static_cast<Task*>(context))(part); },
                   &task);
    }

  private:
    using Erased = void (*)(void*, unsigned);
    void run_erased(Erased function, void* context);
    void work(std::stop_token stop, unsigned part);

    std::mutex mutex_;
    std::condition_variable_any start_;  // a new task (generation_ changed) or stop
    std::condition_variable done_;       // pending_ reached 0
    std::uint64_t generation_ = 0;
    unsigned pending_ = 0;
    Erased function_ = nullptr;
    void* context_ = nullptr;
    // Last, so that the workers are stopped and joined before the members
    // they use go away.
    std::vector<std::jthread> workers_;
};

// Calls body(begin, end) on the pool's parts of [0, count), each on its own
// thread, skipping empty parts: for callers whose work is one item per game.
template <typename Body>
void for_each_range(ThreadPool& pool, std::size_t count, const Body& body) {
    auto task = [&](unsigned part) {
        const PartRange range = part_range(count, pool.threads(), part);
        if (range.begin < range.end) body(range.begin, range.end);
    };
    pool.run(task);
}

}  // namespace tovak
