#pragma once
// What a console event does to a terminal program: the rule apart from the handler the
// system calls, so that the events Wine cannot send without a console are tested with the
// values Windows sends. Only src/platform/win32/ and the platform's tests include this.

#include <windows.h>

namespace korvax::win32 {

enum class ConsoleAnswer {
    Ignore,         // not an event of ours: the next handler (in the end the default) takes it
    StopAndGoOn,    // a stop is requested and the program runs on to finish what it holds
    EndNow,         // the second Ctrl-C or Ctrl-Break: the default handler ends the program
    StopAndWait,    // the window closes or the session ends: Windows ends the program when
                    // the handler returns, so it waits while the program finishes
};

// The answer to `event` (CTRL_C_EVENT, ...) when `requestsBefore` stops were asked for
// before it.
ConsoleAnswer AnswerConsoleEvent(DWORD event, int requestsBefore);

}  // namespace korvax::win32
