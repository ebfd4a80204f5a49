#include "wingui/options.h"

#include <algorithm>

#include "platform/current_directory.h"
#include "platform/directory_walk.h"
#include "platform/failure.h"
#include "platform/system_info.h"
#include "wingui/error_display.h"
#include "wingui/win_text.h"

namespace korvax::wingui {
namespace {

constexpr SIZE kClientSize{513, 219};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// "C:\" of "C:\x\y", "\\server\share\" of "\\server\share\x"; empty when neither.
std::string RootOf(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2) + "\\";
    if (path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        std::size_t at = path.find_first_of("\\/", 2);
        if (at != std::string::npos) at = path.find_first_of("\\/", at + 1);
        return (at == std::string::npos ? path : path.substr(0, at)) + "\\";
    }
    return {};
}

std::string Join(const std::string& folder, const std::string& name) {
    return !folder.empty() && IsSeparator(folder.back()) ? folder + name : folder + "\\" + name;
}

// The parts of `path` below its root.
std::vector<std::string> PartsBelow(const std::string& path, const std::string& root) {
    std::vector<std::string> parts;
    std::string part;
    for (std::size_t i = std::min(root.size(), path.size()); i <= path.size(); ++i) {
        if (i == path.size() || IsSeparator(path[i])) {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += path[i];
        }
    }
    return parts;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    // The file system compares names without regard to case.
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

}  // namespace

TForm2::TForm2(const Window& mainWindow, std::function<void()> closed)
    : mainWindow_(mainWindow), closed_(std::move(closed)) {
    Create(Tr("Настройки"), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 0, kClientSize, false, mainWindow.Handle());
    UseTile(true);
    AddControl(L"BUTTON", Tr("Выбор пути для проверки:"), WS_VISIBLE | BS_GROUPBOX, kGroupBox1, {8, 6, 505, 188});
    AddControl(WC_TREEVIEWW, L"",
               WS_VISIBLE | WS_TABSTOP | WS_BORDER | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                   TVS_SHOWSELALWAYS,
               kDirectoryListBox1, {18, 26, 227, 151});
    AddControl(WC_COMBOBOXW, L"", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, kDriveComboBox1,
               {18, 157, 227, 357});
    AddControl(L"BUTTON", L">>", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kOptionsButton1, {234, 66, 282, 91});
    AddControl(L"BUTTON", L"<<", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kOptionsButton2, {234, 102, 282, 127});
    HWND list = AddControl(L"LISTBOX", L"", WS_VISIBLE | WS_TABSTOP | WS_BORDER | WS_VSCROLL | LBS_NOTIFY |
                                                LBS_NOINTEGRALHEIGHT,
                           kListBox1, {289, 26, 495, 178});
    AddControl(L"BUTTON", L"", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, kCheckBox1, {12, 195, 28, 212});
    ::SendMessageW(Control(kCheckBox1), BM_SETCHECK, BST_CHECKED, 0);
    AddControl(L"STATIC", Tr("Использовать эвристику"), WS_VISIBLE | SS_LEFT | SS_NOPREFIX, kOptionsLabel2,
               {30, 197, 230, 212});

    // The list's hint: every listed folder, one a line, while the pointer rests on it.
    tooltip_ = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0, 0, 0,
                                 Handle(), nullptr, ::GetModuleHandleW(nullptr), nullptr);
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = Handle();
    tool.uId = reinterpret_cast<UINT_PTR>(list);
    tool.lpszText = const_cast<wchar_t*>(L"");
    ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    ::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 600);

    FillDrives();
    const std::string current = CurrentDirectory();
    if (!current.empty()) ChangeDirectory(current);
}

void TForm2::FillDrives() {
    wchar_t drives[512] = {};
    const DWORD length = ::GetLogicalDriveStringsW(static_cast<DWORD>(std::size(drives)) - 1, drives);
    if (length == 0 || length >= std::size(drives)) return;
    for (const wchar_t* drive = drives; *drive != L'\0'; drive += lstrlenW(drive) + 1) {
        ::SendMessageW(Control(kDriveComboBox1), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(drive));
    }
}

const std::string& TForm2::PathOf(HTREEITEM item) const {
    TVITEMW data{};
    data.mask = TVIF_PARAM | TVIF_HANDLE;
    data.hItem = item;
    TreeView_GetItem(Control(kDirectoryListBox1), &data);
    return treePaths_[static_cast<std::size_t>(data.lParam)];
}

HTREEITEM TForm2::AddTreeItem(HTREEITEM parent, const std::string& path, const std::wstring& shown) {
    treePaths_.push_back(path);
    treeFilled_.push_back(false);
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN;
    insert.item.pszText = const_cast<wchar_t*>(shown.c_str());
    insert.item.lParam = static_cast<LPARAM>(treePaths_.size() - 1);
    insert.item.cChildren = 1;  // known once the item is opened
    return TreeView_InsertItem(Control(kDirectoryListBox1), &insert);
}

void TForm2::FillChildren(HTREEITEM item) {
    TVITEMW data{};
    data.mask = TVIF_PARAM | TVIF_HANDLE;
    data.hItem = item;
    HWND tree = Control(kDirectoryListBox1);
    TreeView_GetItem(tree, &data);
    const auto index = static_cast<std::size_t>(data.lParam);
    if (treeFilled_[index]) return;
    treeFilled_[index] = true;
    const std::string folder = treePaths_[index];
    // Hidden folders too: programs often live in one.
    std::vector<std::string> names;
    DirectoryListing listing(IsSeparator(folder.back()) ? folder : folder + "\\");
    while (const std::optional<DirectoryEntry> entry = listing.next()) {
        if (entry->kind == EntryKind::Directory && entry->name != "." && entry->name != "..") {
            names.push_back(entry->name);
        }
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const std::wstring wa = Wide(a), wb = Wide(b);
        return ::CompareStringOrdinal(wa.c_str(), -1, wb.c_str(), -1, TRUE) == CSTR_LESS_THAN;
    });
    for (const std::string& name : names) AddTreeItem(item, Join(folder, name), Wide(name));
    if (names.empty()) {
        data.mask = TVIF_CHILDREN | TVIF_HANDLE;
        data.cChildren = 0;
        TreeView_SetItem(tree, &data);
    }
}

void TForm2::ChangeDirectory(const std::string& folder) {
    const std::string root = RootOf(folder);
    if (root.empty()) return;
    HWND tree = Control(kDirectoryListBox1);
    // The tree shows one drive, the one the folder is on.
    TreeView_DeleteAllItems(tree);
    treePaths_.clear();
    treeFilled_.clear();
    const int drive = static_cast<int>(
        ::SendMessageW(Control(kDriveComboBox1), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                       reinterpret_cast<LPARAM>(Wide(root).c_str())));
    if (drive >= 0) ::SendMessageW(Control(kDriveComboBox1), CB_SETCURSEL, static_cast<WPARAM>(drive), 0);
    HTREEITEM item = AddTreeItem(TVI_ROOT, root, Wide(root));
    for (const std::string& part : PartsBelow(folder, root)) {
        FillChildren(item);
        TreeView_Expand(tree, item, TVE_EXPAND);
        const std::wstring wanted = Wide(part);
        HTREEITEM child = TreeView_GetChild(tree, item);
        for (; child != nullptr; child = TreeView_GetNextSibling(tree, child)) {
            wchar_t text[MAX_PATH] = {};
            TVITEMW data{};
            data.mask = TVIF_TEXT | TVIF_HANDLE;
            data.hItem = child;
            data.pszText = text;
            data.cchTextMax = MAX_PATH;
            TreeView_GetItem(tree, &data);
            if (SameName(text, wanted)) break;
        }
        if (child == nullptr) break;  // a folder the listing does not show: stop above it
        item = child;
    }
    FillChildren(item);
    TreeView_SelectItem(tree, item);
    TreeView_EnsureVisible(tree, item);
}

std::string TForm2::SelectedFolder() const {
    HTREEITEM selected = TreeView_GetSelection(Control(kDirectoryListBox1));
    std::string path = selected != nullptr ? PathOf(selected) : CurrentDirectory();
    if (path.size() > RootOf(path).size() && IsSeparator(path.back())) path.pop_back();
    return path;
}

void TForm2::Button1Click() { AddFolder(SelectedFolder()); }

void TForm2::Button2Click() {
    HWND list = Control(kListBox1);
    const LRESULT selected = ::SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR || selected < 0 || static_cast<std::size_t>(selected) >= folders_.size()) return;
    ::SendMessageW(list, LB_DELETESTRING, static_cast<WPARAM>(selected), 0);
    folders_.erase(folders_.begin() + selected);
    // As after any deletion, nothing is selected: a second "<<" deletes nothing.
    ::SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

void TForm2::ListBox1Click() {
    if (::SendMessageW(Control(kListBox1), LB_GETCURSEL, 0, 0) == LB_ERR) return;
    hint_.clear();
    for (const std::string& folder : folders_) hint_ += (hint_.empty() ? L"" : L"\n") + Wide(folder);
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = Handle();
    tool.uId = reinterpret_cast<UINT_PTR>(Control(kListBox1));
    tool.lpszText = hint_.data();
    ::SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void TForm2::AddFolder(const std::string& folder) {
    folders_.push_back(folder);
    ::SendMessageW(Control(kListBox1), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(folder).c_str()));
}

std::string TForm2::FolderAt(int index) const {
    return index >= 0 && index < FolderCount() ? folders_[static_cast<std::size_t>(index)] : std::string();
}

void TForm2::Placing() {
    RECT main{};
    ::GetWindowRect(mainWindow_.Handle(), &main);
    ::SetWindowPos(Handle(), nullptr, main.right, main.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm2::Closed() {
    if (closed_) closed_();
}

LRESULT TForm2::Message(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (id == kOptionsButton1 && code == BN_CLICKED) Guarded([&] { Button1Click(); });
            if (id == kOptionsButton2 && code == BN_CLICKED) Guarded([&] { Button2Click(); });
            if (id == kListBox1 && code == LBN_SELCHANGE) Guarded([&] { ListBox1Click(); });
            if (id == kDriveComboBox1 && code == CBN_SELCHANGE) Guarded([&] { DriveChanged(); });
            return 0;
        }
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom != kDirectoryListBox1) break;
            const auto* view = reinterpret_cast<const NMTREEVIEWW*>(lParam);
            if (header->code == TVN_ITEMEXPANDINGW && view->action == TVE_EXPAND) {
                Guarded([&] { FillChildren(view->itemNew.hItem); });
            } else if (header->code == TVN_SELCHANGEDW && view->itemNew.hItem != nullptr) {
                // A folder we may not enter stays selected; the current directory stays.
                try {
                    ChangeCurrentDirectory(PathOf(view->itemNew.hItem));
                } catch (const Failure&) {
                }
            }
            return 0;
        }
        default:
            break;
    }
    return Window::Message(message, wParam, lParam);
}

void TForm2::DriveChanged() {
    HWND combo = Control(kDriveComboBox1);
    const LRESULT index = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return;
    wchar_t drive[MAX_PATH] = {};
    ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(drive));
    ChangeDirectory(Utf8(drive));
}

}  // namespace korvax::wingui
