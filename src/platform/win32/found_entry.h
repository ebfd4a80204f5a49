#pragma once
// What a directory search found, by its attributes and reparse tag alone: the rule the
// Win32 listing applies to every entry, apart so that entries Wine cannot make (junctions,
// cloud placeholders, application aliases) are tested with the values Windows documents.

#include <cstdint>

#include "platform/directory_walk.h"

namespace korvax::win32 {

// `attributes` as FindFirstFileExW gives them (dwFileAttributes); `reparseTag` its
// dwReserved0, which holds the tag when FILE_ATTRIBUTE_REPARSE_POINT is set.
//
// - a reparse point that stands for another name (symbolic link, junction, mount point),
//   or one whose tag is unknown on a folder: SymbolicLink, never entered nor read;
// - a file or folder whose contents are elsewhere (offline, recalled on open or on access:
//   cloud placeholders) or an application alias: NotLocal, never read;
// - otherwise a folder is a Directory, a device Other, anything else a RegularFile (files
//   with other reparse points, such as deduplicated or compressed ones, read normally).
EntryKind KindOfFoundEntry(std::uint32_t attributes, std::uint32_t reparseTag);

}  // namespace korvax::win32
