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
    // The search starts in the program's folder. The current directory comes later in it,
    // and the desktop scanner moves that into the folders it is shown: an empty DLL
    // directory takes it out of the search for the whole process.
    ::SetDllDirectoryW(L"");
    return std::make_unique<LoadedLibrary>(name);
}

}  // namespace korvax
