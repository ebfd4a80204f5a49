#pragma once
// Folder names between the toolkit and the OS. The toolkit holds file names as text,
// decoded as UTF-8: a name that is not valid UTF-8 comes out changed, and the changed name
// names no folder at all. The folder list therefore keeps each folder's own bytes.
//
// Use on the user-interface thread (it reads the current directory).

#include <QByteArray>

namespace korvax {

// `folder`, as the command line gives it (bytes), as the list shows folders: a full path
// from the current directory, without a trailing '/' except "/" itself, "." and ".." and
// doubled slashes tidied away. No other byte is touched.
QByteArray FullFolderPath(const QByteArray& folder);

}  // namespace korvax
