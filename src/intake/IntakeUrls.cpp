#include "intake/IntakeUrls.h"

#include "intake/ExactNames.h"

#include <QDir>
#include <QFileInfo>

QUrl markDirectory(const QUrl &url)
{
    // A name Qt would decode lossily is left for intake to refuse.
    if (!url.isLocalFile() || !ExactNames::isUtf8(ExactNames::pathBytes(url)))
        return url;
    const QString path = url.toLocalFile();
    if (path.endsWith(QLatin1Char('/')) || !QFileInfo(path).isDir())
        return url;
    return QUrl::fromLocalFile(path + QLatin1Char('/'));
}

QList<QUrl> markDirectories(const QList<QUrl> &urls)
{
    QList<QUrl> marked;
    marked.reserve(urls.size());
    for (const QUrl &url : urls)
        marked << markDirectory(url);
    return marked;
}

QUrl intakeUrlFromPath(const QString &path)
{
    const QString absolute = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    if (ExactNames::holdsOddBytes(absolute))
        return ExactNames::fileUrl(ExactNames::encode(absolute));
    return markDirectory(QUrl::fromLocalFile(absolute));
}
