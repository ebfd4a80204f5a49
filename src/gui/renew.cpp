#include "gui/renew.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include "database/database_update.h"
#include "gui/exception_display.h"
#include "gui/window_look.h"

namespace korvax {
namespace {

// The classic frame around a sizeable window: 4-pixel borders and a 19-pixel caption. The
// window's outer size is 394 x 98, so its client area is what is left inside that frame.
constexpr QSize kOuterSize(394, 98);
constexpr QSize kClientSize(kOuterSize.width() - 2 * 4, kOuterSize.height() - 2 * 4 - 19);

// The toolkit's own texts for its standard buttons (translated where Qt's translations are
// installed for the user's language).
QString StandardButtonText(const char* text) { return QCoreApplication::translate("QPlatformTheme", text); }

}  // namespace

TForm4::TForm4(ProgramState& state) : state_(state) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(tr("Обновление"));
    setModal(false);
    setFont(WindowFont());
    resize(kClientSize);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(8, 8, 297, 21);

    Button1 = new QPushButton(tr("Обзор..."), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(304, 8, 75, 25);
    // Enter presses the button that has the keyboard focus, and OK only when the focus is
    // elsewhere (in the path box): an update cannot be undone, so Enter on "Обзор..." or
    // Cancel must never run one. A dialog's auto-default button does exactly that.
    Button1->setAutoDefault(true);
    connect(Button1, &QPushButton::clicked, this, [this] { Guarded([&] { Button1Click(); }); });

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), StandardButtonText("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(224, 40, 75, 25);
    BitBtn1->setDefault(true);  // Enter presses it while no other button has the focus
    connect(BitBtn1, &QPushButton::clicked, this, [this] { Guarded([&] { BitBtn1Click(); }); });

    // Escape closes the window (QDialog's reject, which hides it) as Cancel does.
    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), StandardButtonText("Cancel"),
                              this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(304, 40, 75, 25);
    BitBtn2->setAutoDefault(true);
    connect(BitBtn2, &QPushButton::clicked, this, [this] { Guarded([&] { BitBtn2Click(); }); });

    O1 = new QFileDialog(this, tr("Вирусные базы"), QString(),
                         QStringLiteral("Korvax database files (*.kvd)"));
    O1->setObjectName(QStringLiteral("O1"));

    setTabOrder(Edit1, Button1);
    setTabOrder(Button1, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - kOuterSize.width()) / 2, area.y() + (area.height() - kOuterSize.height()) / 2);
    }
}

void TForm4::Button1Click() {
    if (O1->exec() != QDialog::Accepted) return;
    const QStringList chosen = O1->selectedFiles();
    if (!chosen.isEmpty()) Edit1->setText(chosen.first());
}

void TForm4::BitBtn1Click() {
    // The path is used as typed (no trimming), as the bytes the OS expects.
    const std::string path = QFile::encodeName(Edit1->text()).toStdString();
    UpdateDatabase(path, state_.BasePath, state_.pool.VirusBase, state_.CheckRunning);
}

void TForm4::BitBtn2Click() { close(); }

void TForm4::SetCheckRunning(bool running) { BitBtn1->setEnabled(!running); }

}  // namespace korvax
