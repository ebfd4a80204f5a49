#pragma once
// The Win32 calls a file is opened, replaced or created with (see
// platform/file_write_calls.h). Each has the contract of the call it is named after: a
// failure returns INVALID_HANDLE_VALUE, FALSE or (for the security calls) the error code,
// and leaves its reason for GetLastError. Tests pass calls that fail at a chosen step, and
// calls that behave as Windows documents where Wine does not (alternate data streams,
// reparse points, security descriptors).
//
// Only src/platform/win32/ and the platform's tests include this.

#include <windows.h>

#include "platform/file_write_calls.h"

namespace korvax {

class FileWriteCalls {
public:
    virtual ~FileWriteCalls() = default;
    // Opening a folder of the path, the file, its replacement, a stream of either.
    virtual HANDLE CreateFileW(const wchar_t* path, DWORD access, DWORD share, DWORD disposition,
                               DWORD flagsAndAttributes);
    virtual BOOL ReadFile(HANDLE file, void* data, DWORD size, DWORD* read);
    virtual BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written);
    virtual BOOL FlushFileBuffers(HANDLE file);
    // Identity (volume serial number, file index), attributes, size.
    virtual BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info);
    // The reparse tag (FileAttributeTagInfo), the alternate data streams (FileStreamInfo).
    virtual BOOL GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* info, DWORD size);
    // Attributes and times (FileBasicInfo), the rename (FileRenameInfoEx, FileRenameInfo),
    // removing a file left unfinished (FileDispositionInfo).
    virtual BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* info, DWORD size);
    // The owner, group and DACL, read from the original and given to the replacement.
    // GetSecurityInfo hands back one self-relative descriptor for LocalFree.
    virtual DWORD GetSecurityInfo(HANDLE file, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR* descriptor);
    virtual DWORD SetSecurityInfo(HANDLE file, SECURITY_INFORMATION what, PSID owner, PSID group, PACL dacl);
    virtual BOOL CloseHandle(HANDLE handle);
};

}  // namespace korvax
