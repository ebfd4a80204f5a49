#include "platform/load_library.h"

#include <dlfcn.h>

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

}  // namespace korvax
