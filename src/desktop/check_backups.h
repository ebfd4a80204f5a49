#pragma once
// The backups of one desktop check. Every cure the desktop makes keeps the file's original
// in the user's own store first, so that a wrong cure can be undone from the restore
// window; and the files the user put back from there are trusted, so that the entry that
// cured them does not cure them again.
//
// The threat is a cure with no way back: a false positive (or a bad database) rewrites good
// programs for good. The guarantee: no file is written by a check unless its original was
// kept. A store that cannot be opened (refused by the trust rule, a disk that is full, no
// data folder at all) does not stop the check: every file is still checked and reported,
// but a file that needs a cure gets the read-error row and stays as it was. What the user
// must hear of it is gathered here, to be told once when the check has ended rather than
// once per file in the middle of it.
//
// The store is opened as every Korvax program opens it (backup/check_store.h): made when
// missing, held to the trust rule, pruned to its limits before any worker runs.
//
// Thread safety: construct and read on the user-interface thread; guard() and trusted()
// serve every worker of the check at once.

#include <mutex>
#include <sstream>
#include <string>

#include "backup/check_store.h"
#include "engine/trusted_files.h"
#include "engine/write_back_guard.h"
#include "platform/file_write_calls.h"

namespace korvax {

class CheckBackups {
public:
    // Opens the store at `folder` (empty: the user's own), which writes its files with
    // `calls`. Never throws: what goes wrong is kept for unavailable(), pruneNote() and
    // warnings().
    explicit CheckBackups(FileWriteCalls& calls = SystemFileWriteCalls(), const std::string& folder = {});
    CheckBackups(const CheckBackups&) = delete;
    CheckBackups& operator=(const CheckBackups&) = delete;
    ~CheckBackups();

    // The check's guard: the store's, or, without a store, one that refuses every cure.
    WriteBackGuard& guard() { return guard_; }
    // The files the user trusts; null when the store cannot be used.
    TrustedFiles* trusted() { return store_.trusted.get(); }

    // Why the store cannot be used (the reason, one line); empty when it is open.
    const std::string& unavailable() const { return unavailable_; }
    // What the prune did; empty when there is nothing to say.
    const std::string& pruneNote() const { return pruneNote_; }
    // Files whose cure was refused because their original could not be kept, and the
    // first reason given.
    int refused() const;
    std::string firstRefusal() const;
    // What went wrong with the store after a cure was written (its index not updated, say),
    // one line each; empty when nothing did.
    std::string warnings() const;

private:
    // Stands between the engine and the store: counts the cures refused for want of a
    // backup, and refuses them all when there is no store.
    class CountingGuard : public WriteBackGuard {
    public:
        explicit CountingGuard(CheckBackups& owner) : owner_(owner) {}
        void BeforeFirstWriteBack(const std::string& path, std::span<const std::uint8_t> original,
                                  const std::optional<FileFacts>& facts, const std::string& entryName) override;
        void AfterLastWriteBack(const std::string& path, std::span<const std::uint8_t> written,
                                const std::optional<FileIdentity>& left) noexcept override;
        void FirstWriteBackFailed(const std::string& path) noexcept override;

    private:
        CheckBackups& owner_;
    };

    void Refused(const std::string& reason);

    std::ostringstream storeWarnings_;  // written by the store under its own lock
    CheckStore store_;
    CountingGuard guard_{*this};
    std::string unavailable_;
    std::string pruneNote_;
    mutable std::mutex mutex_;
    int refused_ = 0;
    std::string firstRefusal_;
};

}  // namespace korvax
