#pragma once
// Files the user has vouched for. A program put back after a wrong cure still matches the
// entry that cured it, so the next check would cure it again; a file the user trusts is
// found clean instead, for as long as it stands at the same path with the same bytes. The
// same bytes elsewhere are not trusted: one mistaken restore cannot whitelist a program
// everywhere.
//
// Thread safety: Trusts is called by every worker of a check at once.

#include <cstdint>
#include <span>
#include <string>

namespace korvax {

class TrustedFiles {
public:
    virtual ~TrustedFiles() = default;
    // Whether the file checked at `path`, holding `bytes`, is trusted.
    virtual bool Trusts(const std::string& path, std::span<const std::uint8_t> bytes) = 0;
};

}  // namespace korvax
