// Owning wrappers for the Win32 handles the toolkit creates: windows, GDI
// objects and shell item id lists.  Each frees its handle exactly once, when
// it goes out of scope or is reset; none can be copied.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <utility>

namespace gui {

// Closes `Handle` with `Free` (a plain function taking the handle).
template <class Handle, auto Free>
class Owned {
public:
    Owned() = default;
    explicit Owned(Handle handle) : handle_(handle) {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) reset(std::exchange(other.handle_, Handle{}));
        return *this;
    }
    ~Owned() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Handle{}; }
    void reset(Handle handle = Handle{}) {
        if (handle_ != Handle{}) Free(handle_);
        handle_ = handle;
    }
    Handle release() { return std::exchange(handle_, Handle{}); }

private:
    Handle handle_{};
};

namespace detail {
inline void DestroyWindowHandle(HWND window) { ::DestroyWindow(window); }
inline void DeleteGdiObject(HGDIOBJ object) { ::DeleteObject(object); }
inline void FreeItemIdList(LPITEMIDLIST list) { ::CoTaskMemFree(list); }
inline void CloseKernelHandle(HANDLE handle) { ::CloseHandle(handle); }
}  // namespace detail

using OwnedWindow = Owned<HWND, detail::DestroyWindowHandle>;
using FontHandle = Owned<HFONT, detail::DeleteGdiObject>;
using BitmapHandle = Owned<HBITMAP, detail::DeleteGdiObject>;
using BrushHandle = Owned<HBRUSH, detail::DeleteGdiObject>;
using ItemIdList = Owned<LPITEMIDLIST, detail::FreeItemIdList>;
using KernelHandle = Owned<HANDLE, detail::CloseKernelHandle>;

// Releases a COM interface pointer.
template <class Interface>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }
    Interface* get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    // For the out parameter of a call that hands over a reference.
    Interface** put() { reset(); return &pointer_; }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    void reset() {
        if (pointer_) pointer_->Release();
        pointer_ = nullptr;
    }

private:
    Interface* pointer_ = nullptr;
};

// A device context taken for painting or measuring, with the objects
// selected into it restored on the way out.
class ClientDC {
public:
    explicit ClientDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
    ClientDC(const ClientDC&) = delete;
    ClientDC& operator=(const ClientDC&) = delete;
    ~ClientDC() { if (dc_) ::ReleaseDC(window_, dc_); }
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? ::SelectObject(dc, object) : nullptr) {}
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    ~SelectedObject() { if (previous_) ::SelectObject(dc_, previous_); }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace gui
