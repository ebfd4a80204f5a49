#pragma once
// The settings window: where the user builds the list of folders the next check walks.
// The list lives only here, for as long as the program runs; the check reads it by index.
//
// Use on the user-interface thread only.

#include <QWidget>

class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTreeView;

namespace korvax {

class TForm2 : public QWidget {
    Q_OBJECT

public:
    // Places itself beside `mainWindow` whenever it is shown; paints `background` behind
    // its controls.
    TForm2(QWidget& mainWindow, const QPixmap& background);

    // ">>": appends the folder selected in the folder tree to the list. Duplicates and a
    // folder below one already listed are allowed (the check then walks it twice).
    void Button1Click();
    // "<<": deletes the selected entry of the list, if there is one.
    void Button2Click();
    // A click in the list: its hint becomes every listed folder, one per line.
    void ListBox1Click();

    // Moves the folder tree to `folder` and makes it the process's current directory.
    void ChangeDirectory(const QString& folder);
    // The folder the tree has selected, or without a selection the current directory: a
    // full path (its bytes), without a trailing '/' except "/".
    QByteArray SelectedFolder() const;

    // Appends `folder` (its bytes, as the OS names it) to the list as it is; the list shows
    // it as text (the command line's folders come in here).
    void AddFolder(const QByteArray& folder);
    int FolderCount() const;
    // The bytes of the listed folder, which the check walks.
    QByteArray FolderAt(int index) const;

signals:
    // The window was closed, whichever way: the main window's start and update buttons
    // may be used again.
    void closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FillDrives();
    void DriveComboBox1Change(int index);
    void DirectoryChanged(const QModelIndex& current);

    QWidget& mainWindow_;
    QFileSystemModel* folders_ = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QTreeView* DirectoryListBox1 = nullptr;
    QComboBox* DriveComboBox1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QListWidget* ListBox1 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QLabel* Label2 = nullptr;
};

}  // namespace korvax
