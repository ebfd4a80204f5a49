#pragma once
// The program's standard exception display: a failure that ends an event handler is shown
// to the user in a modal error box with its message, and the program goes on.
//
// Qt does not let an exception travel through its event dispatch, so every handler that
// can fail runs inside Guarded(), which catches what it raises and shows it here.
//
// Runs on the user-interface thread only.

#include <QString>

#include <exception>
#include <functional>
#include <utility>

namespace korvax {

// Shows one failure's message. The default opens a modal error box; a test (or a headless
// run) puts its own display in place so that nothing waits for a click.
using ExceptionDisplay = std::function<void(const QString& message)>;

// Replaces the display and returns the one it replaced. An empty display restores the
// error box.
ExceptionDisplay SetExceptionDisplay(ExceptionDisplay display);

// The message of a failure as the user sees it (engine messages carry file names as
// bytes; they are shown as UTF-8 where valid, else decoded from Windows-1251).
QString ExceptionMessage(const std::exception& failure);

void ShowException(const QString& message);
void ShowException(const std::exception& failure);

// Runs `handler`; whatever it raises is shown and goes no further.
template <typename Handler>
void Guarded(Handler&& handler) {
    try {
        std::forward<Handler>(handler)();
    } catch (const std::exception& failure) {
        ShowException(failure);
    } catch (...) {
        ShowException(QStringLiteral("Unknown exception"));
    }
}

}  // namespace korvax
