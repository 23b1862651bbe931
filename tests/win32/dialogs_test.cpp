// The message boxes, answered by a helper thread that finds the box by class
// and caption and posts clicks to its buttons.
#include "setuputil/dialogs.hpp"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

using namespace setuputil;

namespace {

struct BoxSeen {
    bool found = false;
    std::wstring text;
    bool hasYes = false, hasNo = false, hasOk = false, hasCancel = false;
};

bool Shown(HWND box, int id) {
    HWND button = GetDlgItem(box, id);
    return button != nullptr && IsWindowVisible(button);
}

// Waits for the box captioned `caption`, notes what it shows, and clicks
// the button `answer`.
std::thread Answer(const wchar_t* caption, int answer, BoxSeen& seen) {
    return std::thread([caption, answer, &seen] {
        HWND box = nullptr;
        for (int i = 0; i < 500 && box == nullptr; ++i) {
            box = FindWindowW(L"#32770", caption);
            if (box == nullptr) Sleep(20);
        }
        if (box == nullptr) return;
        seen.found = true;
        wchar_t text[512] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 512);  // the box's message text
        seen.text = text;
        seen.hasYes = Shown(box, IDYES);
        seen.hasNo = Shown(box, IDNO);
        seen.hasOk = Shown(box, IDOK);
        seen.hasCancel = Shown(box, IDCANCEL);
        PostMessageW(GetDlgItem(box, answer), BM_CLICK, 0, 0);
    });
}

TEST(AskYesNo, TrueOnlyForYes) {
    for (const int answer : {IDYES, IDNO}) {
        BoxSeen seen;
        std::thread helper = Answer(L"Confirm", answer, seen);
        const bool result = AskYesNo(nullptr, u"Do you want to permanently delete all the settings?", u"Confirm");
        helper.join();
        ASSERT_TRUE(seen.found);
        EXPECT_EQ(result, answer == IDYES);
        EXPECT_EQ(seen.text, L"Do you want to permanently delete all the settings?");
        EXPECT_TRUE(seen.hasYes);
        EXPECT_TRUE(seen.hasNo);
        EXPECT_FALSE(seen.hasOk);
        EXPECT_FALSE(seen.hasCancel);
    }
}

TEST(ShowErrorBox, ShowsTheTextWithAnOkButton) {
    BoxSeen seen;
    std::thread helper = Answer(L"Error", IDOK, seen);
    ShowErrorBox(nullptr, u"Unable to read from setup file! \u00e9\u4e2d", u"Error");
    helper.join();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.text, L"Unable to read from setup file! \u00e9\u4e2d");
    EXPECT_TRUE(seen.hasOk);
    EXPECT_FALSE(seen.hasYes);
    EXPECT_FALSE(seen.hasNo);
}

}  // namespace
