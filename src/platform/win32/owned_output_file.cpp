#include "platform/owned_output_file.h"

#include <windows.h>
#include <aclapi.h>

#include "platform/file_in_folder.h"
#include "platform/trusted_path.h"
#include "platform/win32/file_security.h"
#include "platform/win32/file_write_calls.h"
#include "platform/win32/held_folder.h"
#include "platform/win32/system_path.h"

namespace korvax {

using win32::HeldFolder;
using win32::OwnedHandle;

struct OwnedOutputFile::Opened {
    HeldFolder folder;
    std::wstring name;
};

namespace {

// What stands at the name may be replaced: nothing, or a regular file of the user's.
void RequireReplaceable(const HeldFolder& folder, const std::wstring& name, const std::string& path) {
    const OwnedHandle standing(::CreateFileW(folder.child(name).c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                             nullptr));
    if (!standing.valid()) {
        if (::GetLastError() == ERROR_FILE_NOT_FOUND) return;
        throw CannotCreateFile(path);
    }
    const std::string refused = "Not trusted: " + path + ": ";
    BY_HANDLE_FILE_INFORMATION info{};
    win32::OwnedDescriptor descriptor;
    if (!::GetFileInformationByHandle(standing.get(), &info) ||
        ::GetSecurityInfo(standing.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                          nullptr, descriptor.out()) != ERROR_SUCCESS) {
        throw CannotCreateFile(path);
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        throw NotTrusted(refused + "it is a link (a reparse point), and a report is never written through one");
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || ::GetFileType(standing.get()) != FILE_TYPE_DISK) {
        throw NotTrusted(refused + "it is no regular file");
    }
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    const PSID user = const_cast<std::uint8_t*>(win32::ProcessUserSid().data());
    if (!::GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted) || owner == nullptr ||
        !::EqualSid(owner, user)) {
        throw NotTrusted(refused + "it belongs to " + win32::SidText(owner) + ", and only a file of your own is replaced");
    }
}

}  // namespace

OwnedOutputFile::OwnedOutputFile(const std::string& path) : path_(path), folder_(std::make_unique<Opened>()) {
    const auto separator = path.find_last_of("\\/");
    std::string folder = separator == std::string::npos ? "." : path.substr(0, separator + 1);
    const std::string name = separator == std::string::npos ? path : path.substr(separator + 1);
    if (name.empty() || name == "." || name == "..") throw CannotCreateFile(path);
    const auto wideName = win32::SystemPath(name);
    if (!wideName) throw CannotCreateFile(path);
    // The folder's own links may be followed (under the trust rule); the name's never.
    const std::string resolved = RequireTrusted(folder, TrustRule::OwnedAndGuarded);
    const auto split = win32::SplitFull(resolved);
    if (!split || folder_->folder.Open(*split, split->names.size(), SystemFileWriteCalls()) != win32::HeldResult::Held) {
        throw CannotCreateFile(path);
    }
    folder_->name = *wideName;
    RequireReplaceable(folder_->folder, folder_->name, path_);
}

OwnedOutputFile::~OwnedOutputFile() = default;

void OwnedOutputFile::Write(std::span<const std::uint8_t> bytes, FileWriteCalls& calls) {
    auto file = win32::NewFile::Create(folder_->folder, folder_->name, calls);
    if (!file) throw CannotCreateFile(path_);
    if (!win32::WriteAll(calls, file->handle(), bytes) || !calls.FlushFileBuffers(file->handle())) {
        throw StreamWriteError();
    }
    RequireReplaceable(folder_->folder, folder_->name, path_);
    if (!file->Name(folder_->name, true)) throw CannotCreateFile(path_);
    file->Close();
}

}  // namespace korvax
