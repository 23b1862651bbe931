// FindWindowByTitle and SendCloseRequest against real top-level windows, each
// made by a thread of its own with its own message loop.
#include "setuputil/windowsearch.hpp"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

using namespace setuputil;

namespace {

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, w, l);
}

const char* WindowClass() {
    static const char* name = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = TestWindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TallowinSearchTestWindow";
        RegisterClassA(&wc);
        return "TallowinSearchTestWindow";
    }();
    return name;
}

// A top-level window on its own thread.  With `hung` the thread does not
// read its messages until Release().
class TestWindow {
public:
    explicit TestWindow(const std::string& title, bool hung = false) {
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        release_ = CreateEventA(nullptr, TRUE, hung ? FALSE : TRUE, nullptr);
        thread_ = std::thread([this, title, ready] {
            HWND window = CreateWindowExA(0, WindowClass(), title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                          nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
            window_.store(window);
            SetEvent(ready);
            if (window == nullptr) return;
            WaitForSingleObject(release_, INFINITE);
            MSG msg;
            while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
        });
        WaitForSingleObject(ready, INFINITE);
        CloseHandle(ready);
    }
    ~TestWindow() {
        Release();
        if (HWND w = window_.load(); w != nullptr && IsWindow(w)) PostMessageA(w, WM_CLOSE, 0, 0);
        if (thread_.joinable()) thread_.join();
        CloseHandle(release_);
    }
    HWND handle() const { return window_.load(); }
    void Release() { SetEvent(release_); }
    // Waits for the window's thread to end (its window destroyed).
    void Join() {
        Release();
        thread_.join();
    }

private:
    std::atomic<HWND> window_{nullptr};
    HANDLE release_ = nullptr;
    std::thread thread_;
};

TEST(FindWindowByTitle, FindsTheProductsWindowInOtherLetterCaseAndClosesIt) {
    TestWindow window("vANTRELL dEMO (running) - Document1");
    ASSERT_NE(window.handle(), nullptr);
    EXPECT_EQ(FindWindowByTitle("Vantrell Demo (*"), window.handle());
    EXPECT_TRUE(SendCloseRequest(window.handle()));
    window.Join();
    EXPECT_FALSE(IsWindow(window.handle()));
    EXPECT_EQ(FindWindowByTitle("Vantrell Demo (*"), nullptr);
}

TEST(FindWindowByTitle, EmptyPatternBareNameAndLaterNameDoNotMatch) {
    TestWindow bare("Vantrell Demo");
    TestWindow later("Report - Vantrell Demo (2)");
    TestWindow untitled("");
    ASSERT_NE(bare.handle(), nullptr);
    EXPECT_EQ(FindWindowByTitle(""), nullptr);
    EXPECT_EQ(FindWindowByTitle("Vantrell Demo (*"), nullptr);
    // The same windows are there to be found by patterns that fit them.
    EXPECT_EQ(FindWindowByTitle("vantrell demo"), bare.handle());
    EXPECT_EQ(FindWindowByTitle("Report - *(2)"), later.handle());
}

TEST(FindWindowByTitle, ReadsAtMost255CharactersOfATitle) {
    const std::string head = "Vantrell Demo (";
    TestWindow window(head + std::string(300 - head.size(), 'x') + "END)");
    ASSERT_NE(window.handle(), nullptr);
    EXPECT_EQ(FindWindowByTitle("Vantrell Demo (*"), window.handle());
    EXPECT_EQ(FindWindowByTitle("Vantrell Demo (*END)"), nullptr) << "the title's end lies past 255 characters";
    EXPECT_EQ(FindWindowByTitle("Vantrell Demo (*" + std::string(240, 'x')), window.handle());
}

TEST(SendCloseRequest, GivesUpOnAWindowThatDoesNotAnswer) {
    TestWindow window("Vantrell Demo (hung)", /*hung=*/true);
    ASSERT_NE(window.handle(), nullptr);
    EXPECT_FALSE(SendCloseRequest(window.handle(), 300));
    EXPECT_TRUE(IsWindow(window.handle())) << "the window has not handled the message";
    window.Release();  // reading its messages again, it answers the next request
    EXPECT_TRUE(SendCloseRequest(window.handle(), 5000));
    window.Join();
    EXPECT_FALSE(IsWindow(window.handle()));
    EXPECT_FALSE(SendCloseRequest(nullptr));
}

}  // namespace
