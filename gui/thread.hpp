// A worker thread with the hand-over points a GUI needs.
//
//   Thread()        create suspended; must run on the GUI thread (the
//                   synchronisation window is made there)
//   Start()         begin Execute() on the worker
//   Suspend()       pause the worker at its next synchronisation point
//   Resume()        let a paused worker go on
//   Terminate()     set the termination flag; Execute() reads Terminated()
//   Synchronize(f)  (worker) run f on the GUI thread and wait for it
//
// Synchronize sends a message to a hidden message-only window that belongs
// to the GUI thread, so the call runs whenever that thread handles
// messages: in its message loop, inside a modal form, inside a message
// box.  An exception thrown by f is caught on the GUI thread and thrown
// again in the worker.
//
// Suspend does not stop the thread between arbitrary instructions (that can
// freeze it while it holds the heap lock, which the GUI thread's message box
// then waits for forever).  It closes a gate that the worker passes at every
// Synchronize and at every CheckPoint(): the worker stops there, holding
// nothing, and a call it had already sent is still carried out.
#pragma once

#include "gui/handles.hpp"

#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>

namespace gui {

class Thread {
public:
    Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    // Stops a running worker cooperatively (terminate, resume, wait).
    virtual ~Thread();

    void Start();
    void Suspend();
    void Resume();
    void Terminate() { terminated_.store(true); }
    bool Terminated() const { return terminated_.load(); }
    bool Started() const { return started_; }
    bool Finished() const { return finished_.load(); }
    // GUI thread: waits up to `milliseconds` for Execute() to return while
    // handling messages, so the worker's synchronised calls still run.
    // True when the worker has finished (or never started).
    bool WaitFor(DWORD milliseconds);
    // What escaped Execute(), if anything.
    std::exception_ptr FatalException() const { return fatal_; }

protected:
    virtual void Execute() = 0;
    void Synchronize(const std::function<void()>& call);
    // Blocks while the thread is paused.
    void CheckPoint();

private:
    static DWORD WINAPI Entry(void* self);
    static LRESULT CALLBACK SyncProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    KernelHandle thread_;
    KernelHandle running_;  // manual-reset event: set = not paused
    // Set while the gate is closed: an open gate is passed without asking
    // the kernel (under Wine every wait is a round trip to its server).
    std::atomic<bool> paused_{false};
    OwnedWindow syncWindow_;
    DWORD guiThreadId_ = 0;
    bool started_ = false;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::exception_ptr fatal_;
};

}  // namespace gui
