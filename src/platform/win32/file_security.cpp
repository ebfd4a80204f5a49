#include "platform/win32/file_security.h"

#include <sddl.h>

#include <cstring>
#include <mutex>

#include "platform/file_in_folder.h"
#include "platform/win32/system_path.h"

namespace korvax::win32 {
namespace {

// The well-known SIDs, as Windows spells them.
constexpr const wchar_t* kAdministrators = L"S-1-5-32-544";
constexpr const wchar_t* kSystem = L"S-1-5-18";
constexpr const wchar_t* kTrustedInstaller = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
constexpr const wchar_t* kCreatorOwner = L"S-1-3-0";
constexpr const wchar_t* kOwnerRights = L"S-1-3-4";

std::vector<std::uint8_t> SidBytes(const wchar_t* text) {
    PSID sid = nullptr;
    if (!::ConvertStringSidToSidW(text, &sid)) return {};
    std::vector<std::uint8_t> bytes(::GetLengthSid(sid));
    std::memcpy(bytes.data(), sid, bytes.size());
    ::LocalFree(sid);
    return bytes;
}

bool SameSid(PSID sid, const std::vector<std::uint8_t>& known) {
    return sid != nullptr && !known.empty() && ::IsValidSid(sid) && ::EqualSid(sid, const_cast<std::uint8_t*>(known.data()));
}

const std::vector<std::uint8_t>& Known(const wchar_t* text) {
    // A few SIDs, made once each; never changed afterwards.
    static std::mutex making;
    static std::vector<std::pair<const wchar_t*, std::vector<std::uint8_t>>> made;
    std::lock_guard lock(making);
    for (const auto& [name, bytes] : made) {
        if (name == text) return bytes;
    }
    made.emplace_back(text, SidBytes(text));
    return made.back().second;
}

OwnerNotKept SecurityNotKept(const std::string& path) {
    return OwnerNotKept(path, "its owner and security descriptor cannot be kept by this user, and a file never "
                              "changes hands: nothing was written");
}

// The privilege to give a file any owner, which Administrators hold but have not enabled.
bool EnableRestorePrivilege() {
    static const bool enabled = [] {
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
        const OwnedHandle owned(token);
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (!::LookupPrivilegeValueW(nullptr, SE_RESTORE_NAME, &privileges.Privileges[0].Luid)) return false;
        // Succeeds with ERROR_NOT_ALL_ASSIGNED when the privilege is not held.
        return ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
               ::GetLastError() == ERROR_SUCCESS;
    }();
    return enabled;
}

// The entries of `dacl` that the file has of its own, not from its folder.
std::vector<std::uint8_t> ExplicitEntries(PACL dacl) {
    std::vector<std::uint8_t> buffer(dacl->AclSize);
    auto* copy = reinterpret_cast<PACL>(buffer.data());
    if (!::InitializeAcl(copy, static_cast<DWORD>(buffer.size()), dacl->AclRevision)) return {};
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!::GetAce(dacl, i, &entry)) return {};
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        if ((header->AceFlags & INHERITED_ACE) != 0) continue;
        if (!::AddAce(copy, dacl->AclRevision, MAXDWORD, entry, header->AceSize)) return {};
    }
    return buffer;
}

// What another user may do to an entry that lets them change what the path leads to.
DWORD ChangingRights(bool folder, bool target) {
    DWORD rights = DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    if (folder) rights |= FILE_DELETE_CHILD;
    // The entry itself: its contents too. A folder on the way only so far as an entry can
    // be removed or renamed there; adding new ones is harmless (see the header).
    if (target) rights |= folder ? (FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY) : (FILE_WRITE_DATA | FILE_APPEND_DATA);
    return rights;
}

}  // namespace

OwnedDescriptor::~OwnedDescriptor() {
    if (descriptor_ != nullptr) ::LocalFree(descriptor_);
}

const std::vector<std::uint8_t>& ProcessUserSid() {
    static const std::vector<std::uint8_t> sid = [] {
        std::vector<std::uint8_t> bytes;
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return bytes;
        const OwnedHandle owned(token);
        DWORD size = 0;
        ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<std::uint8_t> buffer(size);
        if (size == 0 || !::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return bytes;
        const PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
        bytes.resize(::GetLengthSid(user));
        std::memcpy(bytes.data(), user, bytes.size());
        return bytes;
    }();
    return sid;
}

std::string SidText(PSID sid) {
    wchar_t* text = nullptr;
    if (sid == nullptr || !::ConvertSidToStringSidW(sid, &text)) return "the owner";
    std::string spelled = ProgramText(text, ::wcslen(text));
    ::LocalFree(text);
    return spelled;
}

void CopySecurity(FileWriteCalls& calls, HANDLE original, HANDLE replacement, const std::string& path) {
    OwnedDescriptor descriptor;
    if (calls.GetSecurityInfo(original, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                            DACL_SECURITY_INFORMATION,
                              descriptor.out()) != ERROR_SUCCESS) {
        throw CannotCreateFile(path);
    }
    PSID owner = nullptr;
    PSID group = nullptr;
    PACL dacl = nullptr;
    BOOL defaulted = FALSE;
    BOOL daclPresent = FALSE;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!::GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted) ||
        !::GetSecurityDescriptorGroup(descriptor.get(), &group, &defaulted) ||
        !::GetSecurityDescriptorDacl(descriptor.get(), &daclPresent, &dacl, &defaulted) ||
        !::GetSecurityDescriptorControl(descriptor.get(), &control, &revision)) {
        throw CannotCreateFile(path);
    }
    if (owner != nullptr) {
        const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | (group != nullptr ? GROUP_SECURITY_INFORMATION : 0);
        DWORD error = calls.SetSecurityInfo(replacement, what, owner, group, nullptr);
        if (error == ERROR_INVALID_OWNER && EnableRestorePrivilege()) {
            error = calls.SetSecurityInfo(replacement, what, owner, group, nullptr);
        }
        if (error == ERROR_INVALID_OWNER || error == ERROR_ACCESS_DENIED || error == ERROR_PRIVILEGE_NOT_HELD) {
            throw SecurityNotKept(path);
        }
        if (error != ERROR_SUCCESS) throw CannotCreateFile(path);
        // The owner it got is looked at, not taken on trust.
        OwnedDescriptor given;
        PSID givenOwner = nullptr;
        if (calls.GetSecurityInfo(replacement, OWNER_SECURITY_INFORMATION, given.out()) != ERROR_SUCCESS ||
            !::GetSecurityDescriptorOwner(given.get(), &givenOwner, &defaulted) || givenOwner == nullptr ||
            !::EqualSid(givenOwner, owner)) {
            throw SecurityNotKept(path);
        }
    }
    if (!daclPresent) return;  // a file system without permissions
    DWORD error = ERROR_SUCCESS;
    if ((control & SE_DACL_PROTECTED) != 0 || dacl == nullptr) {
        error = calls.SetSecurityInfo(replacement, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                      nullptr, nullptr, dacl);
    } else {
        std::vector<std::uint8_t> own = ExplicitEntries(dacl);
        if (own.empty()) throw CannotCreateFile(path);
        error = calls.SetSecurityInfo(replacement, DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION,
                                      nullptr, nullptr, reinterpret_cast<PACL>(own.data()));
    }
    if (error != ERROR_SUCCESS) throw SecurityNotKept(path);
}

bool IsTrustedOwner(PSID sid, PSID user) {
    if (sid == nullptr || !::IsValidSid(sid)) return false;
    if (user != nullptr && ::EqualSid(sid, user)) return true;
    return SameSid(sid, Known(kAdministrators)) || SameSid(sid, Known(kSystem)) ||
           SameSid(sid, Known(kTrustedInstaller));
}

std::optional<std::string> TrustFailure(PSECURITY_DESCRIPTOR descriptor, PSID user, bool folder, bool target) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL defaulted = FALSE;
    BOOL present = FALSE;
    if (!::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
        !::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
        return std::string("its security descriptor cannot be read");
    }
    if (!IsTrustedOwner(owner, user)) {
        return "belongs to " + SidText(owner) + ", who is neither you, the Administrators nor the system";
    }
    // No DACL (a file system without permissions, or one taken away) lets everyone in.
    if (!present || dacl == nullptr) return std::string("everyone may change it (it has no DACL)");
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    const DWORD changing = ChangingRights(folder, target);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!::GetAce(dacl, i, &entry)) return std::string("its DACL cannot be read");
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        if ((header->AceFlags & INHERIT_ONLY_ACE) != 0) continue;
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        const PSID who = const_cast<DWORD*>(&allowed->SidStart);
        if (IsTrustedOwner(who, user) || SameSid(who, Known(kCreatorOwner))) continue;
        // "Owner rights" stand for the owner, who was looked at above.
        if (SameSid(who, Known(kOwnerRights))) continue;
        DWORD mask = allowed->Mask;
        ::MapGenericMask(&mask, &mapping);
        if ((mask & changing) != 0 || (allowed->Mask & (GENERIC_WRITE | GENERIC_ALL)) != 0) {
            return "other users (" + SidText(who) + ") may change " +
                   std::string(target ? "it" : "what it holds") + ": take their write permission away";
        }
    }
    return std::nullopt;
}

}  // namespace korvax::win32
