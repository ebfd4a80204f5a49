#include "collection/collect_files.h"

#include <algorithm>

#include "collection/path_glob.h"
#include "platform/directory_walk.h"
#include "platform/file_in_folder.h"
#include "platform/file_name.h"

namespace korvax {

bool HasProgramExtension(const std::string& name) {
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos) return false;
    std::string extension = name.substr(dot);
    for (char& c : extension) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return extension == ".EXE" || extension == ".COM";
}

std::int64_t CollectionSizeLimit(const CollectOptions& options) {
    return std::min(options.maxSize, kMaxScannedFileSize);
}

namespace {

bool Excluded(const CollectOptions& options, const std::string& path) {
    for (const std::string& pattern : options.exclude) {
        if (GlobMatches(pattern, path)) return true;
    }
    return false;
}

void Tell(const CollectOptions& options, const std::string& path, PassedOver why, const std::string& detail = {}) {
    if (options.onPassedOver) options.onPassedOver(path, why, detail);
}

// Returns false when the walk was stopped.
bool Walk(DirectoryListing& listing, const std::string& folder, const CollectedFile& collected, MessagePump& pump,
          const CollectOptions& options, const std::function<bool()>& stop) {
    if (!listing.opened()) {
        Tell(options, folder, PassedOver::Unreadable, listing.openFailure());
        return true;
    }
    if (options.onFolderEntered) options.onFolderEntered(folder);
    const std::int64_t maxSize = CollectionSizeLimit(options);
    while (auto entry = listing.next()) {
        pump.ProcessPendingMessages();
        if (stop && stop()) return false;
        if (entry->name == "." || entry->name == "..") continue;
        const std::string path = folder + entry->name;
        if (entry->kind == EntryKind::Directory) {
            // Nothing below a folder whose own path is already too long can be collected.
            const std::string below = path + kPathSeparator;
            if (PathLength(below) > kMaxFileNameLength) {
                Tell(options, below, PassedOver::PathTooLong);
                continue;
            }
            if (Excluded(options, path) || Excluded(options, below)) {
                Tell(options, below, PassedOver::Excluded);
                continue;
            }
            DirectoryListing inside(listing, entry->name);
            if (!Walk(inside, below, collected, pump, options, stop)) return false;
            continue;
        }
        if (entry->kind != EntryKind::RegularFile) continue;
        if (!HasProgramExtension(entry->name)) continue;
        if (entry->size >= maxSize) {
            Tell(options, path, PassedOver::TooLarge);
            continue;
        }
        if (Excluded(options, path)) {
            Tell(options, path, PassedOver::Excluded);
            continue;
        }
        if (PathLength(path) > kMaxFileNameLength) {
            Tell(options, path, PassedOver::PathTooLong);
            continue;
        }
        collected(path);
    }
    return true;
}

}  // namespace

void WalkFolder(const std::string& folder, const CollectedFile& collected, MessagePump& pump,
                const CollectOptions& options, const std::function<bool()>& stop) {
    const std::string walked = LinkFreeFolderPath(folder);
    DirectoryListing listing(walked);
    Walk(listing, walked, collected, pump, options, stop);
}

void CollectListed(const std::string& listed, const CollectedFile& collected, MessagePump& pump,
                   const CollectOptions& options, const std::function<bool()>& stop) {
    const NamedEntry entry = LookAtNamedPath(listed);
    if (!entry.failure.empty()) {
        Tell(options, listed, PassedOver::Unreadable, entry.failure);
        return;
    }
    if (entry.kind == EntryKind::Directory) {
        WalkFolder(!listed.empty() && IsPathSeparator(listed.back()) ? listed : listed + kPathSeparator, collected,
                   pump, options, stop);
        return;
    }
    if (entry.kind != EntryKind::RegularFile) {
        Tell(options, listed, PassedOver::Refused, "no regular file");
        return;
    }
    if (entry.size >= CollectionSizeLimit(options)) {
        Tell(options, listed, PassedOver::Refused,
             std::to_string(entry.size) + " bytes, the limit is " + std::to_string(CollectionSizeLimit(options)));
        return;
    }
    const std::string path = LinkFreeFilePath(listed);
    if (PathLength(path) > kMaxFileNameLength) {
        Tell(options, path, PassedOver::PathTooLong);
        return;
    }
    collected(path);
}

void CollectFiles(FileQueue& queue, const std::string& listed, FileCollection& collection, MessagePump& pump,
                  const CollectOptions& options) {
    CollectListed(
        listed,
        [&](const std::string& path) {
            queue.push_back(path);
            ++collection.TotalFiles;
        },
        pump, options);
}

}  // namespace korvax
