#include "batch/thread_pool.h"

#include <cassert>

namespace tovak {

ThreadPool::ThreadPool(unsigned threads) {
    assert(threads >= 1);
    workers_.reserve(threads - 1);
    for (unsigned part = 1; part < threads; ++part)
        workers_.emplace_back([this, part](std::stop_token stop) { work(stop, part); });
}

void ThreadPool::run_erased(Erased function, void* context) {
    if (workers_.empty()) {
        function(context, 0);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        function_ = function;
        context_ = context;
        pending_ = static_cast<unsigned>(workers_.size());
        ++generation_;
    }
    start_.notify_all();
    function(context, 0);
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return pending_ == 0; });
}

void ThreadPool::work(std::stop_token stop, unsigned part) {
    std::uint64_t seen = 0;
    std::unique_lock lock(mutex_);
    while (start_.wait(lock, stop, [&] { return generation_ != seen; })) {
        seen = generation_;
        const Erased function = function_;
        void* const context = context_;
        lock.unlock();
        function(context, part);
        lock.lock();
        if (--pending_ == 0) done_.notify_one();
    }
}

}  // namespace tovak
