#include "transcode/Trash.h"

#include "transcode/OutputNaming.h"

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
#include <sys/stat.h>
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

bool exists(const QByteArray &path)
{
    struct stat status;
    return ::lstat(path.constData(), &status) == 0;
}

} // namespace

bool renameWithoutReplacing(const QString &from, const QString &to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // File systems without the flag: a hard link fails on an existing name too.
    if (::link(source.constData(), target.constData()) == 0) {
        ::unlink(source.constData());
        return true;
    }
    if (errno == EEXIST || exists(target)) {
        errno = EEXIST;
        return false;
    }
    return std::rename(source.constData(), target.constData()) == 0;
}

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
    const QString stem = OutputNaming::baseName(name);
    const QString extension = OutputNaming::extension(name);
    const QByteArray record =
        "[Trash Info]\nPath=" + QUrl::toPercentEncoding(source.absoluteFilePath(), "/") +
        "\nDeletionDate=" + QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8() + "\n";
    const int infoNameLimit = OutputNaming::NameLimit - 10; // ".trashinfo"
    for (int n = 1; n < 10000; ++n) {
        const QString trashedName =
            n == 1 && name.toUtf8().size() <= infoNameLimit
                ? name
                : OutputNaming::fittedName(stem, n == 1 ? QString() : QStringLiteral(".%1").arg(n),
                                           extension, infoNameLimit);
        const QString infoPath =
            info + QLatin1Char('/') + trashedName + QStringLiteral(".trashinfo");
        const QString trashedPath = files + QLatin1Char('/') + trashedName;
        // The name is ours only when neither the record nor the file exists: the record is
        // made exclusively, the file is never renamed over.
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
        if (written && renameWithoutReplacing(source.absoluteFilePath(), trashedPath))
            return trashedPath;
        const int reason = errno;
        QFile::remove(infoPath);
        if (written && reason == EEXIST)
            continue; // taken in the meantime
        errno = reason;
        return trashError(QStringLiteral("无法把“%1”移到回收站: %2")
                              .arg(path, QString::fromLocal8Bit(std::strerror(reason))));
    }
    return trashError(QStringLiteral("回收站中同名文件过多"));
}

bool restoreFromTrash(const QString &trashedPath, const QString &originalPath)
{
    if (!renameWithoutReplacing(trashedPath, originalPath))
        return false;
    const QFileInfo trashed(trashedPath);
    QFile::remove(trashed.dir().filePath(QStringLiteral("../info/") + trashed.fileName() +
                                         QStringLiteral(".trashinfo")));
    return true;
}
