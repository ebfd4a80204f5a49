#pragma once
// Security descriptors: carried from a file to its replacement, and read for the trust
// rule (platform/trusted_path.h). The rule itself is a function of a descriptor, apart, so
// that descriptors Wine cannot store (another user's file, a DACL that lets everyone
// write) are tested with descriptors made as Windows makes them. Only src/platform/win32/
// and the platform's tests include this.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/win32/file_write_calls.h"

namespace korvax::win32 {

// A descriptor GetSecurityInfo handed out, freed when it goes.
class OwnedDescriptor {
public:
    OwnedDescriptor() = default;
    explicit OwnedDescriptor(PSECURITY_DESCRIPTOR descriptor) : descriptor_(descriptor) {}
    OwnedDescriptor(const OwnedDescriptor&) = delete;
    OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;
    ~OwnedDescriptor();
    PSECURITY_DESCRIPTOR get() const { return descriptor_; }
    PSECURITY_DESCRIPTOR* out() { return &descriptor_; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};

// The user the process acts as (its token's user): its SID, as bytes.
const std::vector<std::uint8_t>& ProcessUserSid();

// "S-1-5-21-...", or "the owner" when the SID cannot be spelled.
std::string SidText(PSID sid);

// Gives `replacement` the owner, group and DACL of `original`: a DACL of its own as it is
// (protected), an inherited one as the entries the file has of its own, to which the
// folder, the same folder as the original's, adds what it passes on. Setting an owner
// other than the user needs the privilege to restore files (which Administrators hold, not
// enabled until it is needed here). OwnerNotKept when the owner or the DACL cannot be
// given (or the owner given is not the one asked for: Windows' own word is checked);
// "Cannot create file %s" when the original's cannot be read.
void CopySecurity(FileWriteCalls& calls, HANDLE original, HANDLE replacement, const std::string& path);

// Whether the SID is one of those that may own and change what a check relies on: the
// user, the Administrators, SYSTEM, and the system's installer (TrustedInstaller).
bool IsTrustedOwner(PSID sid, PSID user);

// The trust rule for one entry of a path, from its security descriptor: nothing when it
// holds, else the reason (as the POSIX side words it). `folder` whether the entry is a
// folder, `target` whether it is the path's own file or folder (not one on the way).
// Allowed entries that do not apply to the entry
// itself (inherit-only) are passed over; a deny entry never makes a refusal. No DACL at all
// (a NULL one, or a file system without permissions) lets everyone do everything.
std::optional<std::string> TrustFailure(PSECURITY_DESCRIPTOR descriptor, PSID user, bool folder, bool target);

}  // namespace korvax::win32
