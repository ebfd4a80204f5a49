#include "gui/options.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>
#include <QTreeView>

#include "gui/exception_display.h"
#include "gui/folder_bytes.h"
#include "gui/window_look.h"

namespace korvax {

TForm2::TForm2(QWidget& mainWindow, const QPixmap& background) : mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(tr("Настройки"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(513, 219);
    setFont(WindowFont());
    PaintBackground(*this, background);

    GroupBox1 = new QGroupBox(tr("Выбор пути для проверки:"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 6, 497, 182);

    folders_ = new QFileSystemModel(this);
    // Hidden folders too: programs often live in one (a Wine prefix, for instance).
    folders_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
    folders_->setReadOnly(true);

    DirectoryListBox1 = new QTreeView(GroupBox1);
    DirectoryListBox1->setObjectName(QStringLiteral("DirectoryListBox1"));
    DirectoryListBox1->setGeometry(10, 20, 209, 125);
    folders_->setRootPath(QStringLiteral("/"));
    DirectoryListBox1->setModel(folders_);
    for (int column = 1; column < folders_->columnCount(); ++column) DirectoryListBox1->hideColumn(column);
    DirectoryListBox1->setHeaderHidden(true);
    DirectoryListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(DirectoryListBox1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { Guarded([&] { DirectoryChanged(current); }); });

    DriveComboBox1 = new QComboBox(GroupBox1);
    DriveComboBox1->setObjectName(QStringLiteral("DriveComboBox1"));
    DriveComboBox1->setGeometry(10, 151, 209, 21);
    connect(DriveComboBox1, &QComboBox::activated, this,
            [this](int index) { Guarded([&] { DriveComboBox1Change(index); }); });

    Button1 = new QPushButton(QStringLiteral(">>"), GroupBox1);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(226, 60, 48, 25);
    connect(Button1, &QPushButton::clicked, this, [this] { Guarded([&] { Button1Click(); }); });

    Button2 = new QPushButton(QStringLiteral("<<"), GroupBox1);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(226, 96, 48, 25);
    connect(Button2, &QPushButton::clicked, this, [this] { Guarded([&] { Button2Click(); }); });

    ListBox1 = new QListWidget(GroupBox1);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(281, 20, 206, 152);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    // The hint follows every click on an item, also on the one already selected (after
    // ">>" has added folders, say), and every change of the selection by keyboard.
    connect(ListBox1, &QListWidget::itemClicked, this, [this] { Guarded([&] { ListBox1Click(); }); });
    connect(ListBox1, &QListWidget::itemSelectionChanged, this, [this] { Guarded([&] { ListBox1Click(); }); });

    CheckBox1 = new QCheckBox(this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(12, 195, 16, 17);
    CheckBox1->setChecked(true);
    Label2 = new QLabel(tr("Использовать эвристику"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(30, 195, 200, 17);

    FillDrives();
    ChangeDirectory(QDir::currentPath());
}

void TForm2::FillDrives() {
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        // Containers bind single files over the tree as "volumes": only folders are drives.
        if (!volume.isValid() || !volume.isReady() || !QFileInfo(volume.rootPath()).isDir()) continue;
        if (!roots.contains(volume.rootPath())) roots.append(volume.rootPath());
    }
    roots.sort();
    DriveComboBox1->addItems(roots);
}

void TForm2::ChangeDirectory(const QString& folder) {
    const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    // Every volume hangs off "/", so one tree holds them all; choosing a volume moves the
    // tree to its mount point.
    const int driveIndex = DriveComboBox1->findText(QStorageInfo(path).rootPath());
    if (driveIndex >= 0) DriveComboBox1->setCurrentIndex(driveIndex);
    const QModelIndex current = folders_->index(path);
    if (!current.isValid()) return;
    DirectoryListBox1->setCurrentIndex(current);
    DirectoryListBox1->expand(current);
    DirectoryListBox1->scrollTo(current);
}

void TForm2::DriveComboBox1Change(int index) {
    if (index >= 0) ChangeDirectory(DriveComboBox1->itemText(index));
}

void TForm2::DirectoryChanged(const QModelIndex& current) {
    // The tree and the process's current directory move together (the database path was
    // fixed at start-up and does not follow). A folder we may not enter stays selected.
    if (current.isValid()) QDir::setCurrent(folders_->filePath(current));
}

QByteArray TForm2::SelectedFolder() const {
    // The tree lists only names the toolkit can decode, so the text of its selection gives
    // the bytes back exactly. The current directory may lie below a name it cannot (the
    // program was started there): that one comes from the OS as it is.
    const QModelIndex current = DirectoryListBox1->currentIndex();
    return current.isValid() ? QFile::encodeName(QDir::cleanPath(folders_->filePath(current))) : FullFolderPath(".");
}

void TForm2::Button1Click() { AddFolder(SelectedFolder()); }

void TForm2::Button2Click() {
    QListWidgetItem* selected = ListBox1->currentItem();
    if (selected == nullptr || !selected->isSelected()) return;
    delete ListBox1->takeItem(ListBox1->row(selected));
    // As after any deletion, nothing is selected: a second "<<" deletes nothing.
    ListBox1->clearSelection();
    ListBox1->setCurrentRow(-1);
}

void TForm2::ListBox1Click() {
    if (ListBox1->selectedItems().isEmpty()) return;
    QStringList lines;
    for (int i = 0; i < ListBox1->count(); ++i) lines.append(ListBox1->item(i)->text());
    ListBox1->setToolTip(lines.join(QLatin1Char('\n')));
}

void TForm2::AddFolder(const QByteArray& folder) {
    auto* item = new QListWidgetItem(QFile::decodeName(folder), ListBox1);
    item->setData(Qt::UserRole, folder);
}

int TForm2::FolderCount() const { return ListBox1->count(); }

QByteArray TForm2::FolderAt(int index) const {
    const QListWidgetItem* item = ListBox1->item(index);
    return item != nullptr ? item->data(Qt::UserRole).toByteArray() : QByteArray();
}

void TForm2::showEvent(QShowEvent* event) {
    const QRect main = mainWindow_.frameGeometry();
    move(main.x() + main.width(), main.y());
    QWidget::showEvent(event);
}

void TForm2::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    emit closed();
}

}  // namespace korvax
