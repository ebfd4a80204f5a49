#include "monitor/cpu_load.h"

#include <unistd.h>

#include "platform/system_info.h"

namespace korvax {

namespace {

// The library beside the program first, where the build tree keeps it: the program's
// RUNPATH says the same, but a loader asked from elsewhere (a sanitizer's interceptor, for
// one) would not apply it. Then the usual search, which applies the RUNPATH: an installed
// program finds the library in its private folder that way.
std::unique_ptr<LoadedLibrary> LoadBesideOrBySearch(const std::string& name) {
    if (name.find('/') == std::string::npos) {
        const std::string folder = ProgramDirectory();
        const std::string beside = folder + "/" + name;
        if (!folder.empty() && ::access(beside.c_str(), F_OK) == 0) return std::make_unique<LoadedLibrary>(beside);
    }
    return std::make_unique<LoadedLibrary>(name);
}

}  // namespace

CpuLoadLibrary::CpuLoadLibrary(const std::string& name) : library_(LoadBesideOrBySearch(name)) {
    if (!library_->loaded()) throw LoadLibraryError("Cannot load " + name + ": " + library_->error());
    void* entry = library_->find("CpuUsage");
    if (entry == nullptr) throw LoadLibraryError("Cannot load " + name + ": " + library_->error());
    usage_ = reinterpret_cast<CpuUsageFunction>(entry);
}

}  // namespace korvax
