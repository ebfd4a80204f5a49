#include "desktop/user_folder.h"

#include "check/database_search.h"
#include "check/startup.h"
#include "engine/display_text.h"
#include "platform/current_directory.h"
#include "platform/directory_walk.h"
#include "platform/failure.h"
#include "platform/file_in_folder.h"
#include "platform/file_name.h"
#include "platform/make_folders.h"
#include "platform/system_info.h"
#include "platform/user_data_folder.h"
#include "platform/whole_file.h"

namespace korvax {

UserFolderPlaces UserFolderPlacesFromEnvironment() {
    UserFolderPlaces places;
    places.userFolder = UserDataFolder();
    for (const DatabasePlace& place : DatabasePlaces({"", "", ProgramDirectory()})) {
        if (place.origin == DatabaseOrigin::InstalledDefault) places.defaults.push_back(place.path);
    }
    return places;
}

std::vector<std::string> EnterUserFolder(const UserFolderPlaces& places) {
    if (places.userFolder.empty()) {
        throw Failure("There is no data folder of your own to start in (LOCALAPPDATA, or HOME, is not set)");
    }
    const std::string database = JoinPath(places.userFolder, kDatabaseFileName);
    MakeFolders(places.userFolder);  // what cannot be made shows when the folder is entered
    std::vector<std::string> told;
    if (!EntryExists(database)) {
        const std::string* found = nullptr;
        for (const std::string& place : places.defaults) {
            if (EntryExists(place)) {
                found = &place;
                break;
            }
        }
        if (found == nullptr) {
            told.push_back("There is no default database to copy into " + DisplayText(places.userFolder));
        } else {
            try {
                // Written whole or not at all: half a database is never taken for the
                // user's own.
                WriteFileWhole(database, ReadWholeFile(*found));
            } catch (const std::exception& failure) {
                told.push_back("Cannot copy the default database " + DisplayText(*found) + " into " +
                               DisplayText(places.userFolder) + ": " + DisplayText(failure.what()));
            }
        }
    }
    ChangeCurrentDirectory(places.userFolder);
    return told;
}

std::string AbsoluteFrom(const std::string& currentFolder, const std::string& path) {
    if (path.empty() || IsAbsolutePath(path) || currentFolder.empty()) return path;
    // "\x" on Windows names a folder on the start folder's drive, not in the start folder.
    if (IsPathSeparator(path[0])) {
        const bool drive = currentFolder.size() >= 2 && currentFolder[1] == ':';
        return drive ? currentFolder.substr(0, 2) + path : path;
    }
    return JoinPath(currentFolder, path);
}

}  // namespace korvax
