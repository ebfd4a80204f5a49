#pragma once
// Running a program of ours as a user would, for the end-to-end tests: arguments, working
// folder, stdout and stderr captured, exit status.

#include <functional>
#include <string>
#include <vector>

namespace korvax::e2e {

struct ProgramResult {
    int exitStatus = -1;  // the exit code, or 128 + signal
    std::string out;
    std::string err;
};

class RunningProgram {
public:
    // `environment`: "NAME=value" settings added to the test's own environment.
    RunningProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& workingFolder = "", const std::vector<std::string>& environment = {});
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;
    ~RunningProgram();

    // Reads output until `ready(stdoutSoFar)` holds or the program ends.
    void waitForOutput(const std::function<bool(const std::string&)>& ready);
    void signal(int signalNumber);
    // Reads everything to the end and waits for the exit.
    ProgramResult finish();

private:
    bool pump(int timeoutMs);

    int pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    ProgramResult result_;
};

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& workingFolder = "", const std::vector<std::string>& environment = {});

// Every program the tests run keeps its backups in a data folder of this test run's own:
// $XDG_DATA_HOME is set for the whole test program, so no test writes into the home of
// whoever runs the tests. A program run as another user needs a folder of that user's:
// DataHomeOf(uid) is the "XDG_DATA_HOME=..." setting to pass in its environment.
std::string DataHomeOf(unsigned user);

// Lines of a text, without the line ends.
std::vector<std::string> Lines(const std::string& text);

}  // namespace korvax::e2e
