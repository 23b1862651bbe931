// The wizard's layout rule, run on every resize, once at start-up and after
// every page change that Next, the end of the installation or the end of the
// uninstall makes.
//
// Every position follows from fixed margins (design pixels, scaled to the
// screen) and from the sizes of other components, read back after the
// earlier steps have set them; so the steps run in a fixed order.  Labels
// that size themselves take their new height as soon as their width is set.
//
// The rule is written over any control type with Left/Top/Width/Height and
// their setters, so the host tests can run it on stand-ins.
#pragma once

#include "gui/scaler.hpp"

#include <cstddef>
#include <vector>

namespace mainunit {

template <class C>
struct WizardParts {
    C& mainback;
    C& pages;
    C& cancel;
    C& next;
    C& back;
    C& finish;
    // welcome page
    C& welcomepage;
    C& welcometitle;
    C& welcomelabel;
    C& clicknext1;
    C& Image1;  // the installing page's picture sets the text column of all pages
    // license page
    C& licensepage;
    C& licensetitle;
    C& licenselabel;
    C& license;
    C& agree;
    // destination page
    C& destinationpage;
    C& destinationtitle;
    C& installpathlabel;
    C& installpath;
    C& change;
    C& clicknext2;
    // tasks page: a check box per optional task, in one column while they
    // fit between the prompt and the bottom text, else in as many as needed
    C& taskspage;
    C& taskstitle;
    C& taskslabel;
    C& clicknext3;
    // installing page
    C& installingpage;
    C& installingtitle;
    C& installinglabel;
    C& installprogress;
    // finish page
    C& finishpage;
    C& finishtitle;
    C& finishlabel;
    C& launch;
    C& readme;
    C& clickfinish;
    // uninstall finish page
    C& uninstallfinishpage;
    C& uninstallfinishtitle;
    C& uninstallfinishlabel;
    C& clickfinish2;
    std::vector<C*> taskboxes;
};

template <class C>
void LayoutWizard(const WizardParts<C>& w, const gui::Scaler& s) {
    // Frame and buttons.
    w.pages.SetTop(s(5));
    w.pages.SetLeft(s(6));
    w.pages.SetWidth(w.mainback.Width() - s(12));
    w.pages.SetHeight(w.mainback.Height() - s(5) - s(6) - w.cancel.Height() - s(6));
    w.cancel.SetTop(w.pages.Top() + w.pages.Height() + s(6));
    w.cancel.SetLeft(w.mainback.Width() - w.cancel.Width() - s(6));
    w.next.SetTop(w.cancel.Top());
    w.next.SetLeft(w.cancel.Left() - w.next.Width() - s(6));
    w.back.SetTop(w.next.Top());
    w.back.SetLeft(w.next.Left() - w.back.Width());  // Back touches Next
    w.finish.SetTop(w.next.Top());
    w.finish.SetLeft(w.next.Left());

    // Welcome page: the text column starts 16 right of the side picture.
    w.welcometitle.SetLeft(w.Image1.Left() + w.Image1.Width() + s(16));
    w.welcometitle.SetTop(s(16));
    w.welcometitle.SetWidth(w.welcomepage.Width() - w.welcometitle.Left() - s(2));
    w.welcomelabel.SetLeft(w.welcometitle.Left());
    w.welcomelabel.SetTop(s(64));
    w.welcomelabel.SetWidth(w.welcomepage.Width() - w.welcomelabel.Left() - s(16));
    w.clicknext1.SetLeft(w.welcometitle.Left());
    w.clicknext1.SetTop(w.welcomepage.Height() - w.clicknext1.Height() - s(16));

    // License page: no picture.
    w.licensetitle.SetTop(s(16));
    w.licensetitle.SetLeft(s(16));
    w.licenselabel.SetTop(w.licensetitle.Top() + w.licensetitle.Height() + s(16));
    w.licenselabel.SetLeft(w.licensetitle.Left());
    w.license.SetTop(w.licenselabel.Top() + w.licenselabel.Height() + s(8));
    w.license.SetLeft(w.licensetitle.Left());
    w.license.SetWidth(w.licensepage.Width() - w.license.Left() - s(16));
    w.license.SetHeight(w.licensepage.Height() - w.license.Top() - s(16) - w.agree.Height() - s(16));
    w.agree.SetTop(w.license.Top() + w.license.Height() + s(16));
    w.agree.SetLeft(w.license.Left());

    // Destination page.
    w.destinationtitle.SetTop(s(16));
    w.destinationtitle.SetLeft(w.welcometitle.Left());
    w.installpathlabel.SetTop(w.welcomelabel.Top());
    w.installpathlabel.SetLeft(w.destinationtitle.Left());
    w.installpathlabel.SetWidth(w.destinationpage.Width() - w.installpathlabel.Left() - s(16));
    w.installpath.SetTop(w.installpathlabel.Top() + w.installpathlabel.Height() + s(8));
    w.installpath.SetLeft(w.installpathlabel.Left());
    w.installpath.SetWidth(w.destinationpage.Width() - w.installpath.Left() - s(16) - w.change.Width() - s(8));
    w.change.SetTop(w.installpath.Top());
    w.change.SetLeft(w.installpath.Left() + w.installpath.Width() + s(8));
    w.clicknext2.SetTop(w.clicknext1.Top());
    w.clicknext2.SetLeft(w.clicknext1.Left());
    w.clicknext2.SetWidth(w.installpathlabel.Width());

    // Tasks page: the destination page's column; the check boxes below the
    // prompt, row by row, a column filled before the next begins.
    w.taskstitle.SetTop(s(16));
    w.taskstitle.SetLeft(w.welcometitle.Left());
    w.taskslabel.SetTop(w.welcomelabel.Top());
    w.taskslabel.SetLeft(w.taskstitle.Left());
    w.taskslabel.SetWidth(w.taskspage.Width() - w.taskslabel.Left() - s(16));
    w.clicknext3.SetTop(w.clicknext1.Top());
    w.clicknext3.SetLeft(w.clicknext1.Left());
    w.clicknext3.SetWidth(w.taskslabel.Width());
    if (!w.taskboxes.empty()) {
        const int first = w.taskslabel.Top() + w.taskslabel.Height() + s(16);
        const int step = w.taskboxes.front()->Height() + s(6);
        const int room = w.clicknext3.Top() - s(8) - first + s(6);
        const std::size_t rows = room >= step ? static_cast<std::size_t>(room / step) : 1;
        const std::size_t columns = (w.taskboxes.size() + rows - 1) / rows;
        const int gap = s(8);
        const int width = (w.taskslabel.Width() - static_cast<int>(columns - 1) * gap) / static_cast<int>(columns);
        for (std::size_t i = 0; i < w.taskboxes.size(); ++i) {
            C& box = *w.taskboxes[i];
            box.SetLeft(w.taskslabel.Left() + static_cast<int>(i / rows) * (width + gap));
            box.SetTop(first + static_cast<int>(i % rows) * step);
            box.SetWidth(width);
        }
    }

    // Installing page.
    w.installingtitle.SetTop(s(16));
    w.installingtitle.SetLeft(w.welcometitle.Left());
    w.installinglabel.SetTop(w.installpathlabel.Top());
    w.installinglabel.SetLeft(w.installingtitle.Left());
    w.installinglabel.SetWidth(w.installingpage.Width() - w.installinglabel.Left() - s(16));
    w.installprogress.SetTop(w.installinglabel.Top() + w.installinglabel.Height() + s(8));
    w.installprogress.SetLeft(w.installingtitle.Left());
    w.installprogress.SetWidth(w.installingpage.Width() - w.installprogress.Left() - s(16));

    // Finish page.
    w.finishtitle.SetTop(s(16));
    w.finishtitle.SetLeft(w.welcometitle.Left());
    w.finishlabel.SetTop(s(64));
    w.finishlabel.SetLeft(w.finishtitle.Left());
    w.finishlabel.SetWidth(w.finishpage.Width() - w.finishlabel.Left() - s(16));
    w.launch.SetTop(w.finishlabel.Top() + w.finishlabel.Height() + s(32));
    w.launch.SetLeft(w.finishlabel.Left() + s(24));
    w.launch.SetWidth(w.finishlabel.Width());
    w.readme.SetTop(w.launch.Top() + s(32));
    w.readme.SetLeft(w.launch.Left());
    w.readme.SetWidth(w.launch.Width());
    w.clickfinish.SetLeft(w.clicknext2.Left());
    w.clickfinish.SetTop(w.clicknext2.Top());

    // Uninstall finish page.
    w.uninstallfinishtitle.SetTop(s(16));
    w.uninstallfinishtitle.SetLeft(w.welcometitle.Left());
    w.uninstallfinishlabel.SetTop(s(64));
    w.uninstallfinishlabel.SetLeft(w.uninstallfinishtitle.Left());
    w.uninstallfinishlabel.SetWidth(w.uninstallfinishpage.Width() - w.uninstallfinishlabel.Left() - s(16));
    w.clickfinish2.SetLeft(w.clicknext1.Left());
    w.clickfinish2.SetTop(w.clicknext1.Top());
}

}  // namespace mainunit
