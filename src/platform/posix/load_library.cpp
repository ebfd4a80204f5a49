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
    // The RUNPATH says the same for the build tree, but a loader asked from elsewhere (a
    // sanitizer's interceptor, for one) would not apply it.
    if (name.find('/') == std::string::npos) {
        const std::string folder = ProgramDirectory();
        const std::string beside = folder + "/" + name;
        if (!folder.empty() && ::access(beside.c_str(), F_OK) == 0) return std::make_unique<LoadedLibrary>(beside);
    }
    return std::make_unique<LoadedLibrary>(name);
}

}  // namespace korvax
