#pragma once
// The settings window of the Win32 front end: where the user builds the list of folders
// the next check walks, from a folder tree and a drive selector. The list lives only here,
// for as long as the program runs; the check reads it by index. Moving in the tree moves
// the process's current directory along (the database path was fixed at start-up and
// does not follow).
//
// Use on the user-interface thread only.

#include <functional>
#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "wingui/window.h"

namespace korvax::wingui {

enum SettingsControl : int {
    kGroupBox1 = 201,
    kDirectoryListBox1,
    kDriveComboBox1,
    kOptionsButton1,  // ">>"
    kOptionsButton2,  // "<<"
    kListBox1,
    kCheckBox1,
    kOptionsLabel2,
};

class TForm2 : public Window {
public:
    // Places itself beside `mainWindow` whenever it is shown; `closed` is told whenever it
    // is closed, whichever way.
    TForm2(const Window& mainWindow, std::function<void()> closed);

    // ">>": appends the folder selected in the tree (without a selection, the current
    // directory) to the list. Duplicates and nested folders are allowed.
    void Button1Click();
    // "<<": deletes the selected entry of the list, if there is one.
    void Button2Click();
    // A change of the list's selection: its hint becomes every listed folder, one a line.
    void ListBox1Click();
    // The list's hint as it stands.
    const std::wstring& ListHint() const { return hint_; }

    // Moves the tree (and the drive selector) to `folder` and makes it the current directory.
    void ChangeDirectory(const std::string& folder);
    // The folder the tree has selected, or without a selection the current directory: a
    // full path without a trailing separator but at a drive's root ("C:\").
    std::string SelectedFolder() const;

    // Appends `folder` (a full path, WTF-8) to the list as it is.
    void AddFolder(const std::string& folder);
    int FolderCount() const { return static_cast<int>(folders_.size()); }
    std::string FolderAt(int index) const;

protected:
    void Placing() override;
    void Closed() override;
    LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void FillDrives();
    void DriveChanged();
    // The folders below the tree item `item`, listed once.
    void FillChildren(HTREEITEM item);
    HTREEITEM AddTreeItem(HTREEITEM parent, const std::string& path, const std::wstring& shown);
    const std::string& PathOf(HTREEITEM item) const;

    const Window& mainWindow_;
    std::function<void()> closed_;
    std::vector<std::string> folders_;      // the list's folders, as the check walks them
    std::vector<std::string> treePaths_;    // each tree item's folder, by the item's lParam
    std::vector<bool> treeFilled_;
    std::wstring hint_;
    HWND tooltip_ = nullptr;
};

}  // namespace korvax::wingui
