#include "domain/FileUrls.h"

QString filePath(const QUrl &url)
{
    QString path = url.isLocalFile() ? url.toLocalFile() : url.path();
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

QString lastPathComponent(const QUrl &url)
{
    const QString path = filePath(url);
    if (path == u"/")
        return path;
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString pathExtension(const QUrl &url)
{
    const QString name = lastPathComponent(url);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1);
}

bool hasDirectoryPath(const QUrl &url)
{
    return url.path().endsWith(QLatin1Char('/'));
}
