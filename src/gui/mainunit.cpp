#include "gui/mainunit.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>

#include "check/scan_scheduler.h"
#include "engine/display_text.h"
#include "monitor/status_refresh.h"
#include "gui/exception_display.h"
#include "gui/options.h"
#include "gui/renew.h"
#include "gui/restore_window.h"
#include "gui/statistic.h"
#include "gui/window_look.h"

namespace korvax {
namespace {

constexpr QSize kClientSize(153, 403);
constexpr QPoint kPlace(192, 113);
constexpr int kMargin = 6;
constexpr int kInnerWidth = kClientSize.width() - 2 * kMargin;

// The five buttons fill the top of the window, one under the other.
constexpr int kButtonTop = 2;
constexpr int kButtonPitch = 27;
constexpr int kButtonHeight = 26;

// Below them, five figures, each a caption and, under it, its value at the right edge.
constexpr int kFiguresTop = 146;
constexpr int kFigurePitch = 40;
constexpr int kCaptionHeight = 18;
constexpr int kValueHeight = 15;

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

}  // namespace

TForm1::TForm1(ProgramState& state, const Startup& startup)
    : DesktopPump(state.sync),
      state_(state),
      check_(state, *startup.backupCalls, {},
             {[this](const std::string& pruneNote) { restore_->SetPruneNote(Text(pruneNote)); },
              [this](bool running) { SetCheckRunning(running); }}) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Korvax"));
    // Fixed single border with the system menu and the minimise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(kClientSize);
    move(kPlace);
    setFont(WindowFont());

    struct ButtonPlan {
        QToolButton** button;
        const char* name;
        QString caption;
        QIcon glyph;
        void (TForm1::*handler)();
    };
    const ButtonPlan buttons[] = {
        {&SpeedButton1, "SpeedButton1", tr("Настройки"), SettingsGlyph(), &TForm1::SpeedButton1Click},
        {&SpeedButton2, "SpeedButton2", tr("Статистика"), StatisticsGlyph(), &TForm1::SpeedButton2Click},
        {&SpeedButton3, "SpeedButton3", tr("Начать проверку"), QIcon(), &TForm1::SpeedButton3Click},
        {&SpeedButton4, "SpeedButton4", tr("Остановить проверку"), QIcon(), &TForm1::SpeedButton4Click},
        {&SpeedButton5, "SpeedButton5", tr("Обновить"), UpdateGlyph(), &TForm1::SpeedButton5Click},
    };
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    const QIcon blankGlyph(blank);
    int top = kButtonTop;
    for (const ButtonPlan& plan : buttons) {
        auto* button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(plan.name));
        button->setText(plan.caption);
        button->setAutoRaise(true);  // flat until the pointer is over it
        button->setFocusPolicy(Qt::NoFocus);
        // Buttons without a glyph keep an empty one, so that all five captions line up.
        button->setIcon(plan.glyph.isNull() ? blankGlyph : plan.glyph);
        button->setIconSize(QSize(16, 16));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setGeometry(0, top, kClientSize.width(), kButtonHeight);
        const auto handler = plan.handler;
        connect(button, &QToolButton::clicked, this, [this, handler] { Guarded([&] { (this->*handler)(); }); });
        *plan.button = button;
        top += kButtonPitch;
    }
    SpeedButton4->setEnabled(false);

    auto* rule = new QFrame(this);
    rule->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    rule->setGeometry(kMargin, top + 2, kInnerWidth, 2);

    // The captions' 15-pixel serif face is condensed just enough for the widest caption
    // to fit the narrow window.
    const QStringList captions = {tr("Частота процессора:"), tr("Загрузка процессора:"), tr("Количество потоков:"),
                                  tr("Проверено:"), tr("Всего:")};
    const QFont captionFont = FittedFont(CaptionFont(), captions, kInnerWidth);
    const QString initialValues[] = {QStringLiteral("0"), QStringLiteral("0%"), QStringLiteral("0"),
                                     QStringLiteral("0"), QStringLiteral("0")};
    QLabel** values[] = {&Label2, &Label4, &Label6, &Label8, &Label10};
    for (int i = 0; i < 5; ++i) {
        const int y = kFiguresTop + i * kFigurePitch;
        auto* caption = new QLabel(captions[i], this);
        caption->setObjectName(QStringLiteral("Label%1").arg(2 * i + 1));
        caption->setFont(captionFont);
        caption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        caption->setGeometry(kMargin, y, kInnerWidth, kCaptionHeight);
        auto* value = new QLabel(initialValues[i], this);
        value->setObjectName(QStringLiteral("Label%1").arg(2 * i + 2));
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setGeometry(kMargin, y + kCaptionHeight, kInnerWidth, kValueHeight);
        *values[i] = value;
    }

    const int gaugeTop = kFiguresTop + 5 * kFigurePitch;
    auto* label11 = new QLabel(tr("Прогресс проверки:"), this);
    label11->setObjectName(QStringLiteral("Label11"));
    label11->setGeometry(kMargin, gaugeTop, kInnerWidth, kValueHeight);
    CGauge1 = new QProgressBar(this);
    CGauge1->setObjectName(QStringLiteral("CGauge1"));
    CGauge1->setRange(0, 100);
    CGauge1->setValue(0);
    CGauge1->setAlignment(Qt::AlignCenter);
    CGauge1->setFormat(QStringLiteral("%p%"));
    CGauge1->setStyleSheet(QStringLiteral("QProgressBar { border: 1px solid #808080; background: white; }"
                                          "QProgressBar::chunk { background: silver; }"));
    CGauge1->setGeometry(kMargin, gaugeTop + kValueHeight + 4, kInnerWidth, 20);

    auto* panel = new QLabel(tr("Подготовка..."), this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setAlignment(Qt::AlignCenter);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(2);
    panel->setAutoFillBackground(true);
    panel->setCursor(Qt::WaitCursor);
    panel->setGeometry(kMargin + 4, kFiguresTop + kFigurePitch + 12, kInnerWidth - 8, 52);
    panel->hide();
    Panel1 = panel;

    // Image1 only carries the background bitmap; it is never shown.
    background_ = BackgroundTile();
    auto* image1 = new QLabel(this);
    image1->setObjectName(QStringLiteral("Image1"));
    image1->setPixmap(background_);
    image1->setGeometry(0, 0, 128, 128);
    image1->hide();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, [this] { Guarded([&] { Timer1Timer(); }); });

    Guarded([&] { FormCreate(startup); });
    if (LibraryBound()) Timer1->start();
}

TForm1::~TForm1() = default;

void TForm1::FormCreate(const Startup& startup) {
    PaintBackground(*this, background_);
    startup_ = std::make_unique<DesktopStartup>(state_, StartupSteps{startup.loadLibrary, startup.measureMhz});
    Label2->setText(Text(startup_->Frequency()));
    for (const std::string& message : startup_->Messages()) ShowException(Text(message));
}

void TForm1::AttachWindows(TForm2& settings, TForm3& statistics, TForm4& update, RestoreWindow& restore) {
    settings_ = &settings;
    statistics_ = &statistics;
    update_ = &update;
    restore_ = &restore;
    QObject::connect(settings_, &TForm2::closed, this, [this] { SettingsClosed(); });
}

void TForm1::SettingsClosed() {
    // However the settings window was closed, start and update may be used again; never
    // during a check, whose own end gives them back.
    if (check_.Running()) return;
    SpeedButton3->setEnabled(true);
    SpeedButton5->setEnabled(true);
}

void TForm1::SpeedButton1Click() {
    statistics_->close();
    if (settings_->isVisible()) {
        settings_->close();
        SpeedButton3->setEnabled(true);
        SpeedButton5->setEnabled(true);
    } else {
        settings_->show();
        SpeedButton3->setEnabled(false);
        SpeedButton5->setEnabled(false);
    }
}

void TForm1::SpeedButton2Click() {
    if (settings_->isVisible()) {
        SpeedButton3->setEnabled(true);
        SpeedButton5->setEnabled(true);
        settings_->close();
    }
    if (statistics_->isVisible()) {
        statistics_->close();
    } else {
        statistics_->show();
    }
}

void TForm1::SpeedButton3Click() {
    std::string told;
    try {
        told = check_.Start(*this, *this);
    } catch (...) {
        CloseIfAsked();
        throw;
    }
    CloseIfAsked();
    // Once for the whole check, after it: one box for every file would stand in its way.
    if (!told.empty()) ShowException(Text(told));
}

void TForm1::CloseIfAsked() {
    // The close asked for during the check, now that nothing runs under this window.
    if (check_.CloseAfterCheck()) QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

void TForm1::SetCheckRunning(bool running) {
    update_->SetCheckRunning(running);
    statistics_->SetCheckRunning(running);
    restore_->SetCheckRunning(running);
}

void TForm1::SpeedButton4Click() { ::korvax::SpeedButton4Click(state_); }

void TForm1::SpeedButton5Click() {
    update_->show();
    update_->raise();
}

void TForm1::Timer1Timer() {
    if (!LibraryBound()) return;
    const StatusFigures figures = startup_->Refresh(state_);
    Label4->setText(Text(figures.load));
    Label6->setText(Text(figures.pool));
    if (figures.gauge) CGauge1->setValue(*figures.gauge);
    Label8->setText(Text(figures.checked));
    if (statistics_ != nullptr) {
        statistics_->SetCounters(Text(figures.checked), Text(figures.cured), Text(figures.viruses));
    }
}

int TForm1::FolderCount() { return settings_->FolderCount(); }

std::string TForm1::FolderAt(int index) {
    return settings_->FolderAt(index).toStdString();
}

void TForm1::ShowPreparing(bool shown) {
    Panel1->setVisible(shown);
    if (shown) Panel1->raise();
}

QToolButton* TForm1::button(MainButton which) const {
    switch (which) {
        case MainButton::Settings: return SpeedButton1;
        case MainButton::Statistics: return SpeedButton2;
        case MainButton::Start: return SpeedButton3;
        case MainButton::Stop: return SpeedButton4;
        case MainButton::Update: return SpeedButton5;
    }
    return nullptr;
}

void TForm1::SetButtonEnabled(MainButton which, bool enabled) {
    if (QToolButton* target = button(which)) target->setEnabled(enabled);
}

void TForm1::ShowTotal(std::int32_t total) { Label10->setText(QString::number(total)); }

void TForm1::AddRow(const ResultRow& row) { statistics_->AddRow(row); }

void TForm1::ProcessWindowMessages() { QCoreApplication::processEvents(); }

void TForm1::closeEvent(QCloseEvent* event) {
    // During a check: stopped, and the window closes once it has ended (CloseIfAsked).
    if (!check_.CloseRequested()) {
        event->ignore();
        return;
    }
    event->accept();
    // The program ends with its main window, whatever other window is still open.
    QCoreApplication::quit();
}

}  // namespace korvax
