#pragma once
// The program's standard error display: a failure that ends an event handler is shown in
// a modal message box with its message, and the program goes on. A window procedure must
// not let an exception out into the system's dispatch (it would cross frames that know
// nothing of C++), so every handler that can fail runs inside Guarded().
//
// Use on the user-interface thread only.

#include <windows.h>

#include <exception>
#include <functional>
#include <string>
#include <utility>

namespace korvax::wingui {

// Shows one failure's message. The default opens a modal message box over the active
// window; a test puts its own display in place so that nothing waits for a click.
using ErrorDisplay = std::function<void(const std::wstring& message)>;

// Replaces the display and returns the one it replaced. An empty display restores the box.
ErrorDisplay SetErrorDisplay(ErrorDisplay display);

void ShowError(const std::wstring& message);
// The failure's message as the user reads it (file names decoded and escaped as the rows).
void ShowError(const std::exception& failure);

// Runs `handler`; whatever it raises is shown and goes no further.
template <typename Handler>
void Guarded(Handler&& handler) {
    try {
        std::forward<Handler>(handler)();
    } catch (const std::exception& failure) {
        ShowError(failure);
    } catch (...) {
        ShowError(L"Unknown exception");
    }
}

}  // namespace korvax::wingui
