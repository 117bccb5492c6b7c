#pragma once
// The access a method takes to its Position for the length of its call:
// shared for reading methods, exclusive for the methods that change the
// position. The object's flag counts the readers, or holds WRITING while a
// writer has it: an access adds its step to the flag on entry (a reader one,
// the writer WRITING to a free flag) and takes it away on exit.

#include <Python.h>

#include <atomic>
#include <cstdint>

#include "python/messages.h"
#include "python/position_type.h"

namespace tovak::py {

enum class AccessMode { Shared, Exclusive };

template <AccessMode mode>
class Access {
  public:
    // When `granted()` is false, a RuntimeError is set and the method must
    // return at once.
    explicit Access(PyPosition& object) : object_(&object) {
        std::int32_t current = object.access.load(std::memory_order_relaxed);
        do {
            if (!compatible(current)) {
                PyErr_SetString(PyExc_RuntimeError, REFUSED);
                object_ = nullptr;
                return;
            }
        } while (!object.access.compare_exchange_weak(
            current, current + STEP, std::memory_order_acquire, std::memory_order_relaxed));
    }
    ~Access() {
        if (!object_) return;
        // Other readers may come and go meanwhile; nobody else touches a
        // written object's flag, so the writer frees it with a plain store.
        if constexpr (SHARED)
            object_->access.fetch_sub(STEP, std::memory_order_release);
        else
            object_->access.store(0, std::memory_order_release);
    }
    Access(const Access&) = delete;
    Access& operator=(const Access&) = delete;

    bool granted() const { return object_ != nullptr; }

  private:
    static constexpr bool SHARED = mode == AccessMode::Shared;
    static constexpr std::int32_t STEP = SHARED ? 1 : WRITING;
    // A reader may join other readers; a writer needs the object to itself.
    static constexpr bool compatible(std::int32_t current) {
        return SHARED ? current != WRITING : current == 0;
    }
    static constexpr const char* REFUSED =
        SHARED ? messages::ALREADY_MUTABLY_BORROWED : messages::ALREADY_BORROWED;

    PyPosition* object_;
};

}  // namespace tovak::py
