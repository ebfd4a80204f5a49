#include "platform/posix/trusted_path_for_user.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <deque>
#include <vector>

#include "platform/system_info.h"

namespace korvax {
namespace {

// A path resolves through at most this many links, as the kernel's own lookup allows.
constexpr int kMaxLinks = 40;

std::deque<std::string> Components(const std::string& path) {
    std::deque<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// Whether nothing but "." is left: the component just taken was the last one.
bool OnlyDotsLeft(const std::deque<std::string>& parts) {
    for (const std::string& part : parts) {
        if (part != ".") return false;
    }
    return true;
}

std::string OwnerText(uid_t owner) {
    std::string text = "user " + std::to_string(owner);
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(owner, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
        text = "user " + std::string(found->pw_name) + " (" + std::to_string(owner) + ")";
    }
    return text;
}

std::string ModeText(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

class Look {
public:
    Look(const std::string& path, TrustRule rule, std::uint32_t uid) : path_(path), rule_(rule), uid_(uid) {}

    [[noreturn]] void refuse(const std::string& reason) const {
        throw NotTrusted("Not trusted: " + path_ + ": " + reason);
    }

    bool ownedWell(const struct stat& info) const { return info.st_uid == uid_ || info.st_uid == 0; }

    // A folder on the way, or the path's own file or folder.
    void place(const std::string& where, const struct stat& info, bool isTarget) const {
        if (rule_ != TrustRule::OwnedAndGuarded) return;
        const bool folder = S_ISDIR(info.st_mode);
        const std::string what = isTarget ? "it" : "the folder " + where + " above it";
        if (!ownedWell(info)) refuse(what + " belongs to " + OwnerText(info.st_uid) + ", who is neither you nor root");
        const bool othersWrite = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
        // In a sticky folder nobody replaces what they do not own; what stands there for us
        // is looked at next.
        if (othersWrite && !(folder && !isTarget && (info.st_mode & S_ISVTX) != 0)) {
            refuse("other users may write to " + (isTarget ? std::string("it") : "the folder " + where) + " (mode " +
                   ModeText(info.st_mode) + "): take their write permission away (chmod go-w " + where + ")");
        }
    }

    void link(const std::string& where, const struct stat& info) const {
        if (!ownedWell(info)) {
            refuse("the link " + where + " on the way belongs to " + OwnerText(info.st_uid) +
                   ", who is neither you nor root");
        }
    }

private:
    const std::string& path_;
    TrustRule rule_;
    std::uint32_t uid_;
};

std::string ReadLink(const std::string& link, const std::string& path) {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t n = ::readlink(link.c_str(), buffer.data(), buffer.size());
        if (n < 0) throw CannotOpenFile(path);
        if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<std::size_t>(n));
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

std::string RequireTrusted(const std::string& path, TrustRule rule, FinalPart final, std::uint32_t uid) {
    if (path.empty()) throw CannotOpenFile(path);
    std::string start = path;
    if (path.front() != '/') {
        const std::string current = CurrentDirectory();
        if (current.empty()) throw CannotOpenFile(path);
        start = current + "/" + path;
    }
    const Look look(path, rule, uid);

    struct stat info {};
    if (::lstat("/", &info) != 0) throw CannotOpenFile(path);
    std::deque<std::string> todo = Components(start);
    look.place("/", info, todo.empty());

    std::string resolved;  // empty: the root folder
    int links = 0;
    while (!todo.empty()) {
        const std::string part = std::move(todo.front());
        todo.pop_front();
        if (part == ".") continue;
        if (part == "..") {
            // `resolved` holds no link, so its parent on paper is its parent on disk.
            resolved.erase(resolved.rfind('/') == std::string::npos ? 0 : resolved.rfind('/'));
            continue;
        }
        const std::string next = resolved + "/" + part;
        const bool last = OnlyDotsLeft(todo);
        if (::lstat(next.c_str(), &info) != 0) {
            if (errno == ENOENT && last && final == FinalPart::MayBeMissing) return next;
            throw CannotOpenFile(path);
        }
        if (S_ISLNK(info.st_mode)) {
            look.link(next, info);
            if (++links > kMaxLinks) look.refuse("too many symbolic links on the way");
            const std::string target = ReadLink(next, path);
            if (!target.empty() && target.front() == '/') resolved.clear();
            std::deque<std::string> parts = Components(target);
            todo.insert(todo.begin(), parts.begin(), parts.end());
            continue;
        }
        look.place(next, info, last);
        if (!last && !S_ISDIR(info.st_mode)) throw CannotOpenFile(path);
        resolved = next;
    }
    return resolved.empty() ? "/" : resolved;
}

std::string RequireTrusted(const std::string& path, TrustRule rule, FinalPart final) {
    return RequireTrusted(path, rule, final, static_cast<std::uint32_t>(::geteuid()));
}

}  // namespace korvax
