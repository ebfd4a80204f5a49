#pragma once
// What a terminal program needs of the system: how many processors there are, whether its
// messages go to a person, a user's request to stop, and what a run cost.
//
// Thread safety: StartTerminalProgram and InstallStopRequests once, on the main thread,
// before any other thread starts; StopRequested may be read from any thread; the rest has
// no state.

#include <cstdint>

namespace korvax {

// What a terminal program's main does first, before it reads its arguments or writes a
// line. The arguments become the program's own text: on Linux the bytes given; on Windows
// they are read again from GetCommandLineW, as WTF-8 (the C runtime's argv has every
// character the code page lacks turned into '?', and a name that is no valid UTF-16 lost).
// Standard output and error carry the program's UTF-8 as it is: on Windows they are put
// into binary mode, so no "\r" is added before a "\n", and one that is a console is
// written through the console's wide interface, so that its Russian texts read right
// whatever the console's code page. `argc` and `argv` are replaced by what to parse from
// then on (valid until the program ends).
void StartTerminalProgram(int& argc, char**& argv);

// The processors online, at least 1.
int OnlineProcessorCount();

// Whether standard error is a terminal (a console window on Windows), not a pipe or a file.
bool StandardErrorIsTerminal();

// From now on a user's request to stop sets StopRequested instead of ending the program:
// Ctrl-C and SIGTERM on Linux; Ctrl-C, Ctrl-Break, closing the console window, logging off
// and shutting down on Windows. A second Ctrl-C (or Ctrl-Break) ends the program at once.
// When the console window is closed (or the session ends) Windows ends the program when it
// returns or after a few seconds, whichever comes first, so the files in hand are finished
// within that time.
void InstallStopRequests();
bool StopRequested();

// Processor time used so far, in seconds: by the calling thread, by the whole process.
double ThreadCpuSeconds();
double ProcessCpuSeconds();
// The most memory the process has held so far (resident set, working set on Windows).
std::int64_t PeakResidentBytes();

}  // namespace korvax
