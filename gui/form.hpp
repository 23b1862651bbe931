// Top-level forms: a dialog border without border icons, the form's font in
// a regular and a bold cut scaled to the screen's DPI, a panel-like client
// area with the button-face colour, and modal use.
//
// A form creates its window hidden.  ShowForm() runs onShow once before the
// window first becomes visible (texts set there are never seen half-done).
// onResize runs whenever the client area changes size.  Closing the main
// form ends the program; closing a modal form ends its modal loop.
#pragma once

#include "gui/control.hpp"
#include "gui/scaler.hpp"

#include <functional>
#include <string>

namespace gui {

class Button;

enum ModalResult : int { kResultNone = 0, kResultOk = 1, kResultCancel = 2 };

class Form : public Container {
public:
    // `owner`: the window this form stays above (the application window for
    // the main form, the main form for dialogs).  clientWidth/clientHeight
    // are design pixels; the form scales them by `scale`.
    // `fontface`: the face of the form's font (its language's: "MS Sans
    // Serif" has no Cyrillic or CJK glyphs).
    void CreateForm(HWND owner, const std::u16string& caption, int clientWidth, int clientHeight,
                    const std::u16string& fontface = u"MS Sans Serif");

    const Scaler& Scale() const { return scale_; }
    HFONT BoldFont() const { return boldFont_.get(); }
    int ClientWidth() const;
    int ClientHeight() const;

    void CentreOnScreen();
    void CentreOn(HWND other);

    void ShowForm();
    // Main form: hides it and ends the message loop.  Modal form: ends the
    // modal loop with kResultCancel unless a result is already set.
    void Close();
    // A close request from outside the program's own buttons (the title
    // bar, Alt+F4, the task bar): Close() unless onCloseQuery answers false.
    void RequestClose();

    // Runs a modal loop until a result is set; the owner is disabled
    // meanwhile.  Answers the result (kResultCancel when the program ends).
    int ShowModal();
    void SetModalResult(int result) { modalResult_ = result; }
    int GetModalResult() const { return modalResult_; }

    // Enter presses this button wherever the focus is (unless the focus is
    // on another button, which Enter presses instead).
    void SetDefaultButton(Button* button) { defaultButton_ = button; }
    // Escape presses this button; none: Escape does nothing.
    void SetCancelButton(Button* button) { cancelButton_ = button; }

    std::function<void()> onShow;
    std::function<void()> onResize;
    std::function<void()> onClose;
    // Asked by RequestClose; false keeps the form open (it may then close
    // itself later, through Close()).
    std::function<bool()> onCloseQuery;

    int NextControlId() override { return ++lastId_; }

protected:
    bool HandleMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;

private:
    Control* FindById(int id) const;
    Scaler scale_;
    FontHandle ownFont_;
    FontHandle boldFont_;
    bool shown_ = false;
    bool modal_ = false;
    int modalResult_ = kResultNone;
    int lastId_ = 100;
    Button* defaultButton_ = nullptr;
    Button* cancelButton_ = nullptr;
};

// The form's font at a scale: "MS Sans Serif", 8 points.
FontHandle CreateFormFont(const Scaler& scale, bool bold, const std::u16string& face = u"MS Sans Serif");
// The DPI the forms are laid out for.
int ScreenDpi();

}  // namespace gui
