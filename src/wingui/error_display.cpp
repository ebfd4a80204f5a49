#include "wingui/error_display.h"

#include "engine/display_text.h"
#include "wingui/win_text.h"

namespace korvax::wingui {
namespace {

ErrorDisplay& CurrentDisplay() {
    static ErrorDisplay display;
    return display;
}

}  // namespace

ErrorDisplay SetErrorDisplay(ErrorDisplay display) { return std::exchange(CurrentDisplay(), std::move(display)); }

void ShowError(const std::wstring& message) {
    const ErrorDisplay& display = CurrentDisplay();
    if (display) {
        display(message);
        return;
    }
    // Owned by the active window, so that it stays in front of the program's windows and
    // the user answers it before going on there.
    ::MessageBoxW(::GetActiveWindow(), message.c_str(), L"Korvax", MB_OK | MB_ICONERROR);
}

void ShowError(const std::exception& failure) { ShowError(Wide(DisplayText(failure.what()))); }

}  // namespace korvax::wingui
