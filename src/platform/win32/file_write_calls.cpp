#include "platform/win32/file_write_calls.h"

#include <aclapi.h>

#include <algorithm>

namespace korvax {

HANDLE FileWriteCalls::CreateFileW(const wchar_t* path, DWORD access, DWORD share, DWORD disposition,
                                   DWORD flagsAndAttributes) {
    return ::CreateFileW(path, access, share, nullptr, disposition, flagsAndAttributes, nullptr);
}

BOOL FileWriteCalls::ReadFile(HANDLE file, void* data, DWORD size, DWORD* read) {
    return ::ReadFile(file, data, size, read, nullptr);
}

BOOL FileWriteCalls::WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written) {
    return ::WriteFile(file, data, size, written, nullptr);
}

BOOL FileWriteCalls::FlushFileBuffers(HANDLE file) { return ::FlushFileBuffers(file); }

BOOL FileWriteCalls::GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) {
    return ::GetFileInformationByHandle(file, info);
}

BOOL FileWriteCalls::GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* info,
                                                  DWORD size) {
    return ::GetFileInformationByHandleEx(file, kind, info, size);
}

BOOL FileWriteCalls::SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* info,
                                                DWORD size) {
    return ::SetFileInformationByHandle(file, kind, info, size);
}

DWORD FileWriteCalls::GetSecurityInfo(HANDLE file, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR* descriptor) {
    return ::GetSecurityInfo(file, SE_FILE_OBJECT, what, nullptr, nullptr, nullptr, nullptr, descriptor);
}

DWORD FileWriteCalls::SetSecurityInfo(HANDLE file, SECURITY_INFORMATION what, PSID owner, PSID group, PACL dacl) {
    return ::SetSecurityInfo(file, SE_FILE_OBJECT, what, owner, group, dacl, nullptr);
}

BOOL FileWriteCalls::CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }

FileWriteCalls& SystemFileWriteCalls() {
    static FileWriteCalls calls;
    return calls;
}

namespace {

DWORD ErrorOf(WriteFault fault, WriteStep step) {
    switch (fault) {
        case WriteFault::DiskFull: return ERROR_DISK_FULL;
        case WriteFault::ReadOnlyDisk: return ERROR_WRITE_PROTECT;
        case WriteFault::NotPermitted: return step == WriteStep::Owner ? ERROR_INVALID_OWNER : ERROR_ACCESS_DENIED;
        case WriteFault::IoError: return ERROR_IO_DEVICE;
    }
    return ERROR_IO_DEVICE;
}

bool Creates(DWORD disposition) { return disposition != OPEN_EXISTING && disposition != TRUNCATE_EXISTING; }

bool Renames(FILE_INFO_BY_HANDLE_CLASS kind) {
    // FileRenameInfoEx is 22; not every header names it yet.
    return kind == FileRenameInfo || static_cast<int>(kind) == 22;
}

// The system's calls, each step failing as the plan says. Creating is an open that may
// make a file (a replacement, a new file, a file appended to); the owner step is setting
// the owner and group.
class PlannedCalls : public FileWriteCalls {
public:
    explicit PlannedCalls(InjectedWriteFaults::Plan& plan) : plan_(plan) {}

    HANDLE CreateFileW(const wchar_t* path, DWORD access, DWORD share, DWORD disposition,
                       DWORD flagsAndAttributes) override {
        if (Creates(disposition) && fails(WriteStep::Create)) return INVALID_HANDLE_VALUE;
        return FileWriteCalls::CreateFileW(path, access, share, disposition, flagsAndAttributes);
    }
    BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written) override {
        *written = 0;
        if (fails(WriteStep::Write)) return FALSE;
        if (plan_.diskSpace) {
            if (*plan_.diskSpace <= 0) return refuse(ERROR_DISK_FULL);
            size = static_cast<DWORD>(std::min<std::int64_t>(size, *plan_.diskSpace));
        }
        const BOOL done = FileWriteCalls::WriteFile(file, data, size, written);
        if (done && plan_.diskSpace) *plan_.diskSpace -= *written;
        return done;
    }
    BOOL FlushFileBuffers(HANDLE file) override {
        return fails(WriteStep::Flush) ? FALSE : FileWriteCalls::FlushFileBuffers(file);
    }
    BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* info, DWORD size) override {
        if (Renames(kind) && fails(WriteStep::Rename)) return FALSE;
        return FileWriteCalls::SetFileInformationByHandle(file, kind, info, size);
    }
    DWORD SetSecurityInfo(HANDLE file, SECURITY_INFORMATION what, PSID owner, PSID group, PACL dacl) override {
        if ((what & OWNER_SECURITY_INFORMATION) != 0) {
            if (const auto fault = plan_.next(WriteStep::Owner)) return ErrorOf(*fault, WriteStep::Owner);
        }
        return FileWriteCalls::SetSecurityInfo(file, what, owner, group, dacl);
    }

private:
    bool fails(WriteStep step) {
        const auto fault = plan_.next(step);
        if (!fault) return false;
        ::SetLastError(ErrorOf(*fault, step));
        return true;
    }
    static BOOL refuse(DWORD error) {
        ::SetLastError(error);
        return FALSE;
    }

    InjectedWriteFaults::Plan& plan_;
};

}  // namespace

InjectedWriteFaults::InjectedWriteFaults() : calls_(std::make_unique<PlannedCalls>(plan_)) {}

InjectedWriteFaults::~InjectedWriteFaults() = default;

}  // namespace korvax
