#pragma once
// What a terminal program needs of the system: how many processors there are, whether its
// messages go to a person, a user's request to stop, and what a run cost.
//
// Thread safety: InstallStopRequests once, on the main thread, before any other thread
// starts; StopRequested may be read from any thread; the rest has no state.

#include <cstdint>

namespace korvax {

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
