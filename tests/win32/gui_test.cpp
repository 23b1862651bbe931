// The GUI toolkit on Win32: the worker thread's hand-over points and its
// synchronised calls (also inside a modal message box), label sizing, and
// the shell folder tree's two operations.
#include "gui/application.hpp"
#include "gui/form.hpp"
#include "gui/shelltree.hpp"
#include "gui/thread.hpp"
#include "gui/widgets.hpp"
#include "setuputil/wintext.hpp"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>

#include <atomic>
#include <stdexcept>
#include <string>

namespace {

using setuputil::FromWinStr;

class Worker : public gui::Thread {
public:
    std::function<void(Worker&)> body;
    void Sync(const std::function<void()>& call) { Synchronize(call); }
    void Pass() { CheckPoint(); }

protected:
    void Execute() override { body(*this); }
};

bool PumpUntil(const std::function<bool()>& done, DWORD ms) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > ms) return false;
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) gui::Application::DispatchOne(message);
        ::Sleep(5);
    }
    return true;
}

TEST(Thread, CreatedSuspendedRunsOnlyAfterStart) {
    std::atomic<int> runs{0};
    Worker worker;
    worker.body = [&](Worker&) { ++runs; };
    ::Sleep(100);
    EXPECT_EQ(runs.load(), 0);
    EXPECT_FALSE(worker.Finished());
    worker.Start();
    EXPECT_TRUE(worker.WaitFor(5000));
    EXPECT_EQ(runs.load(), 1);
    EXPECT_TRUE(worker.Finished());
}

TEST(Thread, SynchronizeRunsOnTheGuiThreadWhileTheWorkerWaits) {
    const DWORD gui = ::GetCurrentThreadId();
    DWORD ranOn = 0;
    int seenByWorker = 0;
    Worker worker;
    worker.body = [&](Worker& self) {
        int value = 0;
        self.Sync([&] {
            ranOn = ::GetCurrentThreadId();
            ::Sleep(50);  // the worker must still be waiting afterwards
            value = 42;
        });
        seenByWorker = value;
    };
    worker.Start();
    ASSERT_TRUE(worker.WaitFor(5000));
    EXPECT_EQ(ranOn, gui);
    EXPECT_EQ(seenByWorker, 42);
}

TEST(Thread, ExceptionInSynchronizedCallIsRaisedInTheWorker) {
    std::string caught;
    Worker worker;
    worker.body = [&](Worker& self) {
        try {
            self.Sync([] { throw std::runtime_error("Failed to set data for 'Path'"); });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
    };
    worker.Start();
    ASSERT_TRUE(worker.WaitFor(5000));
    EXPECT_EQ(caught, "Failed to set data for 'Path'");
    EXPECT_FALSE(worker.FatalException());
}

TEST(Thread, ExceptionEscapingTheBodyIsKept) {
    Worker worker;
    worker.body = [](Worker&) { throw std::runtime_error("boom"); };
    worker.Start();
    ASSERT_TRUE(worker.WaitFor(5000));
    ASSERT_TRUE(worker.FatalException());
    EXPECT_THROW(std::rethrow_exception(worker.FatalException()), std::runtime_error);
}

struct CloserState {
    std::atomic<int>* calls;
    std::atomic<bool>* closedEarly;
};

DWORD WINAPI CloseBoxWhenDone(void* data) {
    auto* state = static_cast<CloserState*>(data);
    HWND box = nullptr;
    for (int i = 0; i < 500; ++i) {
        box = ::FindWindowW(L"#32770", L"sync test");
        if (box && state->calls->load() == 3) {
            state->closedEarly->store(true);
            break;
        }
        ::Sleep(20);
    }
    if (box) ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    return 0;
}

TEST(Thread, SynchronizedCallsRunInsideAModalMessageBox) {
    std::atomic<int> calls{0};
    Worker worker;
    worker.body = [&](Worker& self) {
        for (int i = 0; i < 3; ++i) self.Sync([&] { ++calls; });
    };
    // A helper closes the box once the three calls ran, or after a while
    // so that a failure cannot hang the test.
    std::atomic<bool> closedEarly{false};
    CloserState state{&calls, &closedEarly};
    HANDLE closer = ::CreateThread(nullptr, 0, &CloseBoxWhenDone, &state, 0, nullptr);
    worker.Start();
    ::MessageBoxW(nullptr, L"waiting", L"sync test", MB_OK);
    ::WaitForSingleObject(closer, 15000);
    ::CloseHandle(closer);
    EXPECT_TRUE(closedEarly.load());
    EXPECT_EQ(calls.load(), 3);
    EXPECT_TRUE(worker.WaitFor(5000));
}

TEST(Thread, SuspendHoldsTheWorkerAtItsNextCheckPoint) {
    std::atomic<int> passes{0};
    Worker worker;
    worker.body = [&](Worker& self) {
        while (!self.Terminated()) {
            self.Pass();
            ++passes;
            ::Sleep(1);
        }
    };
    worker.Start();
    ASSERT_TRUE(PumpUntil([&] { return passes.load() > 5; }, 5000));
    worker.Suspend();
    ::Sleep(50);
    const int held = passes.load();
    ::Sleep(200);
    EXPECT_EQ(passes.load(), held);
    EXPECT_FALSE(worker.Finished());
    worker.Resume();
    ASSERT_TRUE(PumpUntil([&] { return passes.load() > held + 5; }, 5000));
    worker.Terminate();
    EXPECT_TRUE(worker.WaitFor(5000));
}

TEST(Thread, WaitForTimesOutOnABusyWorker) {
    std::atomic<bool> release{false};
    Worker worker;
    worker.body = [&](Worker&) {
        while (!release.load()) ::Sleep(5);
    };
    worker.Start();
    EXPECT_FALSE(worker.WaitFor(100));
    release.store(true);
    EXPECT_TRUE(worker.WaitFor(5000));
}

// A form to host controls, with the application object the toolkit needs.
class GuiFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(application.Initialize());
        form.CreateForm(application.Window(), u"toolkit test", 400, 300);
        panel.Create(form, 0, 0, form.ClientWidth(), form.ClientHeight());
    }
    gui::Application application;
    gui::Form form;
    gui::Panel panel;
};

TEST_F(GuiFixture, WrappedLabelGrowsWithItsTextAndEmptyKeepsOneLine) {
    gui::Label label;
    label.Create(panel, u"", 10, 10, 120, 0, {true, true});
    const int oneLine = label.Height();
    EXPECT_GT(oneLine, 0);
    label.SetText(u"A longer text that cannot fit in one line of one hundred and twenty pixels.");
    EXPECT_GT(label.Height(), 2 * oneLine);
    const int narrow = label.Height();
    label.SetWidth(380);
    EXPECT_LT(label.Height(), narrow);
    EXPECT_EQ(label.Width(), 380);
}

TEST_F(GuiFixture, PlainLabelTakesTheWidthOfItsText) {
    gui::Label label;
    label.Create(panel, u"short", 10, 10, 0, 0, {false, true});
    const int shortWidth = label.Width();
    label.SetText(u"a considerably longer caption");
    EXPECT_GT(label.Width(), shortWidth);
}

TEST_F(GuiFixture, PageControlShowsOnePageAndSizesThemAll) {
    gui::PageControl pages;
    pages.Create(panel, 5, 5, 300, 200, 4);
    gui::Panel one, two;
    pages.AddPage(one);
    pages.AddPage(two);
    form.ShowForm();
    EXPECT_TRUE(::IsWindowVisible(one.Handle()));
    EXPECT_FALSE(::IsWindowVisible(two.Handle()));
    pages.SetActivePage(two);
    EXPECT_FALSE(::IsWindowVisible(one.Handle()));
    EXPECT_TRUE(::IsWindowVisible(two.Handle()));
    pages.SetWidth(250);
    EXPECT_EQ(one.Width(), 242);
    EXPECT_EQ(two.Width(), 242);
    EXPECT_EQ(two.Height(), 192);
}

std::u16string Special(int csidl) {
    wchar_t path[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, path, csidl, TRUE);
    return FromWinStr(path);
}

bool SamePath(const std::u16string& a, const std::u16string& b) {
    return ::lstrcmpiW(setuputil::WinStr(a), setuputil::WinStr(b)) == 0;
}

TEST_F(GuiFixture, ShellTreeShowsAndSelectsPaths) {
    gui::ShellTree tree;
    tree.Create(panel, 0, 0, 300, 250);
    ASSERT_NE(tree.Handle(), nullptr);

    const std::u16string programFiles = Special(CSIDL_PROGRAM_FILES);
    EXPECT_TRUE(tree.ShowPath(programFiles));
    EXPECT_TRUE(SamePath(tree.SelectedPath(), programFiles)) << setuputil::WinStr(tree.SelectedPath());

    // A folder several levels down, filled lazily on the way.
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    std::u16string deep = FromWinStr(temp) + u"tallowin-tree\\one\\two";
    ::SHCreateDirectoryExW(nullptr, setuputil::WinStr(deep), nullptr);
    EXPECT_TRUE(tree.ShowPath(deep));
    EXPECT_TRUE(SamePath(tree.SelectedPath(), deep)) << setuputil::WinStr(tree.SelectedPath());
    EXPECT_EQ(tree.SelectedName(), u"two");

    // A drive root keeps its backslash.
    const std::u16string drive = programFiles.substr(0, 3);
    EXPECT_TRUE(tree.ShowPath(drive));
    EXPECT_TRUE(SamePath(tree.SelectedPath(), drive));

    // A path the shell does not know leaves a selection and says so.
    EXPECT_FALSE(tree.ShowPath(u"Q:\\no\\such\\folder\\at\\all"));
}

TEST_F(GuiFixture, ShellTreeVirtualFolderHasNoPath) {
    gui::ShellTree tree;
    tree.Create(panel, 0, 0, 300, 250);
    LPITEMIDLIST computer = nullptr;
    ASSERT_TRUE(SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer)));
    wchar_t name[MAX_PATH] = {};
    SHFILEINFOW info{};
    ::SHGetFileInfoW(reinterpret_cast<LPCWSTR>(computer), 0, &info, sizeof(info), SHGFI_PIDL | SHGFI_DISPLAYNAME);
    ::lstrcpynW(name, info.szDisplayName, MAX_PATH);
    ::CoTaskMemFree(computer);
    // Select "My Computer" below the desktop by its name.
    const auto root = reinterpret_cast<HTREEITEM>(::SendMessageW(tree.Handle(), TVM_GETNEXTITEM, TVGN_ROOT, 0));
    HTREEITEM found = nullptr;
    for (auto item = reinterpret_cast<HTREEITEM>(
             ::SendMessageW(tree.Handle(), TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(root)));
         item; item = reinterpret_cast<HTREEITEM>(
                   ::SendMessageW(tree.Handle(), TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
        ::SendMessageW(tree.Handle(), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
        if (tree.SelectedName() == FromWinStr(name)) {
            found = item;
            break;
        }
    }
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(tree.SelectedPath(), u"");
    // The desktop itself is a file-system folder.
    ::SendMessageW(tree.Handle(), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(root));
    EXPECT_FALSE(tree.SelectedPath().empty());
}

}  // namespace
