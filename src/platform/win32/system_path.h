#pragma once
// What the Win32 side of the platform layer shares: paths handed to the wide calls, and
// handles that close themselves. Only src/platform/win32/ includes this.

#include <windows.h>

#include <optional>
#include <string>

namespace korvax::win32 {

// `path` (WTF-8) as the wide calls take it. A path too long for the classic limit of 260
// units is made absolute and given the "\\?\" prefix (for \\server\share paths
// "\\?\UNC\"), which lifts the limit; shorter paths are passed as they are, so a relative
// path stays relative. Nothing when `path` is not WTF-8: such a name cannot exist there.
std::optional<std::wstring> SystemPath(const std::string& path);

// A name the system returned, as the program's WTF-8.
std::string ProgramText(const wchar_t* units, std::size_t length);
std::string ProgramText(const std::wstring& units);

// The system's text for the error code `error` (as GetLastError gives it), in UTF-8, with
// the code itself: "The system cannot find the file specified. (error 2)".
std::string SystemMessage(DWORD error);

// What the system says about `path` when it is opened following its links: the path of the
// file or folder it leads to ("\\?\C:\..."), or nothing when it cannot be opened.
std::optional<std::wstring> FinalPath(const std::wstring& path);

// A kernel handle (file, folder, process, thread) closed when it goes.
class OwnedHandle {
public:
    OwnedHandle() = default;
    explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    OwnedHandle(OwnedHandle&& other) noexcept : handle_(other.release()) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept;
    ~OwnedHandle();

    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    HANDLE release();

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace korvax::win32
