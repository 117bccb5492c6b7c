#include "mcts/thread_pool.h"

namespace tovak {
namespace {

// Run `part` of `parts` over [0, count): the first count % parts runs are one
// item longer.
void run_part(const std::function<void(std::size_t, std::size_t)>& body, std::size_t count,
              std::size_t part, std::size_t parts) {
    const std::size_t base = count / parts;
    const std::size_t extra = count % parts;
    const std::size_t begin = part * base + (part < extra ? part : extra);
    const std::size_t end = begin + base + (part < extra ? 1 : 0);
    if (begin < end) body(begin, end);
}

}  // namespace

ThreadPool::ThreadPool(int threads) {
    for (int i = 1; i < threads; ++i)
        workers_.emplace_back([this, i] { work(static_cast<std::size_t>(i)); });
}

ThreadPool::~ThreadPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_) t.join();
}

void ThreadPool::for_each(std::size_t count,
                          const std::function<void(std::size_t, std::size_t)>& body) {
    const std::size_t parts = workers_.size() + 1;
    if (parts == 1 || count <= 1) {
        if (count) body(0, count);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        body_ = &body;
        count_ = count;
        running_ = workers_.size();
        ++generation_;
    }
    wake_.notify_all();
    run_part(body, count, 0, parts);
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return running_ == 0; });
    body_ = nullptr;
}

void ThreadPool::work(std::size_t worker) {
    std::size_t seen = 0;
    for (;;) {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
        if (stopping_) return;
        seen = generation_;
        const auto* body = body_;
        const std::size_t count = count_;
        lock.unlock();
        run_part(*body, count, worker, workers_.size() + 1);
        lock.lock();
        if (--running_ == 0) done_.notify_one();
    }
}

}  // namespace tovak
