#pragma once
// The desktop program's Win32 front end: its shared state and its windows, made in this
// order: the main window (whose making runs the start-up), settings, statistics, update;
// then the restore window. The program ends when the main window is closed.
//
// Use on the user-interface thread only.

#include <memory>
#include <string>
#include <vector>

#include "check/program_state.h"
#include "wingui/mainunit.h"

namespace korvax::wingui {

class RestoreWindow;
class TForm2;
class TForm3;
class TForm4;

struct ProgramOptions {
    TForm1::Startup startup;
    // Folders put into the settings window's list at start (full paths, WTF-8).
    std::vector<std::string> folders;
};

class Program {
public:
    explicit Program(const ProgramOptions& options = {});
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // False when the load library could not be bound: then only the main window was made,
    // and the program must end (StartFailure says why).
    bool Started() const { return form1_->LibraryBound(); }
    const std::string& StartFailure() const { return form1_->LibraryFailure(); }

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

// `folder` as the settings list shows folders: a full path from the current directory,
// "." and ".." resolved, without a trailing separator but at a drive's root.
std::string FullFolderPath(const std::string& folder);

// The program entry: `korvax.exe [--help | --version] [--user-folder] [--] [FOLDER...]`,
// `argv` the program's own text (StartTerminalProgram). Exit status 2 when cpudll.dll
// cannot be bound (its reason shown), 1 when the program cannot start at all.
int KorvaxMain(int argc, char** argv);

}  // namespace korvax::wingui
