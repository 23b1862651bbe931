// The toolkit's controls: thin owners of Win32 windows with cached bounds.
//
// Every control keeps its own Left/Top/Width/Height (device pixels, in its
// parent's client coordinates) so that a layout rule can read back exactly
// what it has just set, even for hidden controls.  Containers (form, panel,
// page control, page) are windows of the toolkit's own class; they route
// the notifications of their children (clicks, colours) to the child's
// object, found through the child window's user data.
//
// Handlers are std::function members.  A handler that throws does not
// unwind through the window procedure: the exception is caught there and
// its text shown in an error box (see Application::ShowException).
#pragma once

#include "gui/handles.hpp"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace gui {

class Container;

class Control {
public:
    Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control() = default;

    HWND Handle() const { return window_.get(); }

    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetBounds(int left, int top, int width, int height);
    void SetLeft(int left) { SetBounds(left, top_, width_, height_); }
    void SetTop(int top) { SetBounds(left_, top, width_, height_); }
    void SetWidth(int width) { SetBounds(left_, top_, width, height_); }
    void SetHeight(int height) { SetBounds(left_, top_, width_, height); }

    bool Visible() const;
    void SetVisible(bool visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    bool Enabled() const;
    void SetEnabled(bool enabled);

    virtual void SetText(const std::u16string& text);
    std::u16string Text() const;
    void SetFont(HFONT font);
    HFONT Font() const { return font_; }
    void Focus();

    // Called by the parent container for this control's WM_COMMAND
    // notifications and for its WM_CTLCOLOR* message.
    virtual void Command(WORD /*code*/) {}
    virtual HBRUSH Colour(HDC dc);
    virtual LRESULT Notify(NMHDR* /*header*/) { return 0; }

protected:
    // Creates the window as a child of `parent` (or top-level when null).
    void CreateWindowFor(Container* parent, const wchar_t* windowClass, DWORD style, DWORD exStyle,
                         int left, int top, int width, int height, const std::u16string& text = {});
    // After a change of size, for controls that derive something from it.
    virtual void Resized() {}

    OwnedWindow window_;
    HFONT font_ = nullptr;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
};

// A window of the toolkit's own class that hosts children.
class Container : public Control {
public:
    ~Container() override;
    // Extra data for children that need it at creation.
    HINSTANCE Instance() const;
    // Gives a control the next command identifier of the top-level form.
    virtual int NextControlId();
    // Left-aligned children: top 0, left 0, full height, own width.
    void AlignLeft(Control& child) { alignedLeft_.push_back(&child); AlignChildren(); }

    static const wchar_t* ClassName();
    static void RegisterClass(HINSTANCE instance);
    // True when `window` is a window of the toolkit's class.
    static bool IsToolkitWindow(HWND window);

protected:
    void CreateContainer(Container* parent, DWORD style, DWORD exStyle, int left, int top, int width, int height,
                         const std::u16string& text = {});
    // Returns true when it handled the message and set `result`.
    virtual bool HandleMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);
    void Resized() override { AlignChildren(); }
    void AlignChildren();
    Container* parent_ = nullptr;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT Dispatch(UINT message, WPARAM wparam, LPARAM lparam);
    std::vector<Control*> alignedLeft_;
};

// A plain container with the button-face background and no bevel.
class Panel : public Container {
public:
    void Create(Container& parent, int left, int top, int width, int height);
};

}  // namespace gui
