#include "transcode/Trash.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QUrl>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

Error trashError(const QString &what)
{
    return Error{QStringLiteral("Trash"), errno, what};
}

QString dataHome()
{
    const QString configured = qEnvironmentVariable("XDG_DATA_HOME");
    if (QDir::isAbsolutePath(configured))
        return configured;
    return QDir::homePath() + QStringLiteral("/.local/share");
}

// The home Trash serves files on its own file system; others use one at their mount's top.
QString trashFor(const QFileInfo &source)
{
    QString existing = dataHome();
    while (!QFileInfo::exists(existing))
        existing = QFileInfo(existing).path();
    const QStorageInfo sourceStorage(source.absolutePath());
    if (QStorageInfo(existing).rootPath() == sourceStorage.rootPath())
        return dataHome() + QStringLiteral("/Trash");
    return QDir(sourceStorage.rootPath()).filePath(QStringLiteral(".Trash-%1").arg(::getuid()));
}

bool makePrivateFolder(const QString &path)
{
    if (QFileInfo(path).isDir())
        return true;
    return QDir().mkpath(path) &&
           QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner);
}

} // namespace

Result<QString> moveToTrash(const QString &path)
{
    const QFileInfo source(path);
    if (!source.exists() && !source.isSymLink())
        return trashError(QStringLiteral("“%1”不存在").arg(path));
    const QString trash = trashFor(source);
    const QString files = trash + QStringLiteral("/files");
    const QString info = trash + QStringLiteral("/info");
    if (!makePrivateFolder(trash) || !makePrivateFolder(files) || !makePrivateFolder(info))
        return trashError(QStringLiteral("无法建立回收站“%1”").arg(trash));

    const QString name = source.fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    const QByteArray record =
        "[Trash Info]\nPath=" + QUrl::toPercentEncoding(source.absoluteFilePath(), "/") +
        "\nDeletionDate=" + QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8() + "\n";
    for (int n = 1; n < 10000; ++n) {
        const QString trashedName =
            n == 1 ? name : QStringLiteral("%1.%2").arg(stem, QString::number(n)) + extension;
        const QString infoPath =
            info + QLatin1Char('/') + trashedName + QStringLiteral(".trashinfo");
        // The info file is made first and exclusively: it reserves the name.
        const int fd = ::open(QFile::encodeName(infoPath).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return trashError(QStringLiteral("无法写入回收站“%1”").arg(trash));
        }
        const bool written =
            ::write(fd, record.constData(), static_cast<size_t>(record.size())) == record.size();
        ::close(fd);
        const QString trashedPath = files + QLatin1Char('/') + trashedName;
        if (!written || std::rename(QFile::encodeName(source.absoluteFilePath()).constData(),
                                    QFile::encodeName(trashedPath).constData()) != 0) {
            const Error error =
                trashError(QStringLiteral("无法把“%1”移到回收站: %2")
                               .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
            QFile::remove(infoPath);
            return error;
        }
        return trashedPath;
    }
    return trashError(QStringLiteral("回收站中同名文件过多"));
}
