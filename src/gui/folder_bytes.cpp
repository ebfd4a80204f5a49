#include "gui/folder_bytes.h"

#include <QDir>
#include <QFile>

#include <optional>
#include <string>

#include "platform/directory_walk.h"
#include "platform/system_info.h"

namespace korvax {
namespace {

// The entry of `folder` (bytes, ending with '/') that stands for `name` as the toolkit
// shows it, if any.
std::optional<QByteArray> EntryShownAs(const QByteArray& folder, const QString& name) {
    const QByteArray exact = QFile::encodeName(name);
    std::optional<QByteArray> lookalike;
    DirectoryListing listing(folder.toStdString());
    while (const auto entry = listing.next()) {
        const QByteArray bytes = QByteArray::fromStdString(entry->name);
        if (bytes == exact) return exact;
        if (QFile::decodeName(bytes) == name && (!lookalike || bytes < *lookalike)) lookalike = bytes;
    }
    return lookalike;
}

}  // namespace

QByteArray FullFolderPath(const QByteArray& folder) {
    QByteArray path = folder;
    if (!path.startsWith('/')) {
        const std::string current = CurrentDirectory();
        if (!current.empty()) path = QByteArray::fromStdString(current) + '/' + path;
    }
    // QDir::cleanPath deals only in '/' and '.', which Latin-1 maps to themselves and every
    // other byte to a character of its own: through Latin-1 the path is tidied and every
    // other byte comes back as it was.
    return QDir::cleanPath(QString::fromLatin1(path)).toLatin1();
}

QByteArray FolderBytes(const QString& shown) {
    if (!shown.startsWith(QLatin1Char('/'))) return QFile::encodeName(shown);
    QByteArray path;
    for (const QString& name : QDir::cleanPath(shown).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        const std::optional<QByteArray> entry = EntryShownAs(path + '/', name);
        path += '/' + (entry ? *entry : QFile::encodeName(name));
    }
    return path.isEmpty() ? QByteArray("/") : path;
}

}  // namespace korvax
