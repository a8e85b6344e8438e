#include "container/worker_threads.h"

#ifdef _WIN32
#include <process.h>
#include <windows.h>

#include <cstdint>
#else
#include <system_error>
#endif

namespace romfold {

#ifdef _WIN32

static_assert(sizeof(SRWLOCK) == sizeof(void*) && sizeof(CONDITION_VARIABLE) == sizeof(void*));

namespace {

SRWLOCK* srw(void** storage) { return reinterpret_cast<SRWLOCK*>(storage); }
CONDITION_VARIABLE* condition(void** storage) { return reinterpret_cast<CONDITION_VARIABLE*>(storage); }

unsigned __stdcall thread_entry(void* argument) {
    const WorkerGroup::Start* start = static_cast<const WorkerGroup::Start*>(argument);
    start->body(start->context, start->index);
    return 0;
}

}  // namespace

// Null is SRWLOCK_INIT and CONDITION_VARIABLE_INIT; neither needs releasing.
WorkerLock::WorkerLock() = default;
WorkerLock::~WorkerLock() = default;
void WorkerLock::lock() { AcquireSRWLockExclusive(srw(&lock_)); }
void WorkerLock::unlock() { ReleaseSRWLockExclusive(srw(&lock_)); }
void WorkerLock::wait() { SleepConditionVariableSRW(condition(&condition_), srw(&lock_), INFINITE, 0); }
void WorkerLock::wake_all() { WakeAllConditionVariable(condition(&condition_)); }

unsigned WorkerGroup::start(unsigned count, Body body, void* context) {
    starts_.reserve(count);
    handles_.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        starts_.push_back(Start{body, context, i});
        // _beginthreadex rather than CreateThread: the thread uses the C runtime.
        const std::uintptr_t handle = _beginthreadex(nullptr, 0, thread_entry, &starts_.back(), 0, nullptr);
        if (handle == 0) {
            starts_.pop_back();
            break;
        }
        handles_.push_back(reinterpret_cast<void*>(handle));
    }
    return static_cast<unsigned>(handles_.size());
}

void WorkerGroup::join() {
    for (void* handle : handles_) {
        WaitForSingleObject(handle, INFINITE);
        CloseHandle(handle);
    }
    handles_.clear();
}

#else

WorkerLock::WorkerLock() = default;
WorkerLock::~WorkerLock() = default;
void WorkerLock::lock() { mutex_.lock(); }
void WorkerLock::unlock() { mutex_.unlock(); }

void WorkerLock::wait() {
    // The caller holds the mutex; the unique_lock only lends it to the wait.
    std::unique_lock<std::mutex> held(mutex_, std::adopt_lock);
    condition_.wait(held);
    held.release();
}

void WorkerLock::wake_all() { condition_.notify_all(); }

unsigned WorkerGroup::start(unsigned count, Body body, void* context) {
    starts_.reserve(count);
    threads_.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        starts_.push_back(Start{body, context, i});
        const Start* start = &starts_.back();
        try {
            threads_.emplace_back([start] { start->body(start->context, start->index); });
        } catch (const std::system_error&) {
            // The system has no more threads to give; work with those started.
            starts_.pop_back();
            break;
        }
    }
    return static_cast<unsigned>(threads_.size());
}

void WorkerGroup::join() {
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
}

#endif

}  // namespace romfold
