#pragma once
// Binding a shared library and one function of it at run time.

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

}  // namespace korvax
