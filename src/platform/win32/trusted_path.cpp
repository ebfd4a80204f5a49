#include "platform/trusted_path.h"

#include <windows.h>

#include <deque>

#include "platform/win32/file_security.h"
#include "platform/win32/file_write_calls.h"
#include "platform/win32/held_folder.h"
#include "platform/win32/system_path.h"

namespace korvax {
namespace {

// A path resolves through at most this many links, as the system's own lookup allows.
constexpr int kMaxLinks = 63;

// The system's spelling of a path as a program shows it (without "\\?\" where it is short).
std::string Shown(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return win32::ProgramText(L"\\\\" + path.substr(8));
    if (path.rfind(L"\\\\?\\", 0) == 0 && path.size() - 4 < MAX_PATH - 12) return win32::ProgramText(path.substr(4));
    return win32::ProgramText(path);
}

std::wstring Below(const std::wstring& folder, const std::wstring& name) {
    return folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

// One entry of the way, looked at without following it.
struct Entry {
    bool missing = false;
    bool folder = false;
    bool link = false;
    win32::OwnedDescriptor descriptor;
};

void LookAt(const std::wstring& where, Entry& entry, const std::string& path) {
    FileWriteCalls& calls = SystemFileWriteCalls();
    const win32::OwnedHandle opened(calls.CreateFileW(where.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                      OPEN_EXISTING,
                                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT));
    if (!opened.valid()) {
        if (::GetLastError() != ERROR_FILE_NOT_FOUND) throw CannotOpenFile(path);
        entry.missing = true;
        return;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!calls.GetFileInformationByHandle(opened.get(), &info) ||
        calls.GetSecurityInfo(opened.get(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              entry.descriptor.out()) != ERROR_SUCCESS) {
        throw CannotOpenFile(path);
    }
    entry.folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.link = win32::StandsForAnotherName(info.dwFileAttributes,
                                             win32::ReparseTagOf(calls, opened.get(), info.dwFileAttributes));
}

class Look {
public:
    Look(const std::string& path, TrustRule rule) : path_(path), rule_(rule) {}

    [[noreturn]] void refuse(const std::string& reason) const {
        throw NotTrusted("Not trusted: " + path_ + ": " + reason);
    }

    // A folder on the way, or the path's own file or folder.
    void place(const std::wstring& where, PSECURITY_DESCRIPTOR descriptor, bool folder, bool target) const {
        if (rule_ != TrustRule::OwnedAndGuarded) return;
        const auto failure = win32::TrustFailure(descriptor, user(), folder, target);
        if (!failure) return;
        refuse((target ? std::string("it") : "the folder " + Shown(where) + " above it") + " " + *failure);
    }

    void link(const std::wstring& where, PSECURITY_DESCRIPTOR descriptor) const {
        PSID owner = nullptr;
        BOOL defaulted = FALSE;
        if (!::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !win32::IsTrustedOwner(owner, user())) {
            refuse("the link " + Shown(where) + " on the way belongs to " + win32::SidText(owner) +
                   ", who is neither you, the Administrators nor the system");
        }
    }

private:
    static PSID user() { return const_cast<std::uint8_t*>(win32::ProcessUserSid().data()); }

    const std::string& path_;
    TrustRule rule_;
};

}  // namespace

std::string RequireTrusted(const std::string& path, TrustRule rule, FinalPart final) {
    const auto split = win32::SplitFull(path);
    if (!split) throw CannotOpenFile(path);
    const Look look(path, rule);

    std::deque<std::wstring> todo(split->names.begin(), split->names.end());
    // A root (a drive's, a share's), looked at as the first folder of the way.
    const auto fromRoot = [&](const std::wstring& root) {
        Entry entry;
        LookAt(root, entry, path);
        if (entry.missing || !entry.folder) throw CannotOpenFile(path);
        look.place(root, entry.descriptor.get(), true, todo.empty());
        return root;
    };
    std::wstring current = fromRoot(split->root);
    int links = 0;
    while (!todo.empty()) {
        const std::wstring next = Below(current, todo.front());
        todo.pop_front();
        const bool last = todo.empty();
        Entry entry;
        LookAt(next, entry, path);
        if (entry.missing) {
            if (last && final == FinalPart::MayBeMissing) return Shown(next);
            throw CannotOpenFile(path);
        }
        if (entry.link) {
            look.link(next, entry.descriptor.get());
            if (++links > kMaxLinks) look.refuse("too many links on the way");
            const auto resolved = win32::FinalPath(next);
            const auto parts = resolved ? win32::SplitFull(win32::ProgramText(*resolved)) : std::nullopt;
            if (!parts) throw CannotOpenFile(path);
            // Its target is held to the rule from its own root down, as the rest of the way.
            todo.insert(todo.begin(), parts->names.begin(), parts->names.end());
            current = fromRoot(parts->root);
            continue;
        }
        look.place(next, entry.descriptor.get(), entry.folder, last);
        if (!last && !entry.folder) throw CannotOpenFile(path);
        current = next;
    }
    return Shown(current);
}

}  // namespace korvax
