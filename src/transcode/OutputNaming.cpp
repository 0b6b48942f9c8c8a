#include "transcode/OutputNaming.h"

#include "domain/Choices.h"
#include "domain/FileUrls.h"

#include <QDir>
#include <QFileInfo>

namespace OutputNaming {

QString outputDirectory(const QUrl &firstFile, const QString &codec)
{
    return QFileInfo(filePath(firstFile)).dir().filePath(OutputFolderPrefix + codec);
}

QString outputExtension(const QString &codec, const QString &container)
{
    return codec.contains(u"ProRes") ? QStringLiteral("mov") : container.toLower();
}

QString baseName(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? fileName.left(dot) : fileName;
}

QString extension(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? fileName.mid(dot + 1) : QString();
}

QString fittedName(const QString &stem, const QString &suffix, const QString &extension, int limit)
{
    const QString tail = suffix + (extension.isEmpty() ? QString() : QLatin1Char('.') + extension);
    QString kept = stem;
    qsizetype bytes = (kept + tail).toUtf8().size();
    while (bytes > limit && !kept.isEmpty()) {
        // Whole characters only: a surrogate pair goes as one.
        const qsizetype cut = kept.size() >= 2 && kept.back().isLowSurrogate() ? 2 : 1;
        bytes -= kept.right(cut).toUtf8().size();
        kept.chop(cut);
    }
    return kept + tail;
}

QString partialPath(const QString &finalPath, const QString &tag)
{
    const QFileInfo info(finalPath);
    // Names made by the run fit without the tag; a source's own name may not.
    return info.dir().filePath(QLatin1Char('.') +
                               fittedName(info.fileName(),
                                          tag.isEmpty() ? QString() : QLatin1Char('.') + tag,
                                          QStringLiteral("partial"), NameLimit - 1));
}

} // namespace OutputNaming
