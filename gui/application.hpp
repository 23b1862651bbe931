// The application object: the program's one message loop, its title, its
// main form and the requested end of the program.
//
// It owns a hidden-size top-level window that carries the application title
// on the task bar and owns the main form; activating it passes the
// activation on to the form (or to the dialog the form has open).
//
// Exactly one Application exists while the program runs (made by the
// program entry); Current() reaches it from the toolkit.
#pragma once

#include "gui/handles.hpp"

#include <windows.h>

#include <exception>
#include <string>

namespace gui {

class Form;

class Application {
public:
    Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;
    ~Application();

    static Application* Current();

    // Registers the common controls (v6 through the manifest) and creates
    // the application window.
    bool Initialize();
    void SetTitle(const std::u16string& title);
    HWND Window() const { return window_.get(); }

    // The first form that asks becomes the main form.
    void SetMainForm(Form& form);
    Form* MainForm() const { return mainForm_; }

    // Shows the main form and runs the message loop until Terminate().
    // Does not show it when the end was requested already.
    int Run();
    // Handles every message that is waiting, then returns.
    void ProcessMessages();
    // Ends the message loop the next time it runs.
    void Terminate();
    bool Terminated() const { return terminated_; }

    // Handles one retrieved message: dialog keys for toolkit forms, then
    // translation and dispatch.
    static void DispatchOne(MSG& message);

    // Shows an exception that reached a window procedure, as an error box.
    static void ShowException(std::exception_ptr error);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    OwnedWindow window_;
    Form* mainForm_ = nullptr;
    bool terminated_ = false;
};

}  // namespace gui
