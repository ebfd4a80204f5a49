#pragma once
// The trust rule of platform/trusted_path.h as it holds for another user than the one the
// process acts as: what the POSIX tests use to play two users of one machine.

#include <cstdint>
#include <string>

#include "platform/trusted_path.h"

namespace korvax {

// RequireTrusted for the user `uid` (root, 0, is always trusted as well).
std::string RequireTrusted(const std::string& path, TrustRule rule, FinalPart final, std::uint32_t uid);

}  // namespace korvax
