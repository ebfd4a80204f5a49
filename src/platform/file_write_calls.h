#pragma once
// The system calls by which a file is created or its contents replaced, behind one
// interface, so that tests can make any step fail the way a failing or full disk does (a
// write that stops after N bytes, a flush or a rename that reports an I/O error) and check
// that nothing is lost and nothing is left behind.
//
// Each system has its own set, shaped like its own calls and with their contracts:
// platform/posix/file_write_calls.h (openat, write, fchown, ..., renameat) and
// platform/win32/file_write_calls.h (CreateFileW, WriteFile, SetSecurityInfo, ...,
// SetFileInformationByHandle). Only the platform layer and its tests see them. The layers
// above pass a set along without looking into it; their tests make steps fail through
// InjectedWriteFaults below, which each system turns into its own calls failing with its
// own error codes.
//
// Thread safety: SystemFileWriteCalls() has no state and may be used from any thread. An
// InjectedWriteFaults object counts calls without a lock: one thread at a time.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>

namespace korvax {

class FileWriteCalls;  // the system's own shape (see above)

// The calls of the system the program runs on, unchanged.
FileWriteCalls& SystemFileWriteCalls();

// A step of writing a file, whichever calls make it on the system.
enum class WriteStep {
    Create,  // creating the replacement, a new file, or opening a file to append to
    Write,   // writing bytes
    Owner,   // giving the replacement the original's owner (and group or security descriptor)
    Flush,   // flushing it to the disk
    Rename,  // putting the finished file under its name
};

// How a step fails, in the system's own error code.
enum class WriteFault {
    DiskFull,      // ENOSPC; ERROR_DISK_FULL
    ReadOnlyDisk,  // EROFS; ERROR_WRITE_PROTECT
    NotPermitted,  // EPERM; ERROR_INVALID_OWNER for the owner, ERROR_ACCESS_DENIED otherwise
    IoError,       // EIO; ERROR_IO_DEVICE
};

// The system's calls with faults made to order, for tests of every layer.
class InjectedWriteFaults {
public:
    InjectedWriteFaults();
    InjectedWriteFaults(const InjectedWriteFaults&) = delete;
    InjectedWriteFaults& operator=(const InjectedWriteFaults&) = delete;
    ~InjectedWriteFaults();

    // Every call of `step`, from its `first`-th on (counting from 1), fails with `fault`
    // and does nothing.
    InjectedWriteFaults& Fail(WriteStep step, WriteFault fault, int first = 1);
    // The disk takes only `bytes` more: a write that goes beyond writes what fits, and the
    // next one fails as a full disk does.
    InjectedWriteFaults& DiskSpace(std::int64_t bytes);

    // The calls to hand to whatever writes files.
    FileWriteCalls& calls();
    // How many calls of `step` were made (failed ones included).
    int callsMade(WriteStep step) const;

    struct Plan {
        std::map<WriteStep, std::pair<WriteFault, int>> failing;
        std::optional<std::int64_t> diskSpace;
        std::map<WriteStep, int> made;
        // Counts a call of `step`; the fault it must fail with, if any.
        std::optional<WriteFault> next(WriteStep step);
    };

private:
    Plan plan_;
    std::unique_ptr<FileWriteCalls> calls_;
};

}  // namespace korvax
