#include "wingui/renew.h"

#include <vector>

#include "database/database_update.h"
#include "wingui/error_display.h"
#include "wingui/win_text.h"

namespace korvax::wingui {
namespace {

// The window's client area as designed: the classic frame (4-pixel borders, a 19-pixel
// caption) around it made the outer size 394 x 98. Today's frames are thicker, so the
// client area is kept and the frame grows around it: every control stays whole.
constexpr SIZE kClientSize{394 - 2 * 4, 98 - 2 * 4 - 19};

}  // namespace

TForm4::TForm4(ProgramState& state)
    : state_(state), fileDialog_([](OPENFILENAMEW& dialog) { return ::GetOpenFileNameW(&dialog) != FALSE; }) {
    Create(Tr("Обновление"), WS_OVERLAPPEDWINDOW, 0, kClientSize, false);
    AddControl(L"EDIT", L"", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, kEdit1, {8, 8, 305, 29}, FontKind::Window,
               WS_EX_CLIENTEDGE);
    AddControl(L"BUTTON", Tr("Обзор..."), WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kRenewButton1, {304, 8, 379, 33});
    AddControl(L"BUTTON", L"OK", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, kBitBtn1, {224, 40, 299, 65});
    AddControl(L"BUTTON", Tr("Отмена"), WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kBitBtn2, {304, 40, 379, 65});
}

void TForm4::Button1Click() {
    std::vector<wchar_t> file(32768, L'\0');
    const std::wstring title = Tr("Вирусные базы");
    // Description, pattern, and the end of the list.
    static constexpr wchar_t kFilter[] = L"Korvax database files\0*.kvd\0";
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = Handle();
    dialog.lpstrFilter = kFilter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrTitle = title.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
    if (!fileDialog_(dialog)) return;
    ::SetWindowTextW(Control(kEdit1), file.data());
}

void TForm4::BitBtn1Click() {
    // The path is used as typed (no trimming).
    UpdateDatabase(Utf8(WindowText(Control(kEdit1))), state_.BasePath, state_.pool.VirusBase, state_.CheckRunning);
}

void TForm4::BitBtn2Click() { Close(); }

void TForm4::SetCheckRunning(bool running) { ::EnableWindow(Control(kBitBtn1), running ? FALSE : TRUE); }

bool TForm4::PreTranslate(MSG& message) {
    if (message.message == WM_KEYDOWN && (message.wParam == VK_RETURN || message.wParam == VK_ESCAPE)) {
        int pressed = kBitBtn2;
        if (message.wParam == VK_RETURN) {
            HWND focus = ::GetFocus();
            pressed = focus == Control(kRenewButton1) ? kRenewButton1 : focus == Control(kBitBtn2) ? kBitBtn2 : kBitBtn1;
        }
        // A disabled OK (during a check) is not pressed by Enter either.
        if (::IsWindowEnabled(Control(pressed))) ::SendMessageW(Control(pressed), BM_CLICK, 0, 0);
        return true;
    }
    return Window::PreTranslate(message);
}

void TForm4::Placing() {
    // In the centre of the screen, the first time it is shown; then where the user left it.
    if (placed_) return;
    placed_ = true;
    RECT frame{};
    ::GetWindowRect(Handle(), &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    ::SetWindowPos(Handle(), nullptr, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                   (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT TForm4::Message(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        switch (LOWORD(wParam)) {
            case kRenewButton1: Guarded([&] { Button1Click(); }); return 0;
            case kBitBtn1: Guarded([&] { BitBtn1Click(); }); return 0;
            case kBitBtn2: Guarded([&] { BitBtn2Click(); }); return 0;
            default: break;
        }
    }
    return Window::Message(message, wParam, lParam);
}

}  // namespace korvax::wingui
