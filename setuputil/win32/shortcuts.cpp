#include "setuputil/shortcuts.hpp"

#include "setuputil/codepage.hpp"
#include "setuputil/platform.hpp"
#include "setuputil/wintext.hpp"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlguid.h>
#include <shlobj.h>

#include <iterator>

namespace setuputil {

namespace {

// An interface pointer released when it goes out of scope.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() {
        if (p_ != nullptr) p_->Release();
    }
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    void** out() { return reinterpret_cast<void**>(&p_); }

private:
    T* p_ = nullptr;
};

std::string HexCode(HRESULT code) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "0x00000000";
    auto value = static_cast<unsigned long>(code);
    for (int i = 9; i >= 2; --i, value >>= 4) text[static_cast<std::size_t>(i)] = digits[value & 15];
    return text;
}

void Check(HRESULT hr, const char* what) {
    if (FAILED(hr)) throw ComError(std::string(what) + " (" + HexCode(hr) + ")", static_cast<std::int32_t>(hr));
}

template <typename Link, typename Text>
void SetFields(Link& link, const Text& target, const Text& arguments, const Text& description,
               const Text& workfolder) {
    link->SetPath(target);
    link->SetArguments(arguments);
    link->SetDescription(description);
    link->SetWorkingDirectory(workfolder);
}

}  // namespace

// Balances a successful CoInitialize.  A thread already in the other
// apartment model answers RPC_E_CHANGED_MODE and must not be uninitialised:
// that would take away the caller's own initialisation.
ShortcutSession::ShortcutSession() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}

ShortcutSession::~ShortcutSession() {
    if (initialised_) CoUninitialize();
}

bool CreateShortcut(const std::u16string& target, const std::u16string& arguments,
                    const std::u16string& description, const std::u16string& workfolder,
                    const std::u16string& linkfile) {
    const ShortcutSession com;
    ComPtr<IUnknown> object;
    Check(CoCreateInstance(__uuidof(ShellLink), nullptr, CLSCTX_INPROC_SERVER, __uuidof(IUnknown), object.out()),
          "Cannot create the shell link object");
    ComPtr<IPersistFile> file;
    if (IsWin2000OrLater()) {
        ComPtr<IShellLinkW> link;
        Check(object->QueryInterface(__uuidof(IShellLinkW), link.out()), "The shell link object lacks IShellLinkW");
        Check(object->QueryInterface(__uuidof(IPersistFile), file.out()), "The shell link object lacks IPersistFile");
        SetFields(link, WinStr(target), WinStr(arguments), WinStr(description), WinStr(workfolder));
    } else {
        ComPtr<IShellLinkA> link;
        Check(object->QueryInterface(__uuidof(IShellLinkA), link.out()), "The shell link object lacks IShellLinkA");
        Check(object->QueryInterface(__uuidof(IPersistFile), file.out()), "The shell link object lacks IPersistFile");
        const std::string a = WideToAnsi(target), b = WideToAnsi(arguments), c = WideToAnsi(description),
                          d = WideToAnsi(workfolder);
        SetFields(link, a.c_str(), b.c_str(), c.c_str(), d.c_str());
    }
    return SUCCEEDED(file->Save(WinStr(linkfile), TRUE));
}

std::u16string ReadShortcutTarget(const std::u16string& linkfile) {
    const ShortcutSession com;
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    if (FAILED(CoCreateInstance(__uuidof(ShellLink), nullptr, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkW), link.out())) ||
        FAILED(link->QueryInterface(__uuidof(IPersistFile), file.out())) || FAILED(file->Load(WinStr(linkfile), STGM_READ)))
        return {};
    wchar_t target[MAX_PATH * 4] = {};
    if (FAILED(link->GetPath(target, static_cast<int>(std::size(target)), nullptr, SLGP_RAWPATH))) return {};
    target[std::size(target) - 1] = 0;
    return FromWinStr(target);
}

}  // namespace setuputil
