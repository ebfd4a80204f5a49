#include "run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/stat.h>

#include <filesystem>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace korvax::e2e {
namespace {

// The test run's data folders, one below it for each user: removed when the run ends.
class DataHomes {
public:
    DataHomes() {
        std::string pattern = (std::filesystem::temp_directory_path() / "korvax-e2e-data-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
        base_ = pattern;
        ::chmod(base_.c_str(), 0755);  // every user reaches their own folder below it
        ::setenv("XDG_DATA_HOME", folderOf(::geteuid()).c_str(), 1);
    }
    ~DataHomes() {
        std::error_code ignored;
        std::filesystem::remove_all(base_, ignored);
    }
    std::string folderOf(unsigned user) {
        const std::string folder = base_ + "/" + std::to_string(user);
        if (::mkdir(folder.c_str(), 0700) == 0 && user != ::geteuid()) {
            if (::chown(folder.c_str(), user, user) != 0) throw std::runtime_error("chown " + folder);
        }
        return folder;
    }

private:
    std::string base_;
};

DataHomes& TheDataHomes() {
    static DataHomes homes;
    return homes;
}

// Set before any test runs, so that every program started inherits it.
const bool kDataHomeSet = (TheDataHomes(), true);

}  // namespace

std::string DataHomeOf(unsigned user) { return "XDG_DATA_HOME=" + TheDataHomes().folderOf(user); }

RunningProgram::RunningProgram(const std::string& program, const std::vector<std::string>& arguments,
                               const std::string& workingFolder, const std::vector<std::string>& environment) {
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (!workingFolder.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());

    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> raw;
    for (auto& argument : argv) raw.push_back(argument.data());
    raw.push_back(nullptr);
    std::vector<std::string> settings = environment;
    std::vector<char*> env;
    for (auto& setting : settings) env.push_back(setting.data());
    for (char** inherited = environ; *inherited != nullptr; ++inherited) env.push_back(*inherited);
    env.push_back(nullptr);
    const int spawned = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, raw.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    outFd_ = out[0];
    errFd_ = err[0];
    if (spawned != 0) throw std::runtime_error("cannot start " + program);
}

RunningProgram::~RunningProgram() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (outFd_ >= 0) ::close(outFd_);
    if (errFd_ >= 0) ::close(errFd_);
}

bool RunningProgram::pump(int timeoutMs) {
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    const int count = (outFd_ >= 0 ? 1 : 0) + (errFd_ >= 0 ? 1 : 0);
    if (count == 0) return false;
    if (::poll(fds, 2, timeoutMs) <= 0) return true;
    char buffer[65536];
    for (int i = 0; i < 2; ++i) {
        int& fd = i == 0 ? outFd_ : errFd_;
        if (fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            (i == 0 ? result_.out : result_.err).append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || (n < 0 && errno != EINTR)) {
            ::close(fd);
            fd = -1;
        }
    }
    return true;
}

void RunningProgram::waitForOutput(const std::function<bool(const std::string&)>& ready) {
    while (!ready(result_.out) && pump(100)) {
    }
}

void RunningProgram::signal(int signalNumber) { ::kill(pid_, signalNumber); }

ProgramResult RunningProgram::finish() {
    while (pump(1000)) {
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    result_.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result_;
}

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& workingFolder, const std::vector<std::string>& environment) {
    RunningProgram running(program, arguments, workingFolder, environment);
    return running.finish();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace korvax::e2e
