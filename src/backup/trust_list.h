#pragma once
// The files a user trusts (see engine/trusted_files.h), kept in the backup store beside the
// backups, in `trusted.jsonl`: one JSON object a line, appended and never rewritten.
//
//   {"kind":"trust","time":"2026-12-10T04:12:00Z","path":"/srv/tool.exe","sha256":"..."}
//   {"kind":"untrust","time":...,"path":"/srv/tool.exe"}
//
// The last line of a path decides. Paths are absolute (AbsolutePath), and held in JSON as
// engine/json_path.h says. A restore trusts the file it puts back; `korvax-scan --trust`
// and `--untrust` change the list by hand.
//
// Thread safety: every member may be called from any thread.

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "engine/trusted_files.h"
#include "platform/file_write_calls.h"
#include "platform/private_folder.h"

namespace korvax {

inline constexpr char kTrustListName[] = "trusted.jsonl";

class TrustList : public TrustedFiles {
public:
    // The list kept in `folder`, read now (lines that cannot be read are passed over).
    // Failure when the file is there but cannot be read.
    explicit TrustList(PrivateFolder& folder, FileWriteCalls& calls = SystemFileWriteCalls());

    // Whether `path` (made absolute) is listed with the SHA-256 of `bytes`. A path listed
    // with other bytes is not trusted: the file changed since it was vouched for.
    bool Trusts(const std::string& path, std::span<const std::uint8_t> bytes) override;

    // Lists `path` (made absolute) with `sha256`, in place of what it was listed with.
    // Failure when the list cannot be written.
    void Trust(const std::string& path, const std::string& sha256);
    // Takes `path` (made absolute) off the list; false when it was not on it.
    bool Untrust(const std::string& path);

    // The trusted files that Trusts found unchanged, in order of their paths.
    std::vector<std::string> Met() const;
    // Every path listed, with its SHA-256.
    std::map<std::string, std::string> Entries() const;

private:
    PrivateFolder& folder_;
    FileWriteCalls& calls_;
    mutable std::mutex mutex_;
    std::map<std::string, std::string> trusted_;
    std::set<std::string> met_;
};

}  // namespace korvax
