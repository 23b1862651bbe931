// The wizard's and the folder chooser's layout rules, run on stand-in
// controls: positions at the design size, the order in which steps read
// what earlier steps set, and scaling.
#include "choosedir/dirlayout.hpp"
#include "mainunit/wizardlayout.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// A control with bounds; an auto-height one takes its height from its width
// the moment the width is set, like a word-wrapped label.
struct Fake {
    int left = 0, top = 0, width = 0, height = 0;
    std::function<int(int)> heightForWidth;
    std::function<void(Fake&)> resized;  // a page control resizing its pages

    int Left() const { return left; }
    int Top() const { return top; }
    int Width() const { return width; }
    int Height() const { return height; }
    void SetLeft(int v) { left = v; }
    void SetTop(int v) { top = v; }
    void SetWidth(int v) {
        width = v;
        if (heightForWidth) height = heightForWidth(v);
        if (resized) resized(*this);
    }
    void SetHeight(int v) {
        height = v;
        if (resized) resized(*this);
    }
};

// The wizard's components at their design sizes, with the page control's
// pages 4 pixels inside it (scaled) and the side pictures aligned left.
struct Wizard {
    explicit Wizard(gui::Scaler scale, int clientWidth = 502, int clientHeight = 357) : s(scale) {
        mainback = {0, 0, s(clientWidth), s(clientHeight)};
        for (Fake* b : {&cancel, &next, &back, &finish}) *b = {0, 0, s(81), s(26)};
        for (Fake* page : pageList()) *page = {s(4), s(4), s(489), s(281)};
        pages.resized = [this](Fake& p) {
            for (Fake* page : pageList()) {
                page->width = p.width - 2 * s(4);
                page->height = p.height - 2 * s(4);
            }
            Image1.height = installingpage.height;
        };
        Image1 = {0, 0, s(150), s(281)};
        // Labels that size themselves: one line is 13 design pixels; a
        // wrapped label needs two lines below 200 pixels of width.
        const int line = s(13);
        auto wrapped = [line, this](int w) { return w < s(200) ? 2 * line : line; };
        for (Fake* l : {&clicknext1, &licensetitle, &licenselabel, &installingtitle, &destinationtitle,
                        &finishtitle, &uninstallfinishtitle, &clickfinish, &clickfinish2, &taskstitle})
            l->height = line;
        for (Fake* l : {&installpathlabel, &installinglabel, &finishlabel, &uninstallfinishlabel, &clicknext2,
                        &taskslabel, &clicknext3}) {
            l->height = line;
            l->heightForWidth = wrapped;
        }
        welcometitle = {s(168), s(16), s(305), s(33)};
        welcomelabel = {s(168), s(72), s(313), s(49)};
        agree = {s(8), s(264), s(321), s(18)};
        license = {s(8), s(56), s(465), s(193)};
        installpath = {s(168), s(56), s(233), s(21)};
        change = {s(408), s(56), s(65), s(22)};
        installprogress = {s(168), s(160), s(305), s(25)};
        launch = {s(192), s(128), s(145), s(18)};
        readme = {s(192), s(160), s(177), s(18)};
    }
    std::vector<Fake*> pageList() {
        return {&welcomepage, &licensepage, &installingpage, &finishpage, &uninstallfinishpage, &destinationpage,
                &taskspage};
    }
    void Layout() {
        mainunit::LayoutWizard(mainunit::WizardParts<Fake>{
            mainback, pages, cancel, next, back, finish,
            welcomepage, welcometitle, welcomelabel, clicknext1, Image1,
            licensepage, licensetitle, licenselabel, license, agree,
            destinationpage, destinationtitle, installpathlabel, installpath, change, clicknext2,
            taskspage, taskstitle, taskslabel, clicknext3,
            installingpage, installingtitle, installinglabel, installprogress,
            finishpage, finishtitle, finishlabel, launch, readme, clickfinish,
            uninstallfinishpage, uninstallfinishtitle, uninstallfinishlabel, clickfinish2, TaskBoxes()}, s);
    }
    // `count` check boxes of the design height.
    void AddTaskBoxes(std::size_t count) {
        taskboxes.assign(count, Fake{s(168), s(104), s(305), s(18)});
    }
    std::vector<Fake*> TaskBoxes() {
        std::vector<Fake*> boxes;
        for (Fake& box : taskboxes) boxes.push_back(&box);
        return boxes;
    }
    gui::Scaler s;
    Fake mainback, pages, cancel, next, back, finish;
    Fake welcomepage, welcometitle, welcomelabel, clicknext1, Image1;
    Fake licensepage, licensetitle, licenselabel, license, agree;
    Fake destinationpage, destinationtitle, installpathlabel, installpath, change, clicknext2;
    Fake taskspage, taskstitle, taskslabel, clicknext3;
    std::vector<Fake> taskboxes;
    Fake installingpage, installingtitle, installinglabel, installprogress;
    Fake finishpage, finishtitle, finishlabel, launch, readme, clickfinish;
    Fake uninstallfinishpage, uninstallfinishtitle, uninstallfinishlabel, clickfinish2;
};

TEST(WizardLayout, FrameAndButtonsAtTheDesignSize) {
    Wizard w(gui::Scaler{96});
    w.Layout();
    EXPECT_EQ(w.pages.left, 6);
    EXPECT_EQ(w.pages.top, 5);
    EXPECT_EQ(w.pages.width, 490);
    EXPECT_EQ(w.pages.height, 314);
    EXPECT_EQ(w.cancel.left, 415);
    EXPECT_EQ(w.next.left, 328);
    EXPECT_EQ(w.back.left, 247);
    for (Fake* b : {&w.cancel, &w.next, &w.back, &w.finish}) EXPECT_EQ(b->top, 325);
    EXPECT_EQ(w.finish.left, 328);
    // Back touches Next; Next and Cancel are 6 apart; Cancel ends 6 from the edge.
    EXPECT_EQ(w.back.left + w.back.width, w.next.left);
    EXPECT_EQ(w.next.left + w.next.width + 6, w.cancel.left);
    EXPECT_EQ(w.cancel.left + w.cancel.width + 6, w.mainback.width);
}

TEST(WizardLayout, PagesShareOneTextColumnAfterThePicture) {
    Wizard w(gui::Scaler{96});
    w.Layout();
    for (Fake* f : {&w.welcometitle, &w.welcomelabel, &w.clicknext1, &w.destinationtitle, &w.installpathlabel,
                    &w.installpath, &w.clicknext2, &w.installingtitle, &w.installinglabel, &w.installprogress,
                    &w.finishtitle, &w.finishlabel, &w.clickfinish, &w.uninstallfinishtitle,
                    &w.uninstallfinishlabel, &w.clickfinish2})
        EXPECT_EQ(f->left, 166);
    // The page is 482 wide: the title ends 2 from its edge, the texts 16.
    EXPECT_EQ(w.welcomepage.width, 482);
    EXPECT_EQ(w.welcometitle.width, 482 - 166 - 2);
    EXPECT_EQ(w.welcomelabel.width, 482 - 166 - 16);
    EXPECT_EQ(w.welcomelabel.top, 64);
    // Bottom texts 16 above the page's bottom edge, and the same on the
    // destination, finish and uninstall finish pages.
    EXPECT_EQ(w.clicknext1.top, 306 - 13 - 16);
    EXPECT_EQ(w.clicknext2.top, w.clicknext1.top);
    EXPECT_EQ(w.clickfinish.top, w.clicknext1.top);
    EXPECT_EQ(w.clickfinish2.top, w.clicknext1.top);
}

TEST(WizardLayout, StepsReadWhatEarlierStepsSet) {
    Wizard w(gui::Scaler{96});
    // A destination label that wraps: the edit box moves down with it.
    w.installpathlabel.heightForWidth = [](int) { return 40; };
    w.installinglabel.heightForWidth = [](int) { return 30; };
    w.finishlabel.heightForWidth = [](int) { return 26; };
    w.Layout();
    EXPECT_EQ(w.installpathlabel.top, 64);
    EXPECT_EQ(w.installpath.top, 64 + 40 + 8);
    EXPECT_EQ(w.change.top, w.installpath.top);
    EXPECT_EQ(w.installpath.width, 482 - 166 - 16 - 65 - 8);
    EXPECT_EQ(w.change.left, w.installpath.left + w.installpath.width + 8);
    EXPECT_EQ(w.change.left + w.change.width + 16, w.destinationpage.width);
    EXPECT_EQ(w.clicknext2.width, w.installpathlabel.width);
    EXPECT_EQ(w.installprogress.top, 64 + 30 + 8);
    EXPECT_EQ(w.installprogress.width, 482 - 166 - 16);
    EXPECT_EQ(w.launch.top, 64 + 26 + 32);
    EXPECT_EQ(w.launch.left, 166 + 24);
    EXPECT_EQ(w.launch.width, w.finishlabel.width);
    EXPECT_EQ(w.readme.top, w.launch.top + 32);
    EXPECT_EQ(w.readme.left, w.launch.left);
}

TEST(WizardLayout, LicensePageFillsItsPage) {
    Wizard w(gui::Scaler{96});
    w.Layout();
    EXPECT_EQ(w.licensetitle.left, 16);
    EXPECT_EQ(w.licensetitle.top, 16);
    EXPECT_EQ(w.licenselabel.top, 16 + 13 + 16);
    EXPECT_EQ(w.license.top, w.licenselabel.top + 13 + 8);
    EXPECT_EQ(w.license.width, 482 - 16 - 16);
    EXPECT_EQ(w.agree.top, w.license.top + w.license.height + 16);
    EXPECT_EQ(w.agree.top + w.agree.height + 16, w.licensepage.height);
    EXPECT_EQ(w.agree.left, 16);
}

// The check boxes of the tasks page stay inside its text column and above
// its bottom text at 100 % and 150 %, with a prompt of one line or of three
// (a longer translation): one column while they fit, else more, never
// overlapping.
TEST(WizardLayout, TaskBoxesStayInsideTheirColumn) {
    for (int dpi : {96, 144}) {
        for (int promptlines : {1, 3}) {
            for (std::size_t count : {std::size_t{1}, std::size_t{3}, std::size_t{16}}) {
                SCOPED_TRACE(std::to_string(dpi) + " dpi, " + std::to_string(promptlines) + " lines, " +
                             std::to_string(count) + " tasks");
                Wizard w(gui::Scaler{dpi});
                const gui::Scaler& s = w.s;
                w.taskslabel.heightForWidth = [&](int) { return promptlines * s(13); };
                w.AddTaskBoxes(count);
                w.Layout();
                EXPECT_EQ(w.taskstitle.left, w.destinationtitle.left);
                EXPECT_EQ(w.taskslabel.top, w.installpathlabel.top);
                EXPECT_EQ(w.clicknext3.top, w.clicknext2.top);
                const Fake& first = w.taskboxes.front();
                EXPECT_EQ(first.left, w.taskslabel.left);
                EXPECT_EQ(first.top, w.taskslabel.top + w.taskslabel.height + s(16));
                for (std::size_t i = 0; i < count; ++i) {
                    const Fake& box = w.taskboxes[i];
                    EXPECT_GE(box.left, w.taskslabel.left) << i;
                    EXPECT_LE(box.left + box.width, w.taskslabel.left + w.taskslabel.width) << i;
                    EXPECT_GE(box.top, first.top) << i;
                    EXPECT_LE(box.top + box.height + s(8), w.clicknext3.top) << i;
                    for (std::size_t j = 0; j < i; ++j) {
                        const Fake& other = w.taskboxes[j];
                        const bool apart = box.left >= other.left + other.width || other.left >= box.left + box.width ||
                                           box.top >= other.top + other.height || other.top >= box.top + box.height;
                        EXPECT_TRUE(apart) << i << " overlaps " << j;
                    }
                }
                // A few tasks take the whole column.
                if (count <= 3) EXPECT_EQ(first.width, w.taskslabel.width);
            }
        }
    }
}

TEST(WizardLayout, ScalesWithTheScreen) {
    Wizard w(gui::Scaler{144});
    w.Layout();
    EXPECT_EQ(w.pages.left, 9);
    EXPECT_EQ(w.pages.top, 8);  // 7.5 rounds up
    EXPECT_EQ(w.pages.width, 753 - 18);
    EXPECT_EQ(w.welcometitle.left, 225 + 24);
    EXPECT_EQ(w.cancel.left, 753 - 122 - 9);
    EXPECT_EQ(w.back.left + w.back.width, w.next.left);
}

TEST(WizardLayout, FollowsALargerForm) {
    Wizard w(gui::Scaler{96}, 640, 480);
    w.Layout();
    EXPECT_EQ(w.pages.width, 628);
    EXPECT_EQ(w.pages.height, 480 - 26 - 17);
    EXPECT_EQ(w.cancel.left, 640 - 81 - 6);
    EXPECT_EQ(w.cancel.top, 5 + w.pages.height + 6);
    EXPECT_EQ(w.welcomelabel.width, 620 - 166 - 16);
}

TEST(DirLayout, DesignSizeAndScaled) {
    Fake panel{0, 0, 271, 310}, tree, ok{0, 0, 81, 26}, cancel{0, 0, 81, 26};
    choosedir::LayoutDir(choosedir::DirParts<Fake>{panel, tree, ok, cancel}, gui::Scaler{96});
    EXPECT_EQ(tree.left, 6);
    EXPECT_EQ(tree.top, 6);
    EXPECT_EQ(tree.width, 259);
    EXPECT_EQ(tree.height, 266);
    EXPECT_EQ(ok.top, 278);
    EXPECT_EQ(cancel.top, 278);
    EXPECT_EQ(cancel.left, 184);
    EXPECT_EQ(ok.left, 97);

    gui::Scaler s{120};
    Fake big{0, 0, s(271), s(310)}, tree2, ok2{0, 0, s(81), s(26)}, cancel2{0, 0, s(81), s(26)};
    choosedir::LayoutDir(choosedir::DirParts<Fake>{big, tree2, ok2, cancel2}, s);
    EXPECT_EQ(tree2.width, s(271) - s(12));
    EXPECT_EQ(cancel2.left + cancel2.width + s(6), big.width);
    EXPECT_EQ(ok2.left + ok2.width + s(6), cancel2.left);
}

TEST(Scaler, RoundsLikeMulDiv) {
    EXPECT_EQ((gui::Scaler{96})(17), 17);
    EXPECT_EQ((gui::Scaler{120})(5), 6);    // 6.25
    EXPECT_EQ((gui::Scaler{144})(5), 8);    // 7.5 rounds away from zero
    EXPECT_EQ((gui::Scaler{144})(-5), -8);
    EXPECT_EQ((gui::Scaler{192})(-11), -22);
}

}  // namespace
