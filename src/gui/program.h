#pragma once
// The desktop program: its shared state and its four windows, created in this order: the
// main window (whose creation runs the start-up), settings, statistics, update; then the
// restore window, which puts back what the checks' cures kept in the user's backup store.
// The program ends when the main window is closed.
//
// Create on the user-interface thread, after the application object.

#include <QByteArrayList>

#include <functional>
#include <memory>
#include <string>

#include "check/program_state.h"
#include "monitor/cpu_load.h"
#include "platform/file_write_calls.h"

namespace korvax {

class RestoreWindow;
class TForm1;
class TForm2;
class TForm3;
class TForm4;

struct ProgramOptions {
    std::string loadLibrary = CpuLoadLibraryName();
    // Measures the processor clock in MHz; empty: the real measurement.
    std::function<long double()> measureMhz;
    // Folders put into the settings window's list at start (the command line's, as bytes).
    QByteArrayList folders;
    // The calls the backup store writes with (tests make them fail as a full disk does).
    FileWriteCalls* backupCalls = &SystemFileWriteCalls();
};

class Program {
public:
    explicit Program(const ProgramOptions& options = {});
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // False when the load library could not be bound: then only the main window was
    // created, and the program must end (StartFailure says why).
    bool Started() const;
    const std::string& StartFailure() const;

    ProgramState& State() { return state_; }
    TForm1& Form1() { return *form1_; }
    TForm2& Form2() { return *form2_; }
    TForm3& Form3() { return *form3_; }
    TForm4& Form4() { return *form4_; }
    RestoreWindow& Restore() { return *restore_; }

    // Shows the main window and runs the message loop until it closes.
    int Run();

private:
    ProgramState state_;
    // Destroyed in reverse: the secondary windows go before the main window they refer to.
    std::unique_ptr<TForm1> form1_;
    std::unique_ptr<TForm2> form2_;
    std::unique_ptr<TForm3> form3_;
    std::unique_ptr<TForm4> form4_;
    std::unique_ptr<RestoreWindow> restore_;
};

// The folders named on the command line (what the toolkit has left of it, after argv[0]),
// as the OS gave their names: bytes, which need not be valid UTF-8. The first "--" ends
// the options and is not a folder.
QByteArrayList CommandLineFolders(int argc, char** argv);

// The program entry: `korvax [--help | --version] [--] [FOLDER...]`. Exit status 2 when the
// load library cannot be bound (its reason on stderr).
int KorvaxMain(int argc, char** argv);

}  // namespace korvax
