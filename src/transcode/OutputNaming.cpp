#include "transcode/OutputNaming.h"

#include "model/FileUrls.h"

#include <QDir>
#include <QFileInfo>

namespace OutputNaming {

QString outputDirectory(const QUrl &firstFile, const QString &codec)
{
    return QFileInfo(filePath(firstFile)).dir().filePath(QStringLiteral("已转码_") + codec);
}

QString outputExtension(const QString &codec, const QString &container)
{
    return codec.contains(u"ProRes") ? QStringLiteral("mov") : container.toLower();
}

QString baseName(const QUrl &file)
{
    const QString name = lastPathComponent(file);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.left(dot) : name;
}

QString unclaimedPath(const QString &path, const QSet<QString> &taken)
{
    if (!taken.contains(path))
        return path;
    const QFileInfo info(path);
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    for (int n = 2;; ++n) {
        const QString candidate = info.dir().filePath(
            QStringLiteral("%1 (%2)").arg(stem, QString::number(n)) + extension);
        if (!taken.contains(candidate))
            return candidate;
    }
}

QString partialPath(const QString &finalPath)
{
    // Stay within the 255 bytes a file name may have.
    QString name = QFileInfo(finalPath).fileName();
    while (name.toUtf8().size() > 200)
        name.chop(name.back().isLowSurrogate() ? 2 : 1);
    return QFileInfo(finalPath).dir().filePath(QLatin1Char('.') + name +
                                               QStringLiteral(".partial"));
}

} // namespace OutputNaming
