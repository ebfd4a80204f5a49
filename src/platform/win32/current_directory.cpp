#include "platform/current_directory.h"

#include <windows.h>

#include "platform/failure.h"
#include "platform/wide_text.h"
#include "platform/win32/system_path.h"

namespace korvax {

void ChangeCurrentDirectory(const std::string& folder) {
    // The current directory cannot be a "\\?\" path: the name goes to the call as it is.
    const std::optional<std::u16string> wide = WideFromUtf8(folder);
    if (!wide) throw Failure("Cannot change to the folder " + folder + ": the name is not valid text");
    const std::wstring units(wide->begin(), wide->end());
    if (!::SetCurrentDirectoryW(units.c_str())) {
        throw Failure("Cannot change to the folder " + folder + ": " + win32::SystemMessage(::GetLastError()));
    }
}

}  // namespace korvax
