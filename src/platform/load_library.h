#pragma once
// Binding a shared library and one function of it at run time.
//
// Thread safety: a LoadedLibrary belongs to its owner; the functions below have no state.

#include <memory>
#include <string>

namespace korvax {

class LoadedLibrary {
public:
    // Loads `name` by the loader's usual search (RUNPATH of the program included). On
    // failure, `error()` holds the loader's reason and `loaded()` is false.
    explicit LoadedLibrary(const std::string& name);
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;
    ~LoadedLibrary();

    bool loaded() const { return handle_ != nullptr; }
    const std::string& error() const { return error_; }

    // The address of `symbol`, or nullptr (then `error()` says why).
    void* find(const std::string& symbol);

private:
    void* handle_ = nullptr;
    std::string error_;
};

// The file name the system gives the shared library `stem`: "lib<stem>.so" on Linux,
// "<stem>.dll" on Windows.
std::string SharedLibraryName(const std::string& stem);

// Binds a library that comes with the program. A bare file name is looked for beside the
// program first (where the build tree keeps it), then in the private folder an installed
// program keeps it in on Linux, and nowhere else: never by the loader's search, which can
// reach the current folder; on Windows that is
// LoadLibraryA, its search kept to the program's folder and the system's for the rest of
// the process, so that a library planted in the current directory (a folder being
// browsed or checked) is never loaded. A path is loaded as it is. The result may not be
// loaded(): see its error().
std::unique_ptr<LoadedLibrary> LoadProgramLibrary(const std::string& name);

}  // namespace korvax
