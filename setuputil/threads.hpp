// Plain threads for work that runs beside the caller (the solid payload's
// block decoders): a worker started on a function, a lock, and a signal
// one side sets and the other waits for.  Win32's own threads, events and
// critical sections on Windows (no runtime threads in the stub); the
// standard library's elsewhere.
//
//   WorkerThread worker;
//   if (!worker.Start(&Run, context)) ...;   // Run(context) on the worker
//   worker.Join();                            // also done by the destructor
//
//   Lock lock;  { LockHolder hold(lock); ... }
//   Signal ready;  ready.Set();  ready.Wait();   // auto-reset: one Set wakes one Wait,
//                                                // a Set before the Wait is not lost
#pragma once

#include <cstddef>

namespace setuputil {

class WorkerThread {
public:
    WorkerThread() = default;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    ~WorkerThread() { Join(); }

    // Runs `run(context)` on a new thread; false when none could be made.
    bool Start(void (*run)(void*), void* context);
    // Waits for the thread's end; nothing when none runs.
    void Join();
    bool Running() const { return handle_ != nullptr; }

private:
    void* handle_ = nullptr;
};

class Lock {
public:
    Lock();
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void Acquire();
    void Release();

private:
    alignas(8) unsigned char storage_[64];
};

class LockHolder {
public:
    explicit LockHolder(Lock& lock) : lock_(lock) { lock_.Acquire(); }
    ~LockHolder() { lock_.Release(); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

private:
    Lock& lock_;
};

class Signal {
public:
    Signal();
    ~Signal();
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;
    void Set();
    void Wait();

private:
    void* handle_ = nullptr;
};

// The processors this process may run on (at least 1).
unsigned ProcessorCount();

}  // namespace setuputil
