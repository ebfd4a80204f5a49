#pragma once
// Whether a file the programs rely on can be changed by nobody but the user who runs them
// and root: a database found without being named, a database an update rewrites, the
// folder backups go to, the folder a report is written in.
//
// Why: a check often runs as root over a machine where other users keep files. A database
// that another user can write decides what the check cures (an entry of size 0 empties
// every program it matches); a backup folder or a report reached through another user's
// link makes root write wherever that user points. So each such path is looked at from
// the root folder down before it is used:
//
// - every folder on the way, and the file itself, belongs to the user or to root, and no
//   other user may write to it. "Write" is read from the mode's group and other bits: a
//   POSIX ACL's named users and groups write only through its mask, which those same
//   group bits show, so an ACL that lets anyone else write shows as group-writable. A
//   folder with the sticky bit (such as /tmp) may be writable by all: nobody can replace
//   an entry there that they do not own, and the entry below it is held to the rule too;
// - a symbolic link on the way is followed only when it belongs to the user or root, and
//   its target is then held to the same rule.
//
// What passes cannot be swapped afterwards by anyone but the user and root, so the path
// returned can be opened after the look without a race with another user.
//
// Thread safety: pure apart from reading the file system; safe from any thread.

#include <cstdint>
#include <string>

#include "platform/failure.h"

namespace korvax {

// A path that fails the rule. The message names the path, what is wrong and what to do.
class NotTrusted : public Failure {
public:
    using Failure::Failure;
};

enum class TrustRule {
    // The whole rule above: owners and write permissions of every folder and the file, and
    // the links on the way.
    OwnedAndGuarded,
    // Only the links on the way must belong to the user or root. For a path the user named
    // on purpose: it is read as named, but never through a link another user controls.
    LinksOnly,
};

enum class FinalPart {
    MustExist,
    // The last component may be missing (a folder or file about to be made): then only the
    // folders above it are looked at.
    MayBeMissing,
};

// Looks at `path` under `rule` for the user the process acts as (its effective user; root
// is always trusted as well) and returns it resolved: absolute, without "." or "..", every
// link replaced by its target. A relative path is taken from the current directory. Throws
// NotTrusted ("Not trusted: PATH: REASON") when the rule fails, and CannotOpenFile when a
// part of the path that must exist cannot be looked at.
//
// On Windows the same rule reads the security descriptors: every folder on the way and the
// file itself must be owned by the user, the Administrators, SYSTEM or the system's
// installer (TrustedInstaller), and the DACL may let nobody else write: not change the
// file or folder, its permissions or owner, nor delete or rename it or (for a folder on the
// way) what it holds. Another user may only add new entries to a folder on the way (as
// everyone may in C:\, like /tmp's sticky rule): whatever stands below is then held to the
// rule itself. A reparse point that stands for another name (symbolic link, junction,
// mount point) is followed only when it is owned as above, and its target is held to the
// rule too.
std::string RequireTrusted(const std::string& path, TrustRule rule, FinalPart final = FinalPart::MustExist);

}  // namespace korvax
