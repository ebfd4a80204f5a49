#include "monitor/cpu_load.h"

namespace korvax {

std::string CpuLoadLibraryName() { return SharedLibraryName("cpudll"); }

CpuLoadLibrary::CpuLoadLibrary(const std::string& name) : library_(LoadProgramLibrary(name)) {
    if (!library_->loaded()) throw LoadLibraryError("Cannot load " + name + ": " + library_->error());
    void* entry = library_->find("CpuUsage");
    if (entry == nullptr) throw LoadLibraryError("Cannot load " + name + ": " + library_->error());
    usage_ = reinterpret_cast<CpuUsageFunction>(entry);
}

}  // namespace korvax
