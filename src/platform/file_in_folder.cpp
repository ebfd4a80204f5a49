#include "platform/file_in_folder.h"

#include <utility>

namespace korvax {

FileChangedDuringCheck::FileChangedDuringCheck(const std::string& path)
    : Failure("File changed during the check, nothing written: " + path) {}

WriteRefused::WriteRefused(const std::string& path, std::string reason)
    : Failure(CannotCreateFile(path).what()), reason_(std::move(reason)) {}

FileInUse::FileInUse(const std::string& path)
    : WriteRefused(path, "it is in use by another program (a running program, or one that keeps others from "
                         "replacing it): nothing was written, and nothing is left to be done later") {}

}  // namespace korvax
