#include "platform/load_library.h"

#include <windows.h>

#include "platform/win32/system_path.h"

namespace korvax {

// A bare name goes to LoadLibraryA, the call and search the design names; a path (which
// may hold any character) to the wide call, with the library's own folder searched for
// what it needs.
LoadedLibrary::LoadedLibrary(const std::string& name) {
    HMODULE module = nullptr;
    if (name.find_first_of("\\/:") == std::string::npos) {
        module = ::LoadLibraryA(name.c_str());
    } else if (const auto wide = win32::SystemPath(name)) {
        module = ::LoadLibraryExW(wide->c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    } else {
        ::SetLastError(ERROR_INVALID_NAME);
    }
    handle_ = reinterpret_cast<void*>(module);
    if (handle_ == nullptr) error_ = win32::SystemMessage(::GetLastError());
}

LoadedLibrary::~LoadedLibrary() {
    // The library stays loaded for the whole run, as on Linux.
}

void* LoadedLibrary::find(const std::string& symbol) {
    if (handle_ == nullptr) return nullptr;
    const FARPROC address = ::GetProcAddress(reinterpret_cast<HMODULE>(handle_), symbol.c_str());
    if (address == nullptr) {
        error_ = "undefined symbol: " + symbol + " (" + win32::SystemMessage(::GetLastError()) + ")";
        return nullptr;
    }
    return reinterpret_cast<void*>(address);
}

std::string SharedLibraryName(const std::string& stem) { return stem + ".dll"; }

std::unique_ptr<LoadedLibrary> LoadProgramLibrary(const std::string& name) {
    // The usual search also looks in the current directory, and the desktop scanner moves
    // that into the folders it is shown: a library planted there under our name would be
    // loaded. The program's folder and the system's are all the search may look in, for
    // this and every later load of the process.
    ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    return std::make_unique<LoadedLibrary>(name);
}

}  // namespace korvax
