#include "check/database_search.h"

#include <cstdlib>

#include "check/startup.h"
#include "platform/directory_walk.h"
#include "platform/failure.h"
#include "platform/file_in_folder.h"
#include "platform/file_name.h"
#include "platform/system_info.h"
#include "platform/trusted_path.h"
#include "platform/user_data_folder.h"

namespace korvax {
namespace {

// `folder` (an absolute path) and `name` joined and tidied ("bin/../share" becomes "share")
// so that messages show the place plainly. An empty folder leaves the name relative.
std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (!IsAbsolutePath(folder)) return JoinPath(folder, name);
    return AbsolutePath(JoinPath(folder, name));
}

// Anything standing at the name counts, a dangling link too: what fails the trust rule is
// refused, never passed over for the next place.
bool Exists(const std::string& path) { return EntryExists(path); }

}  // namespace

DatabaseSearch DatabaseSearch::FromEnvironment() {
    return {CurrentDirectory(), UserDataFolder(), ProgramDirectory()};
}

std::vector<DatabasePlace> DatabasePlaces(const DatabaseSearch& search) {
    std::vector<DatabasePlace> places;
    places.push_back({Join(search.currentDirectory, kDatabaseFileName), DatabaseOrigin::CurrentFolder});
    if (!search.userData.empty()) {
        places.push_back({Join(search.userData, kDatabaseFileName), DatabaseOrigin::UserCopy});
    }
    if (!search.programDirectory.empty()) {
        const std::string installed = Join(search.programDirectory, KORVAX_DATADIR_FROM_BIN);
        places.push_back({Join(installed, kDatabaseFileName), DatabaseOrigin::InstalledDefault});
        places.push_back({Join(search.programDirectory, kDatabaseFileName), DatabaseOrigin::InstalledDefault});
    }
    return places;
}

std::string RequireTrustedDatabase(const DatabasePlace& place) {
    if (place.origin == DatabaseOrigin::Named) {
        // A missing file is for the load to report, in its own words.
        return RequireTrusted(place.path, TrustRule::LinksOnly, FinalPart::MayBeMissing);
    }
    try {
        return RequireTrusted(place.path, TrustRule::OwnedAndGuarded);
    } catch (const NotTrusted& failure) {
        throw NotTrusted(std::string("The database ") + OriginText(place.origin) + " is refused. " + failure.what());
    }
}

DatabasePlace ChooseDatabase(const std::string& named, const DatabaseSearch& search) {
    if (!named.empty()) return {RequireTrustedDatabase({named, DatabaseOrigin::Named}), DatabaseOrigin::Named};
    const std::vector<DatabasePlace> places = DatabasePlaces(search);
    std::string tried;
    for (const DatabasePlace& place : places) {
        if (!Exists(place.path)) {
            tried += (tried.empty() ? "" : ", ") + place.path;
            continue;
        }
        try {
            return {RequireTrustedDatabase(place), place.origin};
        } catch (const NotTrusted& failure) {
            throw NotTrusted(std::string(failure.what()) +
                             ". Use a database of your own or root's, or name this one with --db if you trust it.");
        }
    }
    throw Failure("no database found (looked for " + tried + "); name one with --db");
}

const char* OriginText(DatabaseOrigin origin) {
    switch (origin) {
        case DatabaseOrigin::Named: return "named with --db";
        case DatabaseOrigin::CurrentFolder: return "in the current folder";
        case DatabaseOrigin::UserCopy: return "the user's own copy";
        case DatabaseOrigin::InstalledDefault: return "the default database";
    }
    return "";
}

}  // namespace korvax
