// The folder chooser: a modal dialog with the shell's folder tree, OK and
// Cancel.  OK (also Enter) closes it only when the focused folder has a
// file-system path; otherwise it explains and stays open.
#pragma once

#include "gui/form.hpp"
#include "gui/shelltree.hpp"
#include "gui/widgets.hpp"

#include <string>

namespace choosedir {

// Shown when OK finds no usable folder; the wizard shows it too for a
// destination typed by hand that is not an absolute folder.
inline constexpr char kInvalidFolderMessage[] =
    "You have not specified a valid folder.\nPlease select a folder and click OK.";

class Tdir : public gui::Form {
public:
    // Builds the dialog (hidden), owned by `owner`, and runs FormCreate.
    explicit Tdir(gui::Form& owner);

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
    std::string invalidfoldermsg_;
    bool built_ = false;
};

}  // namespace choosedir
