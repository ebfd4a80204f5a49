#include "platform/win32/held_folder.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

#include "platform/wide_text.h"

namespace korvax::win32 {
namespace {

// FILE_RENAME_INFO's class for the rename with flags (Windows 10 1709 and later), and its
// flags; not every mingw-w64 header names them yet. The values are Windows' own.
constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
constexpr DWORD kRenameReplaceIfExists = 0x00000001;
constexpr DWORD kRenamePosixSemantics = 0x00000002;

constexpr int kBusyRetries = 5;
constexpr DWORD kBusyPauseMilliseconds = 20;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::vector<std::wstring> Names(const std::wstring& text) {
    std::vector<std::wstring> names;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = start;
        while (end < text.size() && !IsSeparator(text[end])) ++end;
        if (end > start) names.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

}  // namespace

FileId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber, (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

bool StandsForAnotherName(DWORD attributes, DWORD reparseTag) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
    return (reparseTag & 0x20000000) != 0 || reparseTag == 0;  // IsReparseTagNameSurrogate
}

DWORD ReparseTagOf(FileWriteCalls& calls, HANDLE handle, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return 0;
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!calls.GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)) return 0;
    return tag.ReparseTag;
}

std::wstring SplitFullPath::joined(std::size_t count) const {
    std::wstring path = root;
    for (std::size_t i = 0; i < count && i < names.size(); ++i) {
        if (i > 0) path += L'\\';
        path += names[i];
    }
    // The root keeps its separator; a folder below it has none at its end.
    return path;
}

std::optional<SplitFullPath> SplitFull(const std::string& path) {
    const auto units = WideFromUtf8(path);
    if (!units || units->empty()) return std::nullopt;
    std::wstring wide(units->begin(), units->end());
    if (wide.find(L'\0') != std::wstring::npos) return std::nullopt;
    std::wstring full;
    if (wide.rfind(L"\\\\?\\", 0) == 0) {
        // Already the system's own spelling: taken as it is, "." and ".." being names there.
        full = wide;
    } else {
        full.resize(wide.size() + MAX_PATH);
        for (;;) {
            const DWORD length =
                ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
            if (length == 0) return std::nullopt;
            if (length < full.size()) {
                full.resize(length);
                break;
            }
            full.resize(length);
        }
        if (full.rfind(L"\\\\.\\", 0) == 0) return std::nullopt;  // a device
        if (full.rfind(L"\\\\", 0) == 0) {
            full = L"\\\\?\\UNC\\" + full.substr(2);
        } else {
            full = L"\\\\?\\" + full;
        }
    }
    SplitFullPath split;
    std::wstring rest;
    if (full.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        const std::vector<std::wstring> names = Names(full.substr(8));
        if (names.size() < 2) return std::nullopt;
        split.root = L"\\\\?\\UNC\\" + names[0] + L"\\" + names[1] + L"\\";
        split.names.assign(names.begin() + 2, names.end());
    } else if (full.size() >= 6 && full[5] == L':' && (full.size() == 6 || IsSeparator(full[6]))) {
        split.root = full.substr(0, 6) + L"\\";
        split.names = Names(full.substr(6));
    } else {
        return std::nullopt;
    }
    for (const std::wstring& name : split.names) {
        if (name == L"." || name == L"..") return std::nullopt;
    }
    return split;
}

std::wstring ComparedName(const std::wstring& name) {
    if (name.empty()) return name;
    std::wstring upper(name.size(), L'\0');
    const int length = ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name.c_str(),
                                       static_cast<int>(name.size()), upper.data(), static_cast<int>(upper.size()),
                                       nullptr, nullptr, 0);
    if (length != static_cast<int>(name.size())) {
        // Unit by unit, as the file system compares: ASCII at least, when the system's
        // table cannot map the name as a whole.
        upper = name;
        for (wchar_t& c : upper) {
            if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
        }
    }
    return upper;
}

HANDLE OpenPatiently(FileWriteCalls& calls, const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                     DWORD flags) {
    for (int attempt = 0;; ++attempt) {
        const HANDLE handle = calls.CreateFileW(path.c_str(), access, share, disposition, flags);
        if (handle != INVALID_HANDLE_VALUE) return handle;
        const DWORD error = ::GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) || attempt == kBusyRetries) {
            ::SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        ::Sleep(kBusyPauseMilliseconds);
    }
}

HeldResult HeldFolder::Open(const SplitFullPath& path, std::size_t count, FileWriteCalls& calls) {
    chain_.clear();
    for (std::size_t depth = 0; depth <= count; ++depth) {
        const std::wstring here = path.joined(depth);
        // Without delete sharing: nobody can rename or remove the folder while it is held.
        OwnedHandle folder(OpenPatiently(calls, here, FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT));
        if (!folder.valid()) return HeldResult::Failed;
        // The folder's attributes, and its identity only for the last one: asking for a
        // volume's serial number is slow on some systems (Wine reads it from the disk
        // each time), and the folders on the way need none.
        DWORD attributes = 0;
        if (depth == count) {
            BY_HANDLE_FILE_INFORMATION info{};
            if (!calls.GetFileInformationByHandle(folder.get(), &info)) return HeldResult::Failed;
            attributes = info.dwFileAttributes;
            id_ = IdOf(info);
        } else {
            FILE_BASIC_INFO basic{};
            if (!calls.GetFileInformationByHandleEx(folder.get(), FileBasicInfo, &basic, sizeof basic)) {
                return HeldResult::Failed;
            }
            attributes = basic.FileAttributes;
        }
        if (StandsForAnotherName(attributes, ReparseTagOf(calls, folder.get(), attributes))) {
            return HeldResult::ReparsePoint;
        }
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            ::SetLastError(ERROR_DIRECTORY);
            return HeldResult::Failed;
        }
        chain_.push_back(std::move(folder));
    }
    path_ = path.joined(count);
    while (path_.size() > 1 && path_.back() == L'\\') path_.pop_back();
    return HeldResult::Held;
}

bool WriteAll(FileWriteCalls& calls, HANDLE file, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1U << 30));
        DWORD written = 0;
        if (!calls.WriteFile(file, bytes.data() + done, piece, &written)) return false;
        if (written == 0) {
            ::SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        done += written;
    }
    return true;
}

std::optional<NewFile> NewFile::Create(const HeldFolder& folder, const std::wstring& besideName, FileWriteCalls& calls) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring name = L"." + besideName.substr(0, 200) + L".korvax-" +
                                  std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                  std::to_wstring(counter.fetch_add(1));
        const std::wstring path = folder.child(name);
        const HANDLE handle = calls.CreateFileW(
            path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE | READ_CONTROL | WRITE_DAC | WRITE_OWNER,
            FILE_SHARE_READ, CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT);
        if (handle != INVALID_HANDLE_VALUE) {
            NewFile made(calls, handle, path, folder.path());
            // Made where the folder was held, not through something swapped in by name.
            BY_HANDLE_FILE_INFORMATION info{};
            if (!calls.GetFileInformationByHandle(handle, &info) || IdOf(info).volume != folder.id().volume) {
                ::SetLastError(ERROR_NOT_SAME_DEVICE);
                return std::nullopt;
            }
            return made;
        }
        if (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS) return std::nullopt;
    }
    return std::nullopt;
}

NewFile::NewFile(NewFile&& other) noexcept
    : calls_(other.calls_),
      handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)),
      path_(std::move(other.path_)),
      folder_(std::move(other.folder_)),
      named_(other.named_) {}

NewFile::~NewFile() {
    if (handle_ == INVALID_HANDLE_VALUE) return;
    const DWORD error = ::GetLastError();  // the reason a caller is about to report
    if (!named_) {
        FILE_DISPOSITION_INFO remove{TRUE};
        calls_->SetFileInformationByHandle(handle_, FileDispositionInfo, &remove, sizeof remove);
    }
    calls_->CloseHandle(handle_);
    ::SetLastError(error);
}

bool NewFile::Name(const std::wstring& name, bool replace, const std::function<void()>& beforeClassicRename) {
    const std::wstring target = folder_ + L"\\" + name;
    // FILE_RENAME_INFO ends in the name; the flags of the rename with flags share the place
    // of ReplaceIfExists.
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + (target.size() + 1) * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, target.c_str(), (target.size() + 1) * sizeof(wchar_t));
    const DWORD size = static_cast<DWORD>(buffer.size());
    if (replace) {
        DWORD flags = kRenameReplaceIfExists | kRenamePosixSemantics;
        std::memcpy(buffer.data(), &flags, sizeof flags);
        if (calls_->SetFileInformationByHandle(handle_, kFileRenameInfoEx, info, size)) {
            named_ = true;
            path_ = target;
            return true;
        }
        if (::GetLastError() != ERROR_INVALID_PARAMETER) return false;
        if (beforeClassicRename) beforeClassicRename();
        std::memset(buffer.data(), 0, sizeof flags);
    }
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    if (!calls_->SetFileInformationByHandle(handle_, FileRenameInfo, info, size)) return false;
    named_ = true;
    path_ = target;
    return true;
}

bool NewFile::Close() {
    const HANDLE handle = std::exchange(handle_, INVALID_HANDLE_VALUE);
    if (!named_) {
        FILE_DISPOSITION_INFO remove{TRUE};
        calls_->SetFileInformationByHandle(handle, FileDispositionInfo, &remove, sizeof remove);
    }
    return calls_->CloseHandle(handle) != 0;
}

}  // namespace korvax::win32
