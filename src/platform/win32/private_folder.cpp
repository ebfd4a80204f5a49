#include "platform/private_folder.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "platform/file_in_folder.h"
#include "platform/file_name.h"
#include "platform/trusted_path.h"
#include "platform/win32/file_security.h"
#include "platform/win32/file_write_calls.h"
#include "platform/win32/held_folder.h"
#include "platform/win32/system_path.h"

namespace korvax {

using win32::HeldFolder;
using win32::OwnedHandle;

struct PrivateFolder::Opened {
    HeldFolder folder;
};

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Makes the folder with a DACL that gives the user alone full access, inherited by all it
// will hold, and nothing from the folder above: the Windows form of mode 0700.
bool MakeUserOnlyFolder(const std::wstring& path) {
    const std::string user = win32::SidText(const_cast<std::uint8_t*>(win32::ProcessUserSid().data()));
    const auto sddl = win32::SystemPath("D:P(A;OICI;FA;;;" + user + ")");
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!sddl || !::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl->c_str(), SDDL_REVISION_1, &descriptor,
                                                                          nullptr)) {
        return false;
    }
    const win32::OwnedDescriptor owned(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    return ::CreateDirectoryW(path.c_str(), &attributes) != 0;
}

bool IsAdministrators(PSID sid) {
    PSID administrators = nullptr;
    if (!::ConvertStringSidToSidW(L"S-1-5-32-544", &administrators)) return false;
    const bool same = ::EqualSid(sid, administrators) != 0;
    ::LocalFree(administrators);
    return same;
}

}  // namespace

PrivateFolder::PrivateFolder(const std::string& path) : path_(path), folder_(std::make_unique<Opened>()) {
    // Writing originals where another user's link points, or into a folder another user
    // can reach, would hand that user the writes of whoever runs the check.
    std::string resolved;
    try {
        resolved = RequireTrusted(path, TrustRule::OwnedAndGuarded, FinalPart::MayBeMissing);
    } catch (const NotTrusted& failure) {
        throw FolderRefused("The backup folder is refused. " + std::string(failure.what()));
    } catch (const Failure&) {
        throw FolderRefused("Cannot make the backup folder " + path + ": the folder above it cannot be reached");
    }
    const auto split = win32::SplitFull(resolved);
    if (!split) throw FolderRefused("Cannot make the backup folder " + path + ": no such place");
    const std::wstring full = split->joined(split->names.size());
    if (!MakeUserOnlyFolder(full) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
        throw FolderRefused("Cannot make the backup folder " + path + ": " + win32::SystemMessage(::GetLastError()));
    }
    switch (folder_->folder.Open(*split, split->names.size(), SystemFileWriteCalls())) {
        case win32::HeldResult::Held: break;
        case win32::HeldResult::ReparsePoint:
            throw FolderRefused("The backup folder " + path + " was swapped for a link while it was opened");
        case win32::HeldResult::Failed:
            throw FolderRefused("Cannot open the backup folder " + path + ": " + win32::SystemMessage(::GetLastError()));
    }
    // Checked on the folder that is held, which every later step goes through.
    const OwnedHandle looked(::CreateFileW(full.c_str(), READ_CONTROL | SYNCHRONIZE, kShareAll, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    win32::OwnedDescriptor descriptor;
    if (!looked.valid() ||
        ::GetSecurityInfo(looked.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                          nullptr, nullptr, nullptr, descriptor.out()) != ERROR_SUCCESS) {
        throw FolderRefused("Cannot open the backup folder " + path + ": its permissions cannot be read");
    }
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    const PSID user = const_cast<std::uint8_t*>(win32::ProcessUserSid().data());
    const bool owned = ::GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted) && owner != nullptr &&
                       (::EqualSid(owner, user) || IsAdministrators(owner));
    if (!owned || win32::TrustFailure(descriptor.get(), user, true, true)) {
        throw FolderRefused("The backup folder " + path +
                            " can be written by other users: use a folder of your own that only you may change");
    }
}

PrivateFolder::~PrivateFolder() = default;

bool PrivateFolder::CreateNewFile(const std::string& name, std::span<const std::uint8_t> bytes, FileWriteCalls& calls) {
    const std::string path = JoinPath(path_, name);
    const auto wide = win32::SystemPath(name);
    if (!wide) throw CannotCreateFile(path);
    auto file = win32::NewFile::Create(folder_->folder, *wide, calls);
    if (!file) throw CannotCreateFile(path);
    if (!win32::WriteAll(calls, file->handle(), bytes) || !calls.FlushFileBuffers(file->handle())) {
        throw StreamWriteError();
    }
    // Named without replacing: a name is never written over.
    if (!file->Name(*wide, false)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return false;
        throw CannotCreateFile(path);
    }
    if (!file->Close()) throw StreamWriteError();
    return true;
}

void PrivateFolder::AppendLine(const std::string& name, std::string_view line, FileWriteCalls& calls) {
    const std::string path = JoinPath(path_, name);
    const auto wide = win32::SystemPath(name);
    if (!wide) throw CannotCreateFile(path);
    std::string text(line);
    text += '\n';
    std::lock_guard lock(appending_);
    // Appending only: every write goes to the file's end, whatever others append meanwhile.
    const OwnedHandle file(calls.CreateFileW(folder_->folder.child(*wide).c_str(),
                                             FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                             FILE_SHARE_READ, OPEN_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT));
    if (!file.valid()) throw CannotCreateFile(path);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!calls.GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        throw CannotCreateFile(path);
    }
    // A line cut short by an earlier failure (a full disk) may stand at the end, without
    // its line end: this line starts on a fresh one, or both would be lost to the reader.
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(file.get(), &size) && size.QuadPart > 0) {
        LARGE_INTEGER lastByte{};
        lastByte.QuadPart = size.QuadPart - 1;
        char last = '\n';
        DWORD got = 0;
        if (::SetFilePointerEx(file.get(), lastByte, nullptr, FILE_BEGIN) &&
            calls.ReadFile(file.get(), &last, 1, &got) && got == 1 && last != '\n') {
            text.insert(text.begin(), '\n');
        }
    }
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD piece = static_cast<DWORD>(bytes.size() - done);
        if (!calls.WriteFile(file.get(), bytes.data() + done, piece, &written) || written == 0) {
            // A part of the line may stand at the end now; the reader passes over a last
            // line without its line end, and the next line starts on a fresh one.
            if (done + written > 0) {
                DWORD ignored = 0;
                calls.WriteFile(file.get(), "\n", 1, &ignored);
            }
            throw StreamWriteError();
        }
        done += written;
    }
    if (!calls.FlushFileBuffers(file.get())) throw StreamWriteError();
}

std::vector<std::uint8_t> PrivateFolder::Read(const std::string& name, bool missingIsEmpty) const {
    const std::string path = JoinPath(path_, name);
    const auto wide = win32::SystemPath(name);
    if (!wide) throw CannotOpenFile(path);
    const OwnedHandle file(::CreateFileW(folder_->folder.child(*wide).c_str(), GENERIC_READ, kShareAll, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) {
        if (missingIsEmpty && ::GetLastError() == ERROR_FILE_NOT_FOUND) return {};
        throw CannotOpenFile(path);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(file.get()) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        throw CannotOpenFile(path);
    }
    std::vector<std::uint8_t> bytes(
        static_cast<std::size_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow));
    std::size_t used = 0;
    while (used < bytes.size()) {
        DWORD got = 0;
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - used, 1U << 30));
        if (!::ReadFile(file.get(), bytes.data() + used, piece, &got, nullptr) || got == 0) break;
        used += got;
    }
    bytes.resize(used);
    return bytes;
}

bool PrivateFolder::Remove(const std::string& name) {
    const std::string path = JoinPath(path_, name);
    const auto wide = win32::SystemPath(name);
    if (!wide) throw CannotCreateFile(path);
    // What stands at the name itself, never what a link there points at.
    const OwnedHandle file(::CreateFileW(folder_->folder.child(*wide).c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) {
        if (::GetLastError() == ERROR_FILE_NOT_FOUND) return false;
        throw CannotCreateFile(path);
    }
    FILE_DISPOSITION_INFO remove{TRUE};
    if (!::SetFileInformationByHandle(file.get(), FileDispositionInfo, &remove, sizeof remove)) {
        throw CannotCreateFile(path);
    }
    return true;
}

}  // namespace korvax
