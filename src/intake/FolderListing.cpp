#include "intake/FolderListing.h"

#include "intake/ExactNames.h"
#include "intake/NaturalOrder.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace {

// The entry's type, looked up where the folder's listing does not tell it.
unsigned char typeOf(const QByteArray &folder, const dirent &entry)
{
    if (entry.d_type != DT_UNKNOWN)
        return entry.d_type;
    struct stat status;
    if (::lstat((folder + '/' + entry.d_name).constData(), &status) != 0)
        return DT_UNKNOWN;
    return S_ISLNK(status.st_mode) ? DT_LNK : S_ISDIR(status.st_mode) ? DT_DIR : DT_REG;
}

} // namespace

FolderListing listFolder(const QString &path)
{
    FolderListing listing;
    const QByteArray folder = QFile::encodeName(path);
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return listing;
    QStringList names;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name.startsWith('.'))
            continue;
        const unsigned char type = typeOf(folder, *entry);
        if (type == DT_LNK)
            continue;
        if (!ExactNames::isUtf8(name))
            listing.undecodableNames
                << ExactNames::readable(name) + (type == DT_DIR ? QStringLiteral("/") : QString());
        else
            names << QString::fromUtf8(name);
    }
    ::closedir(dir);
    // Sorted by name alone: a folder may hold many thousands of entries.
    std::sort(names.begin(), names.end(), naturalLess);
    const QDir parent(path);
    listing.entries.reserve(names.size());
    for (const QString &name : std::as_const(names))
        listing.entries << QFileInfo(parent.filePath(name));
    listing.undecodableNames.sort();
    return listing;
}
