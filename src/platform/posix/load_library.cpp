#include "platform/load_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include "platform/system_info.h"

namespace korvax {

LoadedLibrary::LoadedLibrary(const std::string& name) {
    handle_ = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = ::dlerror();
        error_ = reason != nullptr ? reason : "unknown error";
    }
}

LoadedLibrary::~LoadedLibrary() {
    // The library stays loaded for the whole run; closing it at exit gains nothing and
    // would invalidate the function pointer a late refresh might still hold.
}

void* LoadedLibrary::find(const std::string& symbol) {
    if (handle_ == nullptr) return nullptr;
    ::dlerror();
    void* address = ::dlsym(handle_, symbol.c_str());
    if (address == nullptr) {
        const char* reason = ::dlerror();
        error_ = reason != nullptr ? reason : "undefined symbol: " + symbol;
    }
    return address;
}

std::string SharedLibraryName(const std::string& stem) { return "lib" + stem + ".so"; }

std::unique_ptr<LoadedLibrary> LoadProgramLibrary(const std::string& name) {
    if (name.find('/') != std::string::npos) return std::make_unique<LoadedLibrary>(name);
    // Only the program's own folders, never the loader's search for a bare name: that
    // search can look in the current folder (an empty entry in a search path means it, and
    // the build tree's RUNPATH ends in such entries, left for the installation to fill), so
    // whoever owns the folder a check starts in would choose the code the scanner runs.
    const std::string folder = ProgramDirectory();
    const std::string beside = folder + "/" + name;
    const std::string installed = folder + "/" + KORVAX_PRIVATE_LIBDIR_FROM_BIN + "/" + name;
    if (!folder.empty() && ::access(beside.c_str(), F_OK) != 0 && ::access(installed.c_str(), F_OK) == 0) {
        return std::make_unique<LoadedLibrary>(installed);
    }
    // Where it is missing, the loader's reason names the place it should be.
    return std::make_unique<LoadedLibrary>(folder.empty() ? name : beside);
}

}  // namespace korvax
