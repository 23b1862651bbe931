#include "gui/shelltree.hpp"

#include "setuputil/wintext.hpp"

#include <shellapi.h>

#include <algorithm>

namespace gui {

using setuputil::FromWinStr;

ShellTree::~ShellTree() {
    // The tree must not outlive the nodes its items point to.
    window_.reset();
    nodes_.clear();
    desktop_.reset();
    if (comInitialized_) ::CoUninitialize();
}

void ShellTree::Create(Container& parent, int left, int top, int width, int height) {
    comInitialized_ = SUCCEEDED(::CoInitialize(nullptr));
    const DWORD style = WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                        TVS_SHOWSELALWAYS;
    CreateWindowFor(&parent, WC_TREEVIEWW, style, WS_EX_CLIENTEDGE, left, top, width, height);
    if (!Handle()) return;
    SHFILEINFOW info{};
    const auto images = reinterpret_cast<HIMAGELIST>(
        ::SHGetFileInfoW(L"C:\\", 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    if (images) ::SendMessageW(Handle(), TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(images));
    if (FAILED(::SHGetDesktopFolder(desktop_.put()))) return;
    LPITEMIDLIST desktopList = nullptr;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &desktopList)) || !desktopList) return;
    root_ = AddNode(TVI_ROOT, desktopList, true);
    Fill(root_);
    ::SendMessageW(Handle(), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(root_));
}

HTREEITEM ShellTree::AddNode(HTREEITEM parent, LPITEMIDLIST absolute, bool hasChildren) {
    auto node = std::make_unique<Node>();
    node->absolute.reset(absolute);
    SHFILEINFOW info{};
    ::SHGetFileInfoW(reinterpret_cast<LPCWSTR>(absolute), 0, &info, sizeof(info),
                     SHGFI_PIDL | SHGFI_DISPLAYNAME | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    SHFILEINFOW open{};
    ::SHGetFileInfoW(reinterpret_cast<LPCWSTR>(absolute), 0, &open, sizeof(open),
                     SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_OPENICON);
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    insert.item.pszText = info.szDisplayName;
    insert.item.lParam = reinterpret_cast<LPARAM>(node.get());
    insert.item.cChildren = hasChildren ? 1 : 0;
    insert.item.iImage = info.iIcon;
    insert.item.iSelectedImage = open.iIcon;
    const auto item = reinterpret_cast<HTREEITEM>(
        ::SendMessageW(Handle(), TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    if (item) nodes_.push_back(std::move(node));
    return item;
}

ShellTree::Node* ShellTree::NodeOf(HTREEITEM item) const {
    if (!item || !Handle()) return nullptr;
    TVITEMW data{};
    data.mask = TVIF_PARAM;
    data.hItem = item;
    if (!::SendMessageW(Handle(), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data))) return nullptr;
    return reinterpret_cast<Node*>(data.lParam);
}

void ShellTree::Fill(HTREEITEM item) {
    Node* node = NodeOf(item);
    if (!node || node->filled || !desktop_) return;
    node->filled = true;
    ComPtr<IShellFolder> folder;
    const bool isDesktop = node->absolute.get()->mkid.cb == 0;
    if (isDesktop) {
        desktop_->AddRef();
        *folder.put() = desktop_.get();
    } else if (FAILED(desktop_->BindToObject(node->absolute.get(), nullptr, __uuidof(IShellFolder), folder.put_void()))) {
        return;
    }
    ComPtr<IEnumIDList> items;
    if (folder->EnumObjects(Handle(), SHCONTF_FOLDERS, items.put()) != S_OK || !items) {
        TVITEMW none{};
        none.mask = TVIF_CHILDREN;
        none.hItem = item;
        ::SendMessageW(Handle(), TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&none));
        return;
    }
    std::vector<ItemIdList> children;
    LPITEMIDLIST child = nullptr;
    ULONG fetched = 0;
    while (items->Next(1, &child, &fetched) == S_OK && fetched == 1) {
        ItemIdList relative(child);
        SFGAOF attributes = SFGAO_FOLDER | SFGAO_STREAM;
        LPCITEMIDLIST one = relative.get();
        folder->GetAttributesOf(1, &one, &attributes);
        // Archives such as zip files count as folders to the shell; they are
        // not places to install into.
        if ((attributes & SFGAO_FOLDER) == 0 || (attributes & SFGAO_STREAM) != 0) continue;
        children.push_back(std::move(relative));
    }
    IShellFolder* sorter = folder.get();
    std::sort(children.begin(), children.end(), [sorter](const ItemIdList& a, const ItemIdList& b) {
        return static_cast<short>(HRESULT_CODE(sorter->CompareIDs(0, a.get(), b.get()))) < 0;
    });
    for (const ItemIdList& relative : children) {
        SFGAOF attributes = SFGAO_HASSUBFOLDER;
        LPCITEMIDLIST one = relative.get();
        folder->GetAttributesOf(1, &one, &attributes);
        LPITEMIDLIST absolute = ::ILCombine(node->absolute.get(), relative.get());
        if (absolute) AddNode(item, absolute, (attributes & SFGAO_HASSUBFOLDER) != 0);
    }
    if (children.empty()) {
        TVITEMW none{};
        none.mask = TVIF_CHILDREN;
        none.hItem = item;
        ::SendMessageW(Handle(), TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&none));
    }
}

LRESULT ShellTree::Notify(NMHDR* header) {
    if (header->code == TVN_ITEMEXPANDINGW) {
        auto* change = reinterpret_cast<NMTREEVIEWW*>(header);
        if (change->action & TVE_EXPAND) Fill(change->itemNew.hItem);
    }
    return 0;
}

bool ShellTree::ShowPath(const std::u16string& path) {
    if (!Handle() || !desktop_ || !root_) return false;
    std::u16string text = path;
    ItemIdList target;
    {
        LPITEMIDLIST parsed = nullptr;
        if (FAILED(desktop_->ParseDisplayName(Handle(), nullptr, reinterpret_cast<LPWSTR>(text.data()), nullptr,
                                              &parsed, nullptr)) || !parsed)
            return false;
        target.reset(parsed);
    }
    // Collapse every branch below the desktop first.
    for (auto item = reinterpret_cast<HTREEITEM>(::SendMessageW(Handle(), TVM_GETNEXTITEM, TVGN_CHILD,
                                                                reinterpret_cast<LPARAM>(root_)));
         item; item = reinterpret_cast<HTREEITEM>(::SendMessageW(Handle(), TVM_GETNEXTITEM, TVGN_NEXT,
                                                                 reinterpret_cast<LPARAM>(item))))
        ::SendMessageW(Handle(), TVM_EXPAND, TVE_COLLAPSE, reinterpret_cast<LPARAM>(item));

    HTREEITEM current = root_;
    bool found = target.get()->mkid.cb == 0;
    while (!found) {
        Fill(current);
        HTREEITEM next = nullptr;
        for (auto item = reinterpret_cast<HTREEITEM>(::SendMessageW(Handle(), TVM_GETNEXTITEM, TVGN_CHILD,
                                                                    reinterpret_cast<LPARAM>(current)));
             item; item = reinterpret_cast<HTREEITEM>(::SendMessageW(Handle(), TVM_GETNEXTITEM, TVGN_NEXT,
                                                                     reinterpret_cast<LPARAM>(item)))) {
            Node* node = NodeOf(item);
            if (!node) continue;
            if (::ILIsEqual(node->absolute.get(), target.get())) {
                next = item;
                found = true;
                break;
            }
            if (::ILIsParent(node->absolute.get(), target.get(), FALSE)) {
                next = item;
                break;
            }
        }
        if (!next) break;
        ::SendMessageW(Handle(), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(current));
        current = next;
    }
    ::SendMessageW(Handle(), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(current));
    ::SendMessageW(Handle(), TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(current));
    return found;
}

std::u16string ShellTree::SelectedPath() const {
    if (!Handle()) return {};
    const auto item = reinterpret_cast<HTREEITEM>(::SendMessageW(Handle(), TVM_GETNEXTITEM, TVGN_CARET, 0));
    Node* node = NodeOf(item);
    if (!node) return {};
    wchar_t path[MAX_PATH + 1] = {};
    if (!::SHGetPathFromIDListW(node->absolute.get(), path)) return {};
    return FromWinStr(path);
}

std::u16string ShellTree::SelectedName() const {
    if (!Handle()) return {};
    const auto item = reinterpret_cast<HTREEITEM>(::SendMessageW(Handle(), TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (!item) return {};
    wchar_t name[MAX_PATH + 1] = {};
    TVITEMW data{};
    data.mask = TVIF_TEXT;
    data.hItem = item;
    data.pszText = name;
    data.cchTextMax = MAX_PATH;
    if (!::SendMessageW(Handle(), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data))) return {};
    return FromWinStr(name);
}

}  // namespace gui
