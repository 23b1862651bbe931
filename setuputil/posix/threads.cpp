#include "setuputil/threads.hpp"

#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

namespace setuputil {

namespace {

struct SignalState {
    std::mutex mutex;
    std::condition_variable changed;
    bool set = false;
};

std::mutex* Mutex(unsigned char* storage) { return std::launder(reinterpret_cast<std::mutex*>(storage)); }

}  // namespace

bool WorkerThread::Start(void (*run)(void*), void* context) {
    Join();
    try {
        handle_ = new std::thread(run, context);
    } catch (...) {
        handle_ = nullptr;
    }
    return handle_ != nullptr;
}

void WorkerThread::Join() {
    if (!handle_) return;
    auto* thread = static_cast<std::thread*>(handle_);
    thread->join();
    delete thread;
    handle_ = nullptr;
}

Lock::Lock() {
    static_assert(sizeof(std::mutex) <= sizeof storage_ && alignof(std::mutex) <= 8);
    new (storage_) std::mutex;
}
Lock::~Lock() { Mutex(storage_)->~mutex(); }
void Lock::Acquire() { Mutex(storage_)->lock(); }
void Lock::Release() { Mutex(storage_)->unlock(); }

Signal::Signal() : handle_(new SignalState) {}
Signal::~Signal() { delete static_cast<SignalState*>(handle_); }
void Signal::Set() {
    auto* state = static_cast<SignalState*>(handle_);
    {
        std::lock_guard<std::mutex> hold(state->mutex);
        state->set = true;
    }
    state->changed.notify_one();
}
void Signal::Wait() {
    auto* state = static_cast<SignalState*>(handle_);
    std::unique_lock<std::mutex> hold(state->mutex);
    state->changed.wait(hold, [state] { return state->set; });
    state->set = false;
}

unsigned ProcessorCount() {
    const unsigned count = std::thread::hardware_concurrency();
    return count > 0 ? count : 1;
}

}  // namespace setuputil
