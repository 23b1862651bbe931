// The shell folder tree: a tree view over the shell's namespace, rooted at
// the desktop, that lists folders only and fills each branch the first time
// it is expanded.  Each node keeps its absolute item id list.
//
// Two operations serve the folder chooser:
//   ShowPath(path)  collapse the other branches, expand down to the folder
//                   of `path` and make it the selected, focused node
//   SelectedPath()  the file-system path of the focused node; empty when
//                   none is focused or it is a virtual folder (no path)
#pragma once

#include "gui/control.hpp"
#include "gui/handles.hpp"

#include <commctrl.h>
#include <shlobj.h>

#include <memory>
#include <string>
#include <vector>

namespace gui {

class ShellTree : public Control {
public:
    ShellTree() = default;
    ~ShellTree() override;

    void Create(Container& parent, int left, int top, int width, int height);

    // False when the path is not known to the shell; the selection then
    // rests on the deepest folder on the way that was found.
    bool ShowPath(const std::u16string& path);
    std::u16string SelectedPath() const;
    // The focused node's display name (for tests and diagnostics).
    std::u16string SelectedName() const;

    LRESULT Notify(NMHDR* header) override;

private:
    struct Node {
        ItemIdList absolute;
        bool filled = false;
    };
    HTREEITEM AddNode(HTREEITEM parent, LPITEMIDLIST absolute, bool hasChildren);
    void Fill(HTREEITEM item);
    Node* NodeOf(HTREEITEM item) const;

    ComPtr<IShellFolder> desktop_;
    std::vector<std::unique_ptr<Node>> nodes_;
    HTREEITEM root_ = nullptr;
    bool comInitialized_ = false;
};

}  // namespace gui
