// The folder chooser's layout rule: the tree fills the dialog above a row
// of two buttons at the bottom right.  Same conventions as the wizard's
// rule (mainunit/wizardlayout.hpp): design pixels through the scaler, each
// step reading what the previous ones set.
#pragma once

#include "gui/scaler.hpp"

namespace choosedir {

template <class C>
struct DirParts {
    C& Panel1;
    C& directory;
    C& ok;
    C& cancel;
};

template <class C>
void LayoutDir(const DirParts<C>& d, const gui::Scaler& s) {
    d.directory.SetTop(s(6));
    d.directory.SetLeft(s(6));
    d.directory.SetWidth(d.Panel1.Width() - s(12));
    d.directory.SetHeight(d.Panel1.Height() - s(12) - d.ok.Height() - s(6));
    d.cancel.SetTop(d.directory.Top() + d.directory.Height() + s(6));
    d.cancel.SetLeft(d.Panel1.Width() - d.cancel.Width() - s(6));
    d.ok.SetTop(d.cancel.Top());
    d.ok.SetLeft(d.cancel.Left() - d.ok.Width() - s(6));
}

}  // namespace choosedir
