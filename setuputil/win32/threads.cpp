#include "setuputil/threads.hpp"

#include <windows.h>

#include <new>

namespace setuputil {

namespace {

struct StartInfo {
    void (*run)(void*);
    void* context;
};

DWORD WINAPI ThreadMain(LPVOID parameter) {
    const StartInfo info = *static_cast<StartInfo*>(parameter);
    delete static_cast<StartInfo*>(parameter);
    info.run(info.context);
    return 0;
}

CRITICAL_SECTION* Section(unsigned char* storage) { return reinterpret_cast<CRITICAL_SECTION*>(storage); }

}  // namespace

bool WorkerThread::Start(void (*run)(void*), void* context) {
    Join();
    auto* info = new (std::nothrow) StartInfo{run, context};
    if (!info) return false;
    DWORD id = 0;
    handle_ = CreateThread(nullptr, 0, ThreadMain, info, 0, &id);
    if (!handle_) delete info;
    return handle_ != nullptr;
}

void WorkerThread::Join() {
    if (!handle_) return;
    WaitForSingleObject(handle_, INFINITE);
    CloseHandle(handle_);
    handle_ = nullptr;
}

Lock::Lock() {
    static_assert(sizeof(CRITICAL_SECTION) <= sizeof storage_);
    InitializeCriticalSection(Section(storage_));
}
Lock::~Lock() { DeleteCriticalSection(Section(storage_)); }
void Lock::Acquire() { EnterCriticalSection(Section(storage_)); }
void Lock::Release() { LeaveCriticalSection(Section(storage_)); }

Signal::Signal() : handle_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
Signal::~Signal() {
    if (handle_) CloseHandle(handle_);
}
void Signal::Set() {
    if (handle_) SetEvent(handle_);
}
void Signal::Wait() {
    // Without an event (none could be made) the waiter polls.
    if (!handle_ || WaitForSingleObject(handle_, INFINITE) != WAIT_OBJECT_0) Sleep(1);
}

unsigned ProcessorCount() {
    DWORD_PTR process = 0, system = 0;
    unsigned count = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system))
        for (; process != 0; process &= process - 1) ++count;
    if (count == 0) {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        count = info.dwNumberOfProcessors;
    }
    return count > 0 ? count : 1;
}

}  // namespace setuputil
