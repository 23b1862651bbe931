// The standard controls the forms are built from.  Each Create() takes the
// parent container and the bounds in device pixels; texts are wide.
#pragma once

#include "gui/control.hpp"

#include <functional>
#include <string>
#include <vector>

namespace gui {

// A static text.  With autoSize the label takes the height its text needs
// (and, when not word-wrapped, the width too) whenever the text, the width
// or the font changes; an empty text measures like one blank, so an empty
// label keeps the height of one line.  Ampersands are shown as they are.
class Label : public Control {
public:
    struct Options {
        bool wordWrap = false;
        bool autoSize = true;
    };
    void Create(Container& parent, const std::u16string& text, int left, int top, int width, int height,
                Options options);
    void SetText(const std::u16string& text) override;
    void SetLabelFont(HFONT font);

protected:
    void Resized() override;
    HBRUSH Colour(HDC dc) override;

private:
    void AdjustSize();
    Options options_;
    bool adjusting_ = false;
};

// A bitmap stretched over the control's whole area.  The bitmap is not
// owned: several images may show the same one.
class Image : public Container {
public:
    void Create(Container& parent, HBITMAP bitmap, int left, int top, int width, int height);

protected:
    bool HandleMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;

private:
    HBITMAP bitmap_ = nullptr;
};

// A read-only multi-line text box with both scroll bars.  Line ends of the
// text given (LF, CR or CRLF) are shown as line breaks.
class Memo : public Control {
public:
    void Create(Container& parent, int left, int top, int width, int height);
    void SetText(const std::u16string& text) override;

protected:
    HBRUSH Colour(HDC dc) override;
};

class Edit : public Control {
public:
    void Create(Container& parent, const std::u16string& text, int left, int top, int width, int height);
    HBRUSH Colour(HDC dc) override;
};

class Button : public Control {
public:
    void Create(Container& parent, const std::u16string& caption, int left, int top, int width, int height,
                bool isDefault = false);
    int Id() const;
    std::function<void()> onClick;
    void Command(WORD code) override;
};

class CheckBox : public Control {
public:
    void Create(Container& parent, const std::u16string& caption, int left, int top, int width, int height,
                bool checked);
    bool Checked() const;
    void SetChecked(bool checked);
    std::function<void()> onClick;
    void Command(WORD code) override;
};

class ProgressBar : public Control {
public:
    void Create(Container& parent, int left, int top, int width, int height, int minimum, int maximum);
    void SetPosition(int position);
    int Position() const;
};

// A set of pages of which one is shown, without tabs: only the program
// changes the page.  The pages fill the control inside a raised frame.
class PageControl : public Container {
public:
    void Create(Container& parent, int left, int top, int width, int height, int frameWidth);
    // The page is created as a child of this control and kept in order.
    void AddPage(Panel& page);
    void SetActivePage(Panel& page);
    Panel* ActivePage() const { return active_; }
    // The frame's width on each side, in device pixels.
    int FrameWidth() const { return frame_; }

protected:
    void Resized() override;
    bool HandleMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;

private:
    std::vector<Panel*> pages_;
    Panel* active_ = nullptr;
    int frame_ = 4;
};

}  // namespace gui
