#include "intake/FolderListing.h"

#include "intake/NaturalOrder.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace {

QString escapedName(const QByteArray &name)
{
    QString text;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        text += byte < 0x80 ? QString(QLatin1Char(c)) : QString::asprintf("\\x%02X", byte);
    }
    return text;
}

bool isSymbolicLink(const QByteArray &folder, const dirent &entry)
{
    if (entry.d_type != DT_UNKNOWN)
        return entry.d_type == DT_LNK;
    struct stat status;
    return ::lstat((folder + '/' + entry.d_name).constData(), &status) == 0 &&
           S_ISLNK(status.st_mode);
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
        if (name.startsWith('.') || isSymbolicLink(folder, *entry))
            continue;
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = utf8.decode(name);
        if (utf8.hasError())
            listing.undecodableNames << escapedName(name);
        else
            names << decoded;
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
