// Threads for work that is independent per block, behind one small interface:
// the system's own calls on Windows (a MinGW of either thread model, or MSVC,
// builds it, and the programs import only system DLLs), the standard library
// elsewhere. Nothing else in the project names a thread, mutex or condition
// variable.
#pragma once

#include <cstddef>
#include <vector>

#ifndef _WIN32
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace romfold {

// A mutex with one condition variable. wait() must be called with the lock
// held; it releases the lock while it sleeps and holds it again on return
// (possibly without a wake_all: callers re-check their condition in a loop).
class WorkerLock {
public:
    WorkerLock();
    ~WorkerLock();
    WorkerLock(const WorkerLock&) = delete;
    WorkerLock& operator=(const WorkerLock&) = delete;

    void lock();
    void unlock();
    void wait();
    void wake_all();

private:
#ifdef _WIN32
    void* lock_ = nullptr;       // an SRWLOCK, which is one pointer initialised to null
    void* condition_ = nullptr;  // a CONDITION_VARIABLE, likewise
#else
    std::mutex mutex_;
    std::condition_variable condition_;
#endif
};

// Holds a WorkerLock for the scope.
class HeldLock {
public:
    explicit HeldLock(WorkerLock& lock) : lock_(lock) { lock_.lock(); }
    ~HeldLock() { lock_.unlock(); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

private:
    WorkerLock& lock_;
};

// A group of threads that each run body(context, index), index 0 to n-1.
// The destructor waits for every thread that was started.
class WorkerGroup {
public:
    using Body = void (*)(void* context, unsigned index);

    WorkerGroup() = default;
    ~WorkerGroup() { join(); }
    WorkerGroup(const WorkerGroup&) = delete;
    WorkerGroup& operator=(const WorkerGroup&) = delete;

    // Starts up to `count` threads; returns how many the system gave (it may
    // refuse some). Call it once per group.
    unsigned start(unsigned count, Body body, void* context);

    // Waits until every started thread has returned.
    void join();

    struct Start {
        Body body;
        void* context;
        unsigned index;
    };

private:
    std::vector<Start> starts_;  // reserved up front: each thread keeps a pointer to its own
#ifdef _WIN32
    std::vector<void*> handles_;
#else
    std::vector<std::thread> threads_;
#endif
};

}  // namespace romfold
