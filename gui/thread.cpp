#include "gui/thread.hpp"

#include "gui/application.hpp"

namespace gui {

namespace {

constexpr wchar_t kSyncClass[] = L"TallowinSync";
constexpr UINT kSyncMessage = WM_APP + 0x54;

struct SyncCall {
    const std::function<void()>* call;
    std::exception_ptr error;
};

}  // namespace

LRESULT CALLBACK Thread::SyncProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message != kSyncMessage) return ::DefWindowProcW(window, message, wparam, lparam);
    auto* sync = reinterpret_cast<SyncCall*>(lparam);
    try {
        (*sync->call)();
    } catch (...) {
        sync->error = std::current_exception();
    }
    return 1;
}

Thread::Thread() {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW info{};
    if (!::GetClassInfoExW(instance, kSyncClass, &info)) {
        info = {};
        info.cbSize = sizeof(info);
        info.lpfnWndProc = &Thread::SyncProc;
        info.hInstance = instance;
        info.lpszClassName = kSyncClass;
        ::RegisterClassExW(&info);
    }
    guiThreadId_ = ::GetCurrentThreadId();
    syncWindow_.reset(::CreateWindowExW(0, kSyncClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr));
    running_.reset(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    DWORD id = 0;
    thread_.reset(::CreateThread(nullptr, 0, &Thread::Entry, this, CREATE_SUSPENDED, &id));
}

Thread::~Thread() {
    if (thread_ && started_ && !finished_.load()) {
        Terminate();
        Resume();
        WaitFor(INFINITE);
    } else if (thread_ && !started_) {
        Terminate();
        ::ResumeThread(thread_.get());
        ::WaitForSingleObject(thread_.get(), INFINITE);
    }
}

DWORD WINAPI Thread::Entry(void* parameter) {
    auto* self = static_cast<Thread*>(parameter);
    // A thread destroyed before its start is resumed only to return.
    if (!self->Terminated()) {
        try {
            self->Execute();
        } catch (...) {
            self->fatal_ = std::current_exception();
        }
    }
    self->finished_.store(true);
    return 0;
}

void Thread::Start() {
    if (!thread_ || started_) return;
    started_ = true;
    ::ResumeThread(thread_.get());
}

void Thread::Suspend() {
    if (!running_) return;
    paused_.store(true);
    ::ResetEvent(running_.get());
}

void Thread::Resume() {
    if (!running_) return;
    ::SetEvent(running_.get());
    paused_.store(false);
}

void Thread::CheckPoint() {
    // A worker that reads the flag just before the gate closes passes, as
    // it would have passed the event just before its reset.
    if (running_ && paused_.load()) ::WaitForSingleObject(running_.get(), INFINITE);
}

void Thread::Synchronize(const std::function<void()>& call) {
    if (::GetCurrentThreadId() == guiThreadId_) {
        call();
        return;
    }
    CheckPoint();
    SyncCall sync{&call, nullptr};
    ::SendMessageW(syncWindow_.get(), kSyncMessage, 0, reinterpret_cast<LPARAM>(&sync));
    if (sync.error) std::rethrow_exception(sync.error);
}

bool Thread::WaitFor(DWORD milliseconds) {
    if (!thread_ || !started_) return true;
    const HANDLE handle = thread_.get();
    const DWORD start = ::GetTickCount();
    bool quit = false;
    int quitCode = 0;
    bool done = false;
    for (;;) {
        DWORD left = INFINITE;
        if (milliseconds != INFINITE) {
            const DWORD spent = ::GetTickCount() - start;
            if (spent >= milliseconds) break;
            left = milliseconds - spent;
        }
        // After a quit request only sent messages (the worker's
        // synchronised calls) are handled; input waits for nobody.
        const DWORD woke = ::MsgWaitForMultipleObjects(1, &handle, FALSE, left, quit ? QS_SENDMESSAGE : QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0) {
            done = true;
            break;
        }
        if (woke != WAIT_OBJECT_0 + 1) break;
        MSG message{};
        if (quit) {
            ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            continue;
        }
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = true;
                quitCode = static_cast<int>(message.wParam);
                break;
            }
            Application::DispatchOne(message);
        }
    }
    if (quit) ::PostQuitMessage(quitCode);
    return done || finished_.load();
}

}  // namespace gui
