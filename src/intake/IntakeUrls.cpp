#include "intake/IntakeUrls.h"

#include <QDir>
#include <QFileInfo>

QUrl markDirectory(const QUrl &url)
{
    if (!url.isLocalFile())
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
    return markDirectory(
        QUrl::fromLocalFile(QDir::cleanPath(QDir::current().absoluteFilePath(path))));
}
