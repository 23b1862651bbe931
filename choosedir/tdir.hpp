// The folder chooser: a modal dialog with the shell's folder tree, OK and
// Cancel.  OK (also Enter) closes it only when the focused folder has a
// file-system path; otherwise it explains and stays open.
#pragma once

#include "gui/form.hpp"
#include "gui/shelltree.hpp"
#include "gui/widgets.hpp"

#include <string>

namespace choosedir {

// The dialog's texts, in the wizard's language.
struct DirTexts {
    std::u16string caption, ok, cancel;
    // Shown when OK finds no usable folder.
    std::u16string invalidfolder;
    std::u16string errorcaption;  // the caption of its box
    std::u16string fontface;  // the wizard's
};

class Tdir : public gui::Form {
public:
    // Builds the dialog (hidden), owned by `owner`, and runs FormCreate.
    Tdir(gui::Form& owner, const DirTexts& texts);

    void FormCreate();
    void FormResize();
    void okClick();

    // Shows the dialog centred on its owner; answers gui::kResultOk or
    // gui::kResultCancel.
    int Choose();

    gui::Panel Panel1;
    gui::ShellTree directory;
    gui::Button ok;
    gui::Button cancel;

private:
    gui::Form& owner_;
    const DirTexts texts_;
    bool built_ = false;
};

}  // namespace choosedir
