#pragma once
// A bridge, not a design: the declarations of the file-replacement calls
// (platform/file_write_calls.h) still speak of POSIX user and group ids, which mingw-w64
// does not define. With these, every layer's headers compile for Windows; the calls
// themselves have no Win32 side yet, so nothing that replaces a file links there. This
// goes once those declarations take Windows' own notion of an owner.

#ifdef __cplusplus
using uid_t = unsigned int;
using gid_t = unsigned int;
#endif
