#include "choosedir/tdir.hpp"

#include "choosedir/dirlayout.hpp"
#include "setuputil/dialogs.hpp"

namespace choosedir {

Tdir::Tdir(gui::Form& owner, const DirTexts& texts) : owner_(owner), texts_(texts) {
    CreateForm(owner.Handle(), texts_.caption, 271, 310, texts_.fontface);
    onResize = [this] { FormResize(); };
    const gui::Scaler& s = Scale();
    Panel1.Create(*this, 0, 0, ClientWidth(), ClientHeight());
    directory.Create(Panel1, s(8), s(8), s(249), s(225));
    ok.Create(Panel1, texts_.ok, s(89), s(272), s(81), s(26), true);
    ok.onClick = [this] { okClick(); };
    cancel.Create(Panel1, texts_.cancel, s(178), s(272), s(81), s(26));
    cancel.onClick = [this] { SetModalResult(gui::kResultCancel); };
    SetDefaultButton(&ok);
    SetCancelButton(&cancel);
    built_ = true;
    FormCreate();
}

void Tdir::FormCreate() {
    FormResize();
}

void Tdir::FormResize() {
    if (!built_) return;
    Panel1.SetBounds(0, 0, ClientWidth(), ClientHeight());
    LayoutDir(DirParts<gui::Control>{Panel1, directory, ok, cancel}, Scale());
}

void Tdir::okClick() {
    if (directory.SelectedPath().empty()) {
        setuputil::ShowErrorBox(Handle(), texts_.invalidfolder, texts_.errorcaption);
        SetModalResult(gui::kResultNone);
        return;
    }
    SetModalResult(gui::kResultOk);
}

int Tdir::Choose() {
    CentreOn(owner_.Handle());
    return ShowModal();
}

}  // namespace choosedir
