#include "wingui/mainunit.h"

#include <commctrl.h>

#include "check/scan_scheduler.h"
#include "wingui/error_display.h"
#include "wingui/options.h"
#include "wingui/renew.h"
#include "wingui/restore_window.h"
#include "wingui/statistic.h"
#include "wingui/win_text.h"
#include "wingui/window_look.h"

namespace korvax::wingui {
namespace {

constexpr SIZE kClientSize{153, 403};
constexpr POINT kPlace{192, 113};
constexpr int kMargin = 6;
constexpr int kInnerWidth = kClientSize.cx - 2 * kMargin;

// The five buttons fill the top of the window, one under the other.
constexpr int kButtonTop = 2;
constexpr int kButtonPitch = 27;
constexpr int kButtonHeight = 26;

// Below them, five figures, each a caption and, under it, its value at the right edge.
constexpr int kFiguresTop = 146;
constexpr int kFigurePitch = 40;
constexpr int kCaptionHeight = 18;
constexpr int kValueHeight = 15;
constexpr UINT_PTR kTimer1 = 1;
constexpr UINT kTimerInterval = 500;

struct ButtonPlan {
    int id;
    const char* caption;
    Glyph glyph;
};
constexpr ButtonPlan kButtons[] = {
    {kSpeedButton1, TrText("Настройки"), Glyph::Settings},   {kSpeedButton2, TrText("Статистика"), Glyph::Statistics},
    {kSpeedButton3, TrText("Начать проверку"), Glyph::None}, {kSpeedButton4, TrText("Остановить проверку"), Glyph::None},
    {kSpeedButton5, TrText("Обновить"), Glyph::Update},
};

Glyph GlyphOf(int id) {
    for (const ButtonPlan& plan : kButtons) {
        if (plan.id == id) return plan.glyph;
    }
    return Glyph::None;
}

// Tracks the pointer over a flat button, which draws itself raised while it is there.
LRESULT CALLBACK FlatButtonProcedure(HWND button, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                     DWORD_PTR hot) {
    auto* hotButton = reinterpret_cast<HWND*>(hot);
    if (message == WM_MOUSEMOVE && *hotButton != button) {
        HWND previous = *hotButton;
        *hotButton = button;
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, button, 0};
        ::TrackMouseEvent(&track);
        if (previous != nullptr) ::InvalidateRect(previous, nullptr, FALSE);
        ::InvalidateRect(button, nullptr, FALSE);
    } else if (message == WM_MOUSELEAVE && *hotButton == button) {
        *hotButton = nullptr;
        ::InvalidateRect(button, nullptr, FALSE);
    }
    return ::DefSubclassProc(button, message, wParam, lParam);
}

}  // namespace

TForm1::TForm1(ProgramState& state, const Startup& startup)
    : DesktopPump(state.sync),
      state_(state),
      check_(state, *startup.backupCalls, startup.backupFolder,
             {[this](const std::string& note) { restore_->SetPruneNote(note); },
              [this](bool running) { SetCheckRunning(running); }}) {
    // Fixed single border with the system menu and the minimise box.
    Create(L"Korvax", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, kClientSize, false);
    UseTile(true);
    ::SetWindowPos(Handle(), nullptr, kPlace.x, kPlace.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    int top = kButtonTop;
    for (const ButtonPlan& plan : kButtons) {
        HWND button = AddControl(L"BUTTON", Tr(plan.caption), WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, plan.id,
                                 {0, top, kClientSize.cx, top + kButtonHeight});
        ::SetWindowSubclass(button, FlatButtonProcedure, 1, reinterpret_cast<DWORD_PTR>(&hot_));
        top += kButtonPitch;
    }
    ::EnableWindow(Control(kSpeedButton4), FALSE);
    AddControl(L"STATIC", L"", WS_VISIBLE | SS_ETCHEDHORZ, kRule, {kMargin, top + 2, kMargin + kInnerWidth, top + 4});

    const char* const captions[] = {TrText("Частота процессора:"), TrText("Загрузка процессора:"),
                                    TrText("Количество потоков:"), TrText("Проверено:"), TrText("Всего:")};
    std::vector<std::wstring> captionTexts;
    for (const char* caption : captions) captionTexts.push_back(Tr(caption));
    FitCaptions(captionTexts, kInnerWidth);
    const wchar_t* const initialValues[] = {L"0", L"0%", L"0", L"0", L"0"};
    for (int i = 0; i < 5; ++i) {
        const int y = kFiguresTop + i * kFigurePitch;
        AddControl(L"STATIC", Tr(captions[i]), WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX, kLabel1 + 2 * i,
                   {kMargin, y, kMargin + kInnerWidth, y + kCaptionHeight}, FontKind::Caption);
        AddControl(L"STATIC", initialValues[i], WS_VISIBLE | SS_RIGHT | SS_NOPREFIX, kLabel1 + 2 * i + 1,
                   {kMargin, y + kCaptionHeight, kMargin + kInnerWidth, y + kCaptionHeight + kValueHeight});
    }
    const int gaugeTop = kFiguresTop + 5 * kFigurePitch;
    AddControl(L"STATIC", Tr("Прогресс проверки:"), WS_VISIBLE | SS_LEFT | SS_NOPREFIX, kLabel11,
               {kMargin, gaugeTop, kMargin + kInnerWidth, gaugeTop + kValueHeight});
    AddControl(L"STATIC", L"", WS_VISIBLE | SS_OWNERDRAW, kCGauge1,
               {kMargin, gaugeTop + kValueHeight + 4, kMargin + kInnerWidth, gaugeTop + kValueHeight + 24});
    // Over the figures while the files are collected; the pointer is an hour-glass there.
    const int panelTop = kFiguresTop + kFigurePitch + 12;
    AddControl(L"STATIC", Tr("Подготовка..."), SS_CENTER | SS_CENTERIMAGE | SS_NOPREFIX | SS_NOTIFY, kPanel1,
               {kMargin + 4, panelTop, kMargin + kInnerWidth - 4, panelTop + 52}, FontKind::Window,
               WS_EX_DLGMODALFRAME);

    startup_ = std::make_unique<DesktopStartup>(state_, startup.steps);
    ::SetWindowTextW(Control(kLabel1 + 1), Wide(startup_->Frequency()).c_str());
    for (const std::string& message : startup_->Messages()) ShowError(Wide(message));
    if (LibraryBound()) ::SetTimer(Handle(), kTimer1, kTimerInterval, nullptr);
}

TForm1::~TForm1() {
    if (Handle() != nullptr) ::KillTimer(Handle(), kTimer1);
}

void TForm1::AttachWindows(TForm2& settings, TForm3& statistics, TForm4& update, RestoreWindow& restore) {
    settings_ = &settings;
    statistics_ = &statistics;
    update_ = &update;
    restore_ = &restore;
}

void TForm1::SettingsClosed() {
    // However the settings window was closed, start and update may be used again; never
    // during a check, whose own end gives them back.
    if (check_.Running()) return;
    ::EnableWindow(Control(kSpeedButton3), TRUE);
    ::EnableWindow(Control(kSpeedButton5), TRUE);
}

void TForm1::SpeedButton1Click() {
    statistics_->Close();
    if (settings_->IsVisible()) {
        settings_->Close();
        ::EnableWindow(Control(kSpeedButton3), TRUE);
        ::EnableWindow(Control(kSpeedButton5), TRUE);
    } else {
        settings_->Show();
        ::EnableWindow(Control(kSpeedButton3), FALSE);
        ::EnableWindow(Control(kSpeedButton5), FALSE);
    }
}

void TForm1::SpeedButton2Click() {
    if (settings_->IsVisible()) {
        ::EnableWindow(Control(kSpeedButton3), TRUE);
        ::EnableWindow(Control(kSpeedButton5), TRUE);
        settings_->Close();
    }
    if (statistics_->IsVisible()) {
        statistics_->Close();
    } else {
        statistics_->Show();
    }
}

void TForm1::SpeedButton3Click() {
    std::string told;
    const auto afterCheck = [this] {
        // A quit that came while the check pumped the messages, and a close asked for
        // meanwhile, now that nothing runs under the windows.
        if (quitSeen_) {
            quitSeen_ = false;
            ::PostQuitMessage(static_cast<int>(quitCode_));
        }
        if (check_.CloseAfterCheck()) ::PostMessageW(Handle(), WM_CLOSE, 0, 0);
    };
    try {
        told = check_.Start(*this, *this);
    } catch (...) {
        afterCheck();
        throw;
    }
    afterCheck();
    // Once for the whole check, after it: one box for every file would stand in its way.
    if (!told.empty()) ShowError(Wide(told));
}

void TForm1::SpeedButton4Click() { ::korvax::SpeedButton4Click(state_); }

void TForm1::SpeedButton5Click() { update_->Show(); }

void TForm1::SetCheckRunning(bool running) {
    update_->SetCheckRunning(running);
    statistics_->SetCheckRunning(running);
    restore_->SetCheckRunning(running);
}

void TForm1::Timer1Timer() {
    if (!LibraryBound()) return;
    const StatusFigures figures = startup_->Refresh(state_);
    ::SetWindowTextW(Control(kLabel1 + 3), Wide(figures.load).c_str());
    ::SetWindowTextW(Control(kLabel1 + 5), Wide(figures.pool).c_str());
    if (figures.gauge && *figures.gauge != gauge_) {
        gauge_ = *figures.gauge;
        ::InvalidateRect(Control(kCGauge1), nullptr, FALSE);
    }
    ::SetWindowTextW(Control(kLabel1 + 7), Wide(figures.checked).c_str());
    if (statistics_ != nullptr) statistics_->SetCounters(figures.checked, figures.cured, figures.viruses);
}

int TForm1::FolderCount() { return settings_->FolderCount(); }

std::string TForm1::FolderAt(int index) { return settings_->FolderAt(index); }

void TForm1::ShowPreparing(bool shown) {
    HWND panel = Control(kPanel1);
    ::ShowWindow(panel, shown ? SW_SHOW : SW_HIDE);
    if (shown) ::SetWindowPos(panel, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::UpdateWindow(Handle());
}

void TForm1::SetButtonEnabled(MainButton which, bool enabled) {
    ::EnableWindow(Control(kSpeedButton1 + static_cast<int>(which) - 1), enabled ? TRUE : FALSE);
}

void TForm1::ShowTotal(std::int32_t total) { ::SetWindowTextW(Control(kLabel1 + 9), std::to_wstring(total).c_str()); }

void TForm1::AddRow(const ResultRow& row) { statistics_->AddRow(row); }

void TForm1::ProcessWindowMessages() {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Not for this loop: the program's own loop ends once the check has.
            quitSeen_ = true;
            quitCode_ = message.wParam;
            return;
        }
        DispatchProgramMessage(message);
    }
}

void TForm1::Command(int id) {
    switch (id) {
        case kSpeedButton1: SpeedButton1Click(); break;
        case kSpeedButton2: SpeedButton2Click(); break;
        case kSpeedButton3: SpeedButton3Click(); break;
        case kSpeedButton4: SpeedButton4Click(); break;
        case kSpeedButton5: SpeedButton5Click(); break;
        default: break;
    }
}

LRESULT TForm1::Message(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) {
                const int id = LOWORD(wParam);
                Guarded([&] { Command(id); });
                return 0;
            }
            break;
        case WM_TIMER:
            if (wParam == kTimer1) {
                Guarded([&] { Timer1Timer(); });
                return 0;
            }
            break;
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item.CtlID == kCGauge1) {
                DrawGauge(item, gauge_);
            } else {
                RECT place{};
                ::GetWindowRect(item.hwndItem, &place);
                POINT origin{place.left, place.top};
                ::ScreenToClient(Handle(), &origin);
                DrawFlatButton(item, GlyphOf(static_cast<int>(item.CtlID)), item.hwndItem == hot_, origin, Dpi());
            }
            return TRUE;
        }
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) == Control(kPanel1)) {
                // The panel hides the figures under it: the plain face of a panel.
                HDC dc = reinterpret_cast<HDC>(wParam);
                ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
                ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
                return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
            }
            break;
        case WM_SETCURSOR:
            if (reinterpret_cast<HWND>(wParam) == Control(kPanel1)) {
                ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
                return TRUE;
            }
            break;
        case WM_CLOSE:
            // During a check: stopped, and the window closes once it has ended.
            if (!check_.CloseRequested()) return 0;
            ::ShowWindow(Handle(), SW_HIDE);
            if (onClosed) onClosed();
            return 0;
        default:
            break;
    }
    return Window::Message(message, wParam, lParam);
}

}  // namespace korvax::wingui
