#pragma once
// A folder reached from its drive's root one folder at a time, none of them a reparse
// point that stands for another name (symbolic link, junction, mount point), and held:
// every folder of the way stays open without delete sharing for as long as the object
// lives, so none can be renamed, removed or swapped for a link meanwhile, and the
// folder's path keeps meaning the folder that was opened. What the Win32 side of the file
// replacement, the backup folder and the report file share. Only src/platform/win32/
// includes this.
//
// Not thread-safe: one object belongs to one user.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/win32/file_write_calls.h"
#include "platform/win32/system_path.h"

namespace korvax::win32 {

// A file's identity: its volume's serial number and its index there.
struct FileId {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    friend bool operator==(const FileId&, const FileId&) = default;
};
FileId IdOf(const BY_HANDLE_FILE_INFORMATION& info);

// Whether an entry with these attributes and reparse tag stands for another name: a
// symbolic link, a junction, a mount point, or (as Wine shows a Linux link) a reparse
// point without a tag.
bool StandsForAnotherName(DWORD attributes, DWORD reparseTag);

// The reparse tag of an open entry; 0 when it has none.
DWORD ReparseTagOf(FileWriteCalls& calls, HANDLE handle, DWORD attributes);

// `path` (WTF-8, relative or absolute, either separator) as an absolute path with the
// "\\?\" prefix, split into its root ("\\?\C:\", "\\?\UNC\server\share\") and the names
// below it. "." and ".." are resolved lexically first (GetFullPathNameW), as the system
// itself resolves them. Nothing when the path cannot name a file on a drive or share.
struct SplitFullPath {
    std::wstring root;
    std::vector<std::wstring> names;
    std::wstring joined(std::size_t count) const;  // the root and the first `count` names
};
std::optional<SplitFullPath> SplitFull(const std::string& path);

// A name as the file system compares it: upper-cased, as NTFS does, unit by unit.
std::wstring ComparedName(const std::wstring& name);

enum class HeldResult { Held, ReparsePoint, Failed };

class HeldFolder {
public:
    HeldFolder() = default;
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;
    HeldFolder(HeldFolder&&) = default;
    HeldFolder& operator=(HeldFolder&&) = default;

    // Opens the root of `path` and the folders `path.names[0..count)` in turn. A folder that
    // another program holds open for deleting is asked for again a few times over a tenth
    // of a second. ReparsePoint when one of them stands for another name; Failed when one
    // cannot be opened or is no folder (the system's reason left for GetLastError).
    HeldResult Open(const SplitFullPath& path, std::size_t count, FileWriteCalls& calls);

    const std::wstring& path() const { return path_; }  // "\\?\C:\x\y", without a final separator
    HANDLE handle() const { return chain_.back().get(); }
    const FileId& id() const { return id_; }
    // `name` in this folder, as the wide calls take it.
    std::wstring child(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::vector<OwnedHandle> chain_;  // the root first, this folder last
    std::wstring path_;
    FileId id_;
};

// Opens `path` for `access`, asking again a few times over a tenth of a second while
// another program holds it without sharing (often that program is another scanner).
HANDLE OpenPatiently(FileWriteCalls& calls, const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                     DWORD flags);

// Writes all of `bytes` to `file`; false when a write fails or writes nothing.
bool WriteAll(FileWriteCalls& calls, HANDLE file, std::span<const std::uint8_t> bytes);

// A new file in a held folder, under a temporary name of its own (".NAME.korvax-PID-N", a
// name nobody else uses) until Name() gives it its own: removed through its handle unless
// it was named. Windows has no unnamed files, so a kill during the write can leave the
// temporary name behind; nothing else can.
class NewFile {
public:
    // Creates the file, open for writing, reading its metadata and renaming it, shared
    // with readers only. Nothing when it cannot be made (GetLastError says why).
    static std::optional<NewFile> Create(const HeldFolder& folder, const std::wstring& besideName,
                                         FileWriteCalls& calls);
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    NewFile(NewFile&& other) noexcept;
    NewFile& operator=(NewFile&&) = delete;
    ~NewFile();

    HANDLE handle() const { return handle_; }
    const std::wstring& path() const { return path_; }
    // Renames the file to `name` in its folder, over a file standing there when `replace`.
    // A rename through the handle with POSIX semantics first (a file still open for reading
    // is replaced all the same); where the system knows none (error 87: older Windows,
    // Wine), the classic rename, for which `beforeClassicRename` first lets go of every
    // handle of the file replaced. False when it fails (GetLastError says why).
    bool Name(const std::wstring& name, bool replace, const std::function<void()>& beforeClassicRename = {});
    // Closes the handle; false when the close reports a failure.
    bool Close();

private:
    NewFile(FileWriteCalls& calls, HANDLE handle, std::wstring path, std::wstring folder)
        : calls_(&calls), handle_(handle), path_(std::move(path)), folder_(std::move(folder)) {}

    FileWriteCalls* calls_;
    HANDLE handle_;
    std::wstring path_;
    std::wstring folder_;
    bool named_ = false;
};

}  // namespace korvax::win32
