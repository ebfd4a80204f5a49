#include "monitor/cpu_load.h"

namespace korvax {

CpuLoadLibrary::CpuLoadLibrary(const std::string& name) : library_(std::make_unique<LoadedLibrary>(name)) {
    if (!library_->loaded()) throw LoadLibraryError("Cannot load " + name + ": " + library_->error());
    void* entry = library_->find("CpuUsage");
    if (entry == nullptr) throw LoadLibraryError("Cannot load " + name + ": " + library_->error());
    usage_ = reinterpret_cast<CpuUsageFunction>(entry);
}

}  // namespace korvax
