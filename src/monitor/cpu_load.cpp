#include "monitor/cpu_load.h"

#include <unistd.h>

#include "platform/system_info.h"

namespace korvax {

namespace {

// The library is taken only from the program's own folders: beside the program, where the
// build tree keeps it, then the private folder an installed program keeps it in. Never by
// the loader's search for a bare name: that search can look in the current folder (an
// empty entry in a search path means it, and the build tree's RUNPATH ends in such
// entries, left for the installation to fill), so whoever owns the folder a check starts
// in would choose the code the scanner runs.
std::unique_ptr<LoadedLibrary> LoadFromProgramFolders(const std::string& name) {
    if (name.find('/') != std::string::npos) return std::make_unique<LoadedLibrary>(name);
    const std::string folder = ProgramDirectory();
    if (folder.empty()) throw LoadLibraryError("Cannot load " + name + ": the program's own folder is unknown");
    const std::string beside = folder + "/" + name;
    const std::string installed = folder + "/" + KORVAX_PRIVATE_LIBDIR_FROM_BIN + "/" + name;
    if (::access(beside.c_str(), F_OK) != 0 && ::access(installed.c_str(), F_OK) == 0) {
        return std::make_unique<LoadedLibrary>(installed);
    }
    return std::make_unique<LoadedLibrary>(beside);
}

}  // namespace

CpuLoadLibrary::CpuLoadLibrary(const std::string& name) : library_(LoadFromProgramFolders(name)) {
    if (!library_->loaded()) throw LoadLibraryError("Cannot load " + name + ": " + library_->error());
    void* entry = library_->find("CpuUsage");
    if (entry == nullptr) throw LoadLibraryError("Cannot load " + name + ": " + library_->error());
    usage_ = reinterpret_cast<CpuUsageFunction>(entry);
}

}  // namespace korvax
