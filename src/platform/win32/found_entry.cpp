#include "platform/win32/found_entry.h"

#include <windows.h>

namespace korvax::win32 {
namespace {

// Not every mingw-w64 header names these yet; the values are Windows' own.
constexpr std::uint32_t kRecallOnOpen = 0x00040000;        // FILE_ATTRIBUTE_RECALL_ON_OPEN
constexpr std::uint32_t kRecallOnDataAccess = 0x00400000;  // FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS
constexpr std::uint32_t kAppExecLink = 0x8000001B;         // IO_REPARSE_TAG_APPEXECLINK
constexpr std::uint32_t kCloudTag = 0x9000001A;            // IO_REPARSE_TAG_CLOUD, and CLOUD_1..F
constexpr std::uint32_t kCloudTagMask = 0xFFFF0FFF;        // the bits CLOUD_1..F add

bool NameSurrogate(std::uint32_t tag) { return (tag & 0x20000000) != 0; }  // IsReparseTagNameSurrogate
bool CloudTag(std::uint32_t tag) { return (tag & kCloudTagMask) == kCloudTag; }

}  // namespace

EntryKind KindOfFoundEntry(std::uint32_t attributes, std::uint32_t reparseTag) {
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool reparse = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if ((attributes & (FILE_ATTRIBUTE_OFFLINE | kRecallOnOpen | kRecallOnDataAccess)) != 0) return EntryKind::NotLocal;
    if (reparse) {
        if (NameSurrogate(reparseTag)) return EntryKind::SymbolicLink;
        if (CloudTag(reparseTag) || reparseTag == kAppExecLink) return EntryKind::NotLocal;
        // A tag no one documents (Wine shows a Linux link as tag 0): not followed either.
        if (folder || reparseTag == 0) return EntryKind::SymbolicLink;
    }
    if (folder) return EntryKind::Directory;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return EntryKind::Other;
    return EntryKind::RegularFile;
}

}  // namespace korvax::win32
