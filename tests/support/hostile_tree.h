#pragma once
// A folder tree made to trip a walk up, for the whole-check tests of korvax-scan and of the
// desktop scanner: FIFOs, sockets and (where the process may make them) device nodes
// named like programs, symbolic-link loops, folders nobody may read, paths at the length
// limit and names of the longest length, among a few thousand programs of which some
// carry the marks of the default database's demo entries. A set of files can be kept
// growing, shrinking and vanishing while a check runs.
//
// The checks run against the default database with one entry added at its end, an entry
// with only its head, which matches every file: so every file that is checked ends in
// exactly one row that is not a cure (its detection, the catch-all's, or a read error),
// and the rows tell which files were checked and how often.

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace korvax::test {

inline constexpr char kCatchAllEntry[] = "Every.File";

// The default database's source with the catch-all entry after the others.
inline std::string DefaultDatabaseWithCatchAll(const std::string& defaultSourcePath) {
    std::ifstream in(defaultSourcePath, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + defaultSourcePath);
    std::string source((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return source + "\nentry \"" + kCatchAllEntry + "\"\n";
}

// The demo infections, byte for byte as data/make_demo_samples.py makes them.
inline Bytes AppendA(const Bytes& program) {
    Bytes file = BytesOf("KVXA");
    file.insert(file.end(), program.begin() + 4, program.end());
    const Bytes body = BytesOf("KVXBODY!");
    file.insert(file.end(), body.begin(), body.end());
    file.insert(file.end(), program.begin(), program.begin() + 4);
    file.insert(file.end(), 4, 0);
    return file;
}
inline Bytes PrependB(const Bytes& program, std::string_view variant = "KVXP") {
    Bytes file = BytesOf(variant);
    const Bytes rest = BytesOf("RE-B");
    file.insert(file.end(), rest.begin(), rest.end());
    file.insert(file.end(), 8, 0x90);
    file.insert(file.end(), program.begin(), program.end());
    return file;
}
inline Bytes DropperC(const Bytes& program) { return WithMarkers(program, "KVXDROP!"); }
inline Bytes Eicar() { return BytesOf(R"(X5O!P%@AP[4\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*)"); }

// What one qualifying file must give: its cure rows (entry names, in order), then one
// final row, and the bytes it holds afterwards.
struct ExpectedFile {
    std::vector<std::string> cures;
    std::string finalStatus;  // an entry's name, or empty for the read error
    Bytes after;
};

struct HostileTreeOptions {
    int programs = 1500;   // qualifying programs outside the special folders
    int shifting = 48;     // files the mutator keeps changing
};

class HostileTree {
public:
    // Builds the tree in `root` (which must not exist yet).
    HostileTree(std::string root, const HostileTreeOptions& options = {}) : root_(std::move(root)) {
        std::filesystem::create_directories(root_);
        makePrograms(options.programs);
        makeSpecialEntries();
        makeLinkLoops();
        makeLockedEntries();
        makeLongPaths();
        makeShifting(options.shifting);
    }

    const std::string& root() const { return root_; }
    // Folders to list besides the root: a listed link loop and a listed FIFO, which must
    // both give nothing and not hang.
    std::vector<std::string> oddListedFolders() const { return {root_ + "/loops/a", root_ + "/specials/pipe.exe"}; }

    // Every file the check must reach exactly once, given whether the folder and the file
    // of mode 000 keep the checking user out (they do not keep root out).
    std::map<std::string, ExpectedFile> expected(bool lockedOut) const {
        std::map<std::string, ExpectedFile> all = files_;
        for (const auto& [path, file] : lockedFolderFiles_) {
            if (!lockedOut) all[path] = file;
        }
        all[unreadableFile_] = lockedOut ? ExpectedFile{{}, "", ProgramBytes(0)} : ExpectedFile{{}, kCatchAllEntry, ProgramBytes(0)};
        return all;
    }
    // Files that may or may not be collected (they may be missing or too large when the walk
    // meets them) and, when collected, are checked once or give one read error.
    const std::set<std::string>& shifting() const { return shifting_; }
    // A qualifying file whose path is one byte over the limit: warned about, never checked.
    const std::string& tooLongPath() const { return tooLong_; }
    // A folder (ending with '/') whose path is one byte over the limit, with a program in it.
    const std::string& tooLongFolder() const { return tooLongFolder_; }
    // Entries that are no regular files, named like programs: never opened, never a row.
    const std::vector<std::string>& specialPaths() const { return special_; }
    bool devicesMade() const { return devicesMade_; }

    // Gives the whole tree to `uid`/`gid` (to check it as that user).
    void chownAll(uid_t uid, gid_t gid) const {
        ::lchown(root_.c_str(), uid, gid);
        std::error_code ignored;
        for (auto it = std::filesystem::recursive_directory_iterator(root_, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
            ::lchown(it->path().c_str(), uid, gid);
        }
    }

    // Keeps the shifting files changing on a thread of its own until it is destroyed:
    // grown past the size limit (sparse, so cheaply), shrunk, grown a little, removed and
    // made again, renamed away and back.
    class Mutator {
    public:
        explicit Mutator(const HostileTree& tree)
            : paths_(tree.shifting_.begin(), tree.shifting_.end()), thread_([this] { run(); }) {}
        Mutator(const Mutator&) = delete;
        Mutator& operator=(const Mutator&) = delete;
        ~Mutator() {
            stop_.store(true);
            thread_.join();
        }
        long changes() const { return changes_.load(); }

    private:
        void run() {
            std::minstd_rand random(20240611);
            while (!stop_.load()) {
                const std::string& path = paths_[random() % paths_.size()];
                std::error_code ignored;
                switch (random() % 6) {
                    case 0: std::filesystem::resize_file(path, 0x500000 + 4096 * (random() % 64), ignored); break;
                    case 1: std::filesystem::resize_file(path, random() % 400, ignored); break;
                    case 2: std::filesystem::resize_file(path, 300 + random() % 200000, ignored); break;
                    case 3: std::filesystem::remove(path, ignored); break;
                    case 4:
                        if (!std::filesystem::exists(path)) {
                            const Bytes bytes = ProgramBytes(static_cast<int>(random() % 100));
                            std::ofstream(path, std::ios::binary)
                                .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
                        }
                        break;
                    case 5:
                        std::filesystem::rename(path, path + ".away", ignored);
                        std::filesystem::rename(path + ".away", path, ignored);
                        break;
                }
                changes_.fetch_add(1);
                // Leave most of the processor to the check; how often it changes a file
                // does not matter.
                if (changes_.load() % 4 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }

        std::vector<std::string> paths_;
        std::atomic<bool> stop_{false};
        std::atomic<long> changes_{0};
        std::thread thread_;
    };

    // A clean stand-in program; none of its bytes is a letter, so no entry but the
    // catch-all matches it.
    static Bytes ProgramBytes(int n) { return SampleProgram(200 + static_cast<std::size_t>(n % 97) * 3); }

private:
    static void WriteAt(const std::string& path, const Bytes& bytes) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) throw std::runtime_error("cannot write " + path);
    }

    void addProgram(const std::string& path, int n, std::map<std::string, ExpectedFile>& into) {
        const Bytes clean = ProgramBytes(n);
        ExpectedFile file{{}, kCatchAllEntry, clean};
        Bytes bytes = clean;
        switch (n % 10) {
            case 1: bytes = AppendA(clean); file.cures = {"Demo.Append.A"}; break;
            case 3: bytes = PrependB(clean); file.cures = {"Demo.Prepend.B"}; break;
            case 5: bytes = PrependB(clean, "kvxp"); file.cures = {"Demo.Prepend.B"}; break;
            case 7: bytes = PrependB(AppendA(clean)); file.cures = {"Demo.Prepend.B", "Demo.Append.A"}; break;
            case 8: bytes = DropperC(clean); file.finalStatus = "Demo.Dropper.C"; file.after = bytes; break;
            case 9:
                if (n % 20 == 9) {
                    bytes = Eicar();
                    file.finalStatus = "EICAR-Test-File";
                    file.after = bytes;
                }
                break;
            default: break;
        }
        WriteAt(path, bytes);
        into[path] = file;
    }

    void makePrograms(int count) {
        const char* const extensions[] = {".exe", ".COM", ".Exe", ".com", ".EXE"};
        for (int n = 0; n < count; ++n) {
            const std::string path = root_ + "/progs/d" + std::to_string(n % 13) + "/s" + std::to_string(n % 5) + "/f" +
                                     std::to_string(n) + extensions[n % 5];
            addProgram(path, n, files_);
        }
        // Passed over: not programs, a folder named like one (walked), and one at the limit.
        WriteAt(root_ + "/progs/notes.txt", DropperC(ProgramBytes(1)));
        WriteAt(root_ + "/progs/f.exe.bak", DropperC(ProgramBytes(2)));
        addProgram(root_ + "/progs/old.exe/inside.exe", 8, files_);
        WriteAt(root_ + "/progs/huge.exe", {});
        std::filesystem::resize_file(root_ + "/progs/huge.exe", 0x500000);
    }

    void makeSpecialEntries() {
        const std::string folder = root_ + "/specials/";
        std::filesystem::create_directories(folder);
        if (::mkfifo((folder + "pipe.exe").c_str(), 0644) != 0) throw std::runtime_error("mkfifo");
        special_.push_back(folder + "pipe.exe");
        // A socket keeps its name after the socket is closed.
        const std::string socketPath = folder + "sock.com";
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (socketPath.size() >= sizeof address.sun_path) throw std::runtime_error("socket path too long");
        std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        if (fd >= 0) ::close(fd);
        if (!bound) throw std::runtime_error("cannot bind " + socketPath);
        special_.push_back(socketPath);
        // Devices need the privilege to make them: a copy of /dev/zero would give an
        // endless read, a terminal could become the controlling one.
        devicesMade_ = true;
        for (const auto& [name, mode, major, minor] :
             std::vector<std::tuple<std::string, mode_t, unsigned, unsigned>>{
                 {"zero.exe", S_IFCHR, 1, 5}, {"tty.com", S_IFCHR, 5, 0}, {"disk.EXE", S_IFBLK, 7, 0}}) {
            if (::mknod((folder + name).c_str(), mode | 0666, makedev(major, minor)) != 0) {
                devicesMade_ = false;
                break;
            }
            special_.push_back(folder + name);
        }
    }

    void makeLinkLoops() {
        const std::string folder = root_ + "/loops/";
        std::filesystem::create_directories(folder + "inner");
        addProgram(folder + "inner/real.exe", 0, files_);
        const auto link = [](const std::string& target, const std::string& at) {
            if (::symlink(target.c_str(), at.c_str()) != 0) throw std::runtime_error("symlink " + at);
        };
        link(".", folder + "self");                 // a link to its own folder
        link(folder, folder + "inner/up");          // back up, by its full path
        link("b", folder + "a");                    // a -> b -> a
        link("a", folder + "b");
        link("nowhere.exe", folder + "dangling.exe");
        link("inner/real.exe", folder + "alias.exe");  // a link to a program is no program
        link("../progs", folder + "progs-again");      // the programs would be checked twice
        link("a", folder + "loop.com");
    }

    void makeLockedEntries() {
        const std::string folder = root_ + "/locked/";
        addProgram(folder + "closed/hidden.exe", 1, lockedFolderFiles_);
        addProgram(folder + "closed/deeper/more.com", 2, lockedFolderFiles_);
        if (::chmod((folder + "closed").c_str(), 0) != 0) throw std::runtime_error("chmod");
        unreadableFile_ = folder + "unreadable.exe";
        WriteAt(unreadableFile_, ProgramBytes(0));
        if (::chmod(unreadableFile_.c_str(), 0) != 0) throw std::runtime_error("chmod");
    }

    void makeLongPaths() {
        const std::string top = root_ + "/long/";
        // A name of the longest length a file system allows.
        addProgram(top + std::string(251, 'N') + ".exe", 3, files_);
        // Folders of 255-byte names down to ten bytes short of the 1024-byte limit.
        std::string folder = top;
        while (1024 - folder.size() > 255) {
            const std::size_t left = 1024 - folder.size();
            folder += std::string(std::min<std::size_t>(255, left - 11), 'L') + "/";
        }
        const std::size_t left = 1024 - folder.size();  // 10 to 255
        addProgram(folder + std::string(left - 4, 'n') + ".exe", 1, files_);  // exactly 1024 bytes
        tooLong_ = folder + std::string(left - 3, 'n') + ".exe";              // 1025
        WriteAt(tooLong_, ProgramBytes(4));
        // A folder whose own path, with its '/', passes the limit: nothing below it is
        // collected.
        tooLongFolder_ = folder + std::string(left, 'D') + "/";
        WriteAt(tooLongFolder_ + "x.exe", ProgramBytes(5));
    }

    void makeShifting(int count) {
        for (int n = 0; n < count; ++n) {
            const std::string path = root_ + "/shifting/s" + std::to_string(n) + ".exe";
            WriteAt(path, ProgramBytes(n));
            shifting_.insert(path);
        }
    }

    std::string root_;
    std::map<std::string, ExpectedFile> files_;
    std::map<std::string, ExpectedFile> lockedFolderFiles_;
    std::string unreadableFile_;
    std::set<std::string> shifting_;
    std::vector<std::string> special_;
    std::string tooLong_;
    std::string tooLongFolder_;
    bool devicesMade_ = false;
};

}  // namespace korvax::test
