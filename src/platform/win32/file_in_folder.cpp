#include "platform/file_in_folder.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "platform/win32/file_security.h"
#include "platform/win32/file_write_calls.h"
#include "platform/win32/found_entry.h"
#include "platform/win32/held_folder.h"
#include "platform/win32/system_path.h"

namespace korvax {

using win32::FileId;
using win32::HeldFolder;
using win32::HeldResult;
using win32::NewFile;
using win32::FinalPath;
using win32::OwnedHandle;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The attributes a replacement carries over; the others belong to how the file is stored
// (compressed, sparse, a reparse point) or are refused before any replacement (read-only).
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// A path of the system's own spelling ("\\?\C:\x", "\\?\UNC\server\share\x") as a program
// shows it: without the prefix where the path is short enough to need none.
std::string ShownPath(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return win32::ProgramText(L"\\\\" + path.substr(8));
    if (path.rfind(L"\\\\?\\", 0) == 0 && path.size() - 4 < MAX_PATH - 12) return win32::ProgramText(path.substr(4));
    return win32::ProgramText(path);
}

// The path a user named, its links followed once.
std::string Resolved(const std::string& path) {
    const auto wide = win32::SystemPath(path);
    if (!wide) throw CannotOpenFile(path);
    const auto final = FinalPath(*wide);
    if (!final) throw CannotOpenFile(path);
    return ShownPath(*final);
}

// Copies the alternate data streams of `original` (at `originalPath`) to `replacement`.
// False when one could not be carried over (the replacement would lose it).
bool CopyStreams(FileWriteCalls& calls, HANDLE original, const std::wstring& originalPath, const FileId& originalId,
                 const NewFile& replacement, const FileId& replacementId) {
    std::vector<std::uint8_t> listing(4096);
    for (;;) {
        if (calls.GetFileInformationByHandleEx(original, FileStreamInfo, listing.data(),
                                               static_cast<DWORD>(listing.size()))) {
            break;
        }
        const DWORD error = ::GetLastError();
        if (error == ERROR_MORE_DATA && listing.size() < (1U << 24)) {
            listing.resize(listing.size() * 2);
            continue;
        }
        // No streams besides the data (ERROR_HANDLE_EOF), or a file system without any.
        return error == ERROR_HANDLE_EOF || error == ERROR_INVALID_PARAMETER || error == ERROR_INVALID_FUNCTION ||
               error == ERROR_NOT_SUPPORTED;
    }
    std::vector<std::uint8_t> buffer(64 * 1024);
    for (std::size_t at = 0;;) {
        const auto* stream = reinterpret_cast<const FILE_STREAM_INFO*>(listing.data() + at);
        const std::wstring name(stream->StreamName, stream->StreamNameLength / sizeof(wchar_t));
        if (!name.empty() && name != L"::$DATA") {
            const OwnedHandle from(calls.CreateFileW((originalPath + name).c_str(), GENERIC_READ, kShareAll,
                                                     OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT));
            BY_HANDLE_FILE_INFORMATION info{};
            if (!from.valid() || !calls.GetFileInformationByHandle(from.get(), &info) ||
                win32::IdOf(info) != originalId) {
                return false;
            }
            OwnedHandle to(calls.CreateFileW((replacement.path() + name).c_str(), GENERIC_WRITE | DELETE, 0,
                                             CREATE_NEW, FILE_FLAG_OPEN_REPARSE_POINT));
            if (!to.valid()) return false;
            if (!calls.GetFileInformationByHandle(to.get(), &info) || win32::IdOf(info) != replacementId) {
                // Not a stream of the replacement but a file of that name beside it (as a
                // file system without streams makes one): taken away again.
                FILE_DISPOSITION_INFO remove{TRUE};
                calls.SetFileInformationByHandle(to.get(), FileDispositionInfo, &remove, sizeof remove);
                return false;
            }
            for (;;) {
                DWORD got = 0;
                if (!calls.ReadFile(from.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got)) return false;
                if (got == 0) break;
                if (!win32::WriteAll(calls, to.get(), std::span(buffer.data(), got))) return false;
            }
            if (!calls.FlushFileBuffers(to.get())) return false;
        }
        if (stream->NextEntryOffset == 0) break;
        at += stream->NextEntryOffset;
        if (at + sizeof(FILE_STREAM_INFO) > listing.size()) break;
    }
    return true;
}

// What stands at `path` in a held folder now: its identity and attributes, without
// following a reparse point. Nothing when nothing stands there.
struct Standing {
    FileId id;
    DWORD attributes = 0;
    DWORD reparseTag = 0;
};
std::optional<Standing> LookAt(FileWriteCalls& calls, const std::wstring& path) {
    const OwnedHandle entry(calls.CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll,
                                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT));
    if (!entry.valid()) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!calls.GetFileInformationByHandle(entry.get(), &info)) return std::nullopt;
    return Standing{win32::IdOf(info), info.dwFileAttributes,
                    win32::ReparseTagOf(calls, entry.get(), info.dwFileAttributes)};
}

}  // namespace

struct FileInFolder::Opened {
    HeldFolder folder;
    std::wstring name;
    OwnedHandle file;  // the file as read, then each replacement: the source of its metadata
    DWORD attributes = 0;
    FILETIME created{};
    std::wstring path() const { return folder.child(name); }
};

FileInFolder::FileInFolder(const std::string& path, LinkPolicy policy, FileWriteCalls& calls)
    : path_(path), calls_(calls), opened_(std::make_unique<Opened>()) {
    const std::string target = policy == LinkPolicy::ResolveOnce ? Resolved(path) : path;
    const auto split = win32::SplitFull(target);
    if (!split || split->names.empty()) throw CannotOpenFile(path);
    switch (opened_->folder.Open(*split, split->names.size() - 1, calls)) {
        case HeldResult::Held: break;
        case HeldResult::ReparsePoint: throw FileChangedDuringCheck(path);
        case HeldResult::Failed: throw CannotOpenFile(path);
    }
    opened_->name = split->names.back();
    const std::wstring full = opened_->path();
    opened_->file = OwnedHandle(win32::OpenPatiently(calls, full, GENERIC_READ | READ_CONTROL | SYNCHRONIZE, kShareAll,
                                                     OPEN_EXISTING,
                                                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN));
    if (!opened_->file.valid()) throw CannotOpenFile(path);
    // A pipe, a console or a device named like a file is never read from.
    if (::GetFileType(opened_->file.get()) != FILE_TYPE_DISK) throw CannotOpenFile(path);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!calls.GetFileInformationByHandle(opened_->file.get(), &info)) throw CannotOpenFile(path);
    const DWORD tag = win32::ReparseTagOf(calls, opened_->file.get(), info.dwFileAttributes);
    switch (win32::KindOfFoundEntry(info.dwFileAttributes, tag)) {
        case EntryKind::RegularFile: break;
        case EntryKind::SymbolicLink: throw FileChangedDuringCheck(path);
        default: throw CannotOpenFile(path);  // a folder, a device, contents not on this computer
    }
    const FileId id = win32::IdOf(info);
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        // A file stored another way (deduplicated, compressed by the system): its contents
        // are read through the file system's own handling of its reparse point.
        OwnedHandle contents(calls.CreateFileW(full.c_str(), GENERIC_READ | READ_CONTROL | SYNCHRONIZE, kShareAll,
                                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN));
        BY_HANDLE_FILE_INFORMATION again{};
        if (!contents.valid() || !calls.GetFileInformationByHandle(contents.get(), &again)) throw CannotOpenFile(path);
        if (win32::IdOf(again) != id) throw FileChangedDuringCheck(path);
        opened_->file = std::move(contents);
    }
    opened_->attributes = info.dwFileAttributes;
    opened_->created = info.ftCreationTime;
    place_ = {opened_->folder.id().volume, opened_->folder.id().index,
              win32::ProgramText(win32::ComparedName(opened_->name))};
    ownership_ = {0, 0, info.dwFileAttributes};
    openedSize_ = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    device_ = id.volume;
    inode_ = id.index;
}

FileInFolder::~FileInFolder() = default;

std::vector<std::uint8_t> FileInFolder::ReadAll(std::int64_t maxSize) {
    const HANDLE file = opened_->file.get();
    if (!opened_->file.valid()) throw CannotOpenFile(path_);
    LARGE_INTEGER size{};
    LARGE_INTEGER start{};
    if (!::GetFileSizeEx(file, &size) || size.QuadPart > maxSize || !::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) {
        throw CannotOpenFile(path_);
    }
    // Read to the end, not to the size: the file may have grown since.
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(static_cast<std::size_t>(size.QuadPart) + 1);
    } catch (const std::bad_alloc&) {
        throw CannotOpenFile(path_);
    }
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (static_cast<std::int64_t>(bytes.size()) > maxSize) throw CannotOpenFile(path_);
            try {
                bytes.resize(std::min<std::size_t>(bytes.size() * 2, static_cast<std::size_t>(maxSize) + 1));
            } catch (const std::bad_alloc&) {
                throw CannotOpenFile(path_);
            }
        }
        const DWORD room = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - filled, 1U << 30));
        DWORD got = 0;
        if (!calls_.ReadFile(file, bytes.data() + filled, room, &got)) throw CannotOpenFile(path_);
        if (got == 0) break;
        filled += got;
    }
    if (static_cast<std::int64_t>(filled) > maxSize) throw CannotOpenFile(path_);
    bytes.resize(filled);
    return bytes;
}

void FileInFolder::Replace(std::span<const std::uint8_t> bytes) { Replace(bytes, ownership_); }

void FileInFolder::Replace(std::span<const std::uint8_t> bytes, const FileOwnership& as) {
    FileWriteCalls& calls = calls_;
    Opened& opened = *opened_;
    // A replacement that failed after letting go of the file has nothing left to write to.
    if (!opened.file.valid()) throw CannotCreateFile(path_);
    if ((opened.attributes & FILE_ATTRIBUTE_READONLY) != 0) throw CannotCreateFile(path_);
    const std::wstring full = opened.path();
    const FileId current{device_, inode_};
    {
        // Whether the file may be replaced at all, before anything is made: written to
        // (the user's permission) and removed (nobody holds it without delete sharing; a
        // running program holds its file so).
        const OwnedHandle probe(calls.CreateFileW(full.c_str(), FILE_WRITE_DATA | DELETE | FILE_READ_ATTRIBUTES |
                                                                    SYNCHRONIZE,
                                                  kShareAll, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT));
        if (!probe.valid()) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_USER_MAPPED_FILE) {
                throw FileInUse(path_);
            }
            if (error == ERROR_FILE_NOT_FOUND) throw FileChangedDuringCheck(path_);
            throw CannotCreateFile(path_);
        }
        BY_HANDLE_FILE_INFORMATION info{};
        if (!calls.GetFileInformationByHandle(probe.get(), &info)) throw CannotCreateFile(path_);
        if (win32::IdOf(info) != current ||
            win32::StandsForAnotherName(info.dwFileAttributes,
                                        win32::ReparseTagOf(calls, probe.get(), info.dwFileAttributes))) {
            throw FileChangedDuringCheck(path_);
        }
    }

    auto replacement = NewFile::Create(opened.folder, opened.name, calls);
    if (!replacement) throw CannotCreateFile(path_);
    if (!win32::WriteAll(calls, replacement->handle(), bytes)) throw StreamWriteError();
    BY_HANDLE_FILE_INFORMATION made{};
    if (!calls.GetFileInformationByHandle(replacement->handle(), &made)) throw CannotCreateFile(path_);
    const FileId madeId = win32::IdOf(made);
    if (!CopyStreams(calls, opened.file.get(), full, current, *replacement, madeId)) throw CannotCreateFile(path_);
    win32::CopySecurity(calls, opened.file.get(), replacement->handle(), path_);
    FILE_BASIC_INFO basic{};
    basic.CreationTime.LowPart = opened.created.dwLowDateTime;
    basic.CreationTime.HighPart = static_cast<LONG>(opened.created.dwHighDateTime);
    const DWORD attributes = as.mode & kKeptAttributes;
    basic.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
    if (!calls.SetFileInformationByHandle(replacement->handle(), FileBasicInfo, &basic, sizeof basic)) {
        throw CannotCreateFile(path_);
    }
    if (!calls.FlushFileBuffers(replacement->handle())) throw StreamWriteError();

    // The last look before the rename: the name must still be the file that was read.
    // (A swap after this look only replaces whatever entry then stands there: a rename
    // never writes through a reparse point.)
    const auto now = LookAt(calls, full);
    if (!now || now->id != current || win32::StandsForAnotherName(now->attributes, now->reparseTag)) {
        throw FileChangedDuringCheck(path_);
    }
    if (!replacement->Name(opened.name, true, [&] { opened.file = OwnedHandle(); })) throw CannotCreateFile(path_);
    // From here on the name holds the replacement: it is what a next cure reads its
    // metadata from.
    OwnedHandle kept(calls.CreateFileW(full.c_str(), GENERIC_READ | READ_CONTROL | SYNCHRONIZE, kShareAll,
                                       OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT));
    BY_HANDLE_FILE_INFORMATION keptInfo{};
    if (kept.valid() && calls.GetFileInformationByHandle(kept.get(), &keptInfo) && win32::IdOf(keptInfo) == madeId) {
        opened.file = std::move(kept);
        opened.attributes = keptInfo.dwFileAttributes;
    } else {
        opened.file = OwnedHandle();
    }
    replacement->Close();
    device_ = madeId.volume;
    inode_ = madeId.index;
}

std::string LinkFreeFolderPath(const std::string& folder) {
    const auto split = win32::SplitFull(folder);
    if (!split) return folder;
    HeldFolder held;
    if (held.Open(*split, split->names.size(), SystemFileWriteCalls()) != HeldResult::ReparsePoint) return folder;
    const auto final = FinalPath(split->joined(split->names.size()));
    if (!final) return folder;
    std::string resolved = ShownPath(*final);
    if (resolved.back() != '\\') resolved += '\\';
    return resolved;
}

std::string LinkFreeFilePath(const std::string& path) {
    const auto split = win32::SplitFull(path);
    if (!split || split->names.empty()) return path;
    HeldFolder held;
    FileWriteCalls& calls = SystemFileWriteCalls();
    if (held.Open(*split, split->names.size() - 1, calls) == HeldResult::Held) {
        const auto standing = LookAt(calls, held.child(split->names.back()));
        if (standing && !win32::StandsForAnotherName(standing->attributes, standing->reparseTag)) return path;
    }
    const auto final = FinalPath(split->joined(split->names.size()));
    return final ? ShownPath(*final) : path;
}

bool IsAbsolutePath(const std::string& path) {
    const bool drive = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/') &&
                       ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    const bool share = path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
    return drive || share;
}

std::string AbsolutePath(const std::string& path) {
    const auto wide = win32::SystemPath(path.empty() ? std::string(".") : path);
    if (!wide) throw CannotOpenFile(path);
    if (wide->rfind(L"\\\\?\\", 0) == 0) return path;
    std::wstring full(wide->size() + MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFullPathNameW(wide->c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) throw CannotOpenFile(path);
        if (length < full.size()) {
            full.resize(length);
            break;
        }
        full.resize(length);
    }
    // A folder's path has no separator at its end, but for the root ("C:\").
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    return win32::ProgramText(full);
}

void CreateFileWhole(const std::string& path, std::span<const std::uint8_t> bytes, FileWriteCalls& calls) {
    auto split = win32::SplitFull(path);
    if (!split || split->names.empty()) throw CannotCreateFile(path);
    const std::wstring name = split->names.back();
    // Links in the folder's path are followed: it is resolved first, then held.
    split->names.pop_back();
    if (const auto final = FinalPath(split->joined(split->names.size()))) {
        if (auto resolved = win32::SplitFull(ShownPath(*final))) split = std::move(resolved);
    }
    HeldFolder folder;
    if (folder.Open(*split, split->names.size(), calls) != HeldResult::Held) throw CannotCreateFile(path);
    auto file = NewFile::Create(folder, name, calls);
    if (!file) throw CannotCreateFile(path);
    if (!win32::WriteAll(calls, file->handle(), bytes) || !calls.FlushFileBuffers(file->handle())) {
        throw StreamWriteError();
    }
    // Named without replacing: a file that appeared meanwhile is never replaced.
    if (!file->Name(name, false)) throw CannotCreateFile(path);
    if (!file->Close()) throw StreamWriteError();
}

}  // namespace korvax
