// An ordered work pool: jobs go in one after another, run on several
// worker threads, and come out in the order they went in.
//
// The host tools cut their work into 64 KiB pieces (compress a piece,
// decode a chunk) that are independent of each other but must be written in
// order.  One controlling thread reads the input, fills a slot, submits it,
// and takes finished slots from the front:
//
//   OrderedPool<Slot> pool(workers, window, [&](Slot& s, unsigned w) { ... });
//   while (more input) {
//       if (pool.Full()) { Write(pool.Front()); pool.Pop(); }
//       Fill(pool.Next());
//       pool.Submit();
//   }
//   while (!pool.Empty()) { Write(pool.Front()); pool.Pop(); }
//
// `workers` threads do the work: workers - 1 of the pool's own, and the
// controlling thread itself, which in Front() runs slots no worker has
// taken yet until the oldest is done.  So one worker means no threads at
// all, N workers keep N cores busy, and a busy machine that is slow to wake
// a worker does not hold up the writing.
// At most `window` slots are in flight; they are allocated once and reused,
// so whatever buffers a slot holds keep their memory.  The work function
// gets the slot and the index of the worker (0..workers-1) running it, for
// per-worker state such as an encoder.  An exception thrown by the work
// function is rethrown by Front() of its slot.  Slots are taken in
// submission order, so the oldest slot is always finished, running, or the
// next one to be taken.
//
// Only the controlling thread calls the member functions; the destructor
// waits for the jobs in flight and joins the workers.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace parallel {

// The number of worker threads "all cores" means here; at least 1.
inline unsigned HardwareWorkers() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

template <typename Slot>
class OrderedPool {
public:
    using Work = std::function<void(Slot&, unsigned worker)>;

    OrderedPool(unsigned workers, std::size_t window, Work work)
        : work_(std::move(work)), slots_(window < 1 ? 1 : window) {
        if (workers < 1) workers = 1;
        caller_ = workers - 1;
        threads_.reserve(caller_);
        for (unsigned w = 0; w < caller_; ++w) threads_.emplace_back([this, w] { Run(w); });
    }

    ~OrderedPool() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closing_ = true;
        }
        ready_.notify_all();
        for (std::thread& t : threads_) t.join();
    }

    OrderedPool(const OrderedPool&) = delete;
    OrderedPool& operator=(const OrderedPool&) = delete;

    bool Full() const { return submitted_ - popped_ == slots_.size(); }
    bool Empty() const { return submitted_ == popped_; }

    // The slot the next submission hands over; only when !Full().
    Slot& Next() { return slots_[submitted_ % slots_.size()].slot; }

    void Submit() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            Entry& e = slots_[submitted_ % slots_.size()];
            e.done = false;
            e.failure = nullptr;
            ++submitted_;
        }
        ready_.notify_one();
    }

    // Waits until the oldest submitted slot is finished and returns it;
    // only when !Empty().
    Slot& Front() {
        Entry& e = slots_[popped_ % slots_.size()];
        std::unique_lock<std::mutex> lock(mutex_);
        // Rather than wait, the controlling thread runs the next slot no
        // worker has taken yet (the oldest itself when none has started it),
        // so it does its share of the work.
        while (!e.done && taken_ < submitted_) {
            Entry& next = slots_[taken_ % slots_.size()];
            ++taken_;
            Execute(next, caller_, lock);
        }
        finished_.wait(lock, [&] { return e.done; });
        if (e.failure) {
            std::exception_ptr failure = e.failure;
            e.failure = nullptr;
            std::rethrow_exception(failure);
        }
        return e.slot;
    }

    // Frees the oldest slot for reuse; only after Front() returned it.
    void Pop() { ++popped_; }

private:
    struct Entry {
        Slot slot{};
        bool done = true;
        std::exception_ptr failure;
    };

    void Run(unsigned worker) {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            ready_.wait(lock, [&] { return closing_ || taken_ < submitted_; });
            if (taken_ == submitted_) return;  // closing, nothing left
            Entry& e = slots_[taken_ % slots_.size()];
            ++taken_;
            Execute(e, worker, lock);
        }
    }

    // Runs one taken slot with the lock released, and marks it done.
    void Execute(Entry& e, unsigned worker, std::unique_lock<std::mutex>& lock) {
        lock.unlock();
        std::exception_ptr failure;
        try {
            work_(e.slot, worker);
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        e.failure = failure;
        e.done = true;
        finished_.notify_all();
    }

    Work work_;
    std::vector<Entry> slots_;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable ready_;     // a slot was submitted, or closing
    std::condition_variable finished_;  // a slot is done
    // Sequence numbers: submitted_ and popped_ belong to the controlling
    // thread (submitted_ is written under the lock); taken_ is shared, under
    // the lock.
    std::size_t submitted_ = 0;
    std::size_t popped_ = 0;
    std::size_t taken_ = 0;
    unsigned caller_ = 0;  // the controlling thread's worker index
    bool closing_ = false;
};

}  // namespace parallel
