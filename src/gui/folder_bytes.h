#pragma once
// Folder names between the toolkit and the OS. The toolkit holds file names as text,
// decoded as UTF-8; a name that is not valid UTF-8 comes out changed, and the changed name
// names no folder at all. The folder list therefore keeps each folder's own bytes, and
// these two functions find them.
//
// Use on the user-interface thread (FullFolderPath reads the current directory).

#include <QByteArray>
#include <QString>

namespace korvax {

// `folder`, as the command line gives it (bytes), as the list shows folders: a full path
// from the current directory, without a trailing '/' except "/" itself, "." and ".." and
// doubled slashes tidied away. No other byte is touched.
QByteArray FullFolderPath(const QByteArray& folder);

// The bytes of the folder the toolkit shows as the full path `shown`. Each name along the
// path is looked up among the entries of the folder above it: an entry with exactly the
// name's UTF-8 bytes wins, else an entry the toolkit shows as that name (the first in byte
// order, should several look alike); where neither is found (a folder that cannot be
// listed) the name's UTF-8 bytes are used.
QByteArray FolderBytes(const QString& shown);

}  // namespace korvax
