#include "gui/folder_bytes.h"

#include <QDir>
#include <QString>

#include <string>

#include "platform/system_info.h"

namespace korvax {

QByteArray FullFolderPath(const QByteArray& folder) {
    QByteArray path = folder;
    if (!path.startsWith('/')) {
        const std::string current = CurrentDirectory();
        if (!current.empty()) path = QByteArray::fromStdString(current) + '/' + path;
    }
    // QDir::cleanPath deals only in '/' and '.', which Latin-1 maps to themselves, and
    // Latin-1 maps every other byte to a character of its own: through it the path is
    // tidied and every other byte comes back as it was.
    return QDir::cleanPath(QString::fromLatin1(path)).toLatin1();
}

}  // namespace korvax
