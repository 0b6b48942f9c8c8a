#include "transcode/Trash.h"

#include "transcode/FileMoves.h"
#include "transcode/OutputNaming.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

Error trashError(int code, const QString &what)
{
    return Error{QStringLiteral("Trash"), code, what};
}

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The home Trash, or none where no home is set: a Trash under "/" would be nobody's.
std::optional<QString> homeTrash()
{
    const QString configured = qEnvironmentVariable("XDG_DATA_HOME");
    if (QDir::isAbsolutePath(configured))
        return QDir::cleanPath(configured) + QStringLiteral("/Trash");
    const QString home = qEnvironmentVariable("HOME");
    if (QDir::isAbsolutePath(home) && QDir::cleanPath(home) != u"/")
        return QDir::cleanPath(home) + QStringLiteral("/.local/share/Trash");
    return std::nullopt;
}

// Makes the folders missing on the way to `path` as the XDG base-directory rules want
// them: for the user alone.
void makePrivatePath(const QString &path)
{
    if (QFileInfo::exists(path))
        return;
    const QString parent = QFileInfo(path).path();
    if (parent != path)
        makePrivatePath(parent);
    ::mkdir(QFile::encodeName(path).constData(), 0700);
}

// The device `path` is on, or would be on once made.
std::optional<dev_t> deviceOf(QString path)
{
    for (;;) {
        struct stat status;
        if (::stat(QFile::encodeName(path).constData(), &status) == 0)
            return status.st_dev;
        const QString parent = QFileInfo(path).path();
        if (parent == path)
            return std::nullopt;
        path = parent;
    }
}

// `name` in `parent` as a folder of ours that nobody else may enter, made so where it is
// missing; not open where something else is there (another's folder, a link, a file).
Descriptor openPrivateFolder(int parent, const QByteArray &name)
{
    const bool made = ::mkdirat(parent, name.constData(), 0700) == 0;
    Descriptor folder = openFolder(parent, name, false);
    struct stat status;
    if (!folder.isOpen() || ::fstat(folder.fd(), &status) != 0)
        return Descriptor();
    if (status.st_uid != ::geteuid())
        return Descriptor();
    if (made && ::fchmod(folder.fd(), 0700) == 0) // whatever the umask
        status.st_mode = (status.st_mode & ~07777) | 0700;
    return (status.st_mode & 07777) == 0700 ? std::move(folder) : Descriptor();
}

// A Trash at the top of a volume (not the home one): "$topdir/.Trash/$uid" where an
// administrator made "$topdir/.Trash" for everyone (sticky, not a link), else
// "$topdir/.Trash-$uid"; either only as a private folder of ours.
std::optional<std::pair<QString, Descriptor>> volumeTrash(const QString &topdir)
{
    const Descriptor top = openFolder(AT_FDCWD, QFile::encodeName(topdir), true);
    if (!top.isOpen())
        return std::nullopt;
    const QByteArray uid = QByteArray::number(::geteuid());
    const Descriptor shared = openFolder(top.fd(), ".Trash", false);
    struct stat status;
    if (shared.isOpen() && ::fstat(shared.fd(), &status) == 0 && (status.st_mode & S_ISVTX)) {
        if (Descriptor own = openPrivateFolder(shared.fd(), uid); own.isOpen())
            return std::pair{
                QDir(topdir).filePath(QStringLiteral(".Trash/") + QString::fromLatin1(uid)),
                std::move(own)};
    }
    const QByteArray name = ".Trash-" + uid;
    if (Descriptor own = openPrivateFolder(top.fd(), name); own.isOpen())
        return std::pair{QDir(topdir).filePath(QString::fromLatin1(name)), std::move(own)};
    return std::nullopt;
}

struct TrashFolders
{
    QString path;
    Descriptor files;
    Descriptor info;
};

// The Trash that can take the file on `device` by a rename, with its two folders open.
Result<TrashFolders> trashFor(const QString &path, dev_t device)
{
    QString trash;
    Descriptor folder;
    const std::optional<QString> home = homeTrash();
    if (home && deviceOf(*home) == device) {
        makePrivatePath(*home);
        trash = *home;
        folder = openFolder(AT_FDCWD, QFile::encodeName(trash), true);
    } else {
        const QString topdir = QStorageInfo(QFileInfo(path).absolutePath()).rootPath();
        if (!home && (topdir.isEmpty() || topdir == u"/"))
            return trashError(ENOENT, QStringLiteral("没有设置 HOME，找不到可用的回收站"));
        std::optional<std::pair<QString, Descriptor>> volume = volumeTrash(topdir);
        if (!volume)
            return trashError(EPERM,
                              QStringLiteral("“%1”所在的卷上没有可用的回收站（%2 "
                                             "不存在或不是本用户私有的文件夹）")
                                  .arg(path, QDir(topdir).filePath(
                                                 QStringLiteral(".Trash-%1").arg(::geteuid()))));
        trash = volume->first;
        folder = std::move(volume->second);
    }
    struct stat status;
    if (!folder.isOpen() || ::fstat(folder.fd(), &status) != 0)
        return trashError(errno, QStringLiteral("无法建立回收站“%1”").arg(trash));
    if (status.st_dev != device)
        return trashError(EXDEV,
                          QStringLiteral("回收站“%1”与“%2”不在同一个文件系统上").arg(trash, path));
    // Another user's Trash (a HOME kept through sudo) would hand the file to that user.
    const auto notOurs = [&trash] {
        return trashError(EPERM, QStringLiteral("回收站“%1”不属于当前用户").arg(trash));
    };
    if (status.st_uid != ::geteuid())
        return notOurs();
    TrashFolders folders{trash, Descriptor(), Descriptor()};
    for (const auto &[name, open] : {std::pair{QByteArray("files"), &folders.files},
                                     std::pair{QByteArray("info"), &folders.info}}) {
        ::mkdirat(folder.fd(), name.constData(), 0700);
        *open = openFolder(folder.fd(), name, false);
        if (!open->isOpen())
            return trashError(errno, QStringLiteral("无法建立回收站“%1”").arg(trash));
        if (::fstat(open->fd(), &status) != 0 || status.st_uid != ::geteuid())
            return notOurs();
    }
    return folders;
}

} // namespace

bool renameWithoutReplacing(const QString &from, const QString &to)
{
    return renameWithoutReplacing(AT_FDCWD, QFile::encodeName(from), AT_FDCWD,
                                  QFile::encodeName(to));
}

Result<QString> moveToTrash(const QString &path, const QString &originalPath)
{
    const QByteArray current = QFile::encodeName(path);
    struct stat status;
    if (::lstat(current.constData(), &status) != 0)
        return trashError(errno, QStringLiteral("“%1”不存在").arg(path));
    const QString original =
        QFileInfo(originalPath.isEmpty() ? path : originalPath).absoluteFilePath();
    const Result<TrashFolders> trash = trashFor(original, status.st_dev);
    if (!trash)
        return trash.error();

    const QString name = QFileInfo(original).fileName();
    const QString stem = OutputNaming::baseName(name);
    const QString extension = OutputNaming::extension(name);
    const QByteArray record =
        "[Trash Info]\nPath=" + QFile::encodeName(original).toPercentEncoding("/") +
        "\nDeletionDate=" +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toUtf8() +
        "\n";
    const int infoNameLimit = OutputNaming::NameLimit - 10; // ".trashinfo"
    for (int n = 1; n < 10000; ++n) {
        const QString trashedName =
            n == 1 && name.toUtf8().size() <= infoNameLimit
                ? name
                : OutputNaming::fittedName(stem, n == 1 ? QString() : QStringLiteral(".%1").arg(n),
                                           extension, infoNameLimit);
        const QByteArray trashed = QFile::encodeName(trashedName);
        const QByteArray infoName = trashed + ".trashinfo";
        // The name is ours only when neither the record nor the file exists: the record is
        // made exclusively, the file is never renamed over.
        const int fd = ::openat(trash->info.fd(), infoName.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return trashError(errno, QStringLiteral("无法写入回收站“%1”").arg(trash->path));
        }
        const bool written =
            ::write(fd, record.constData(), static_cast<size_t>(record.size())) == record.size();
        ::close(fd);
        if (written && renameWithoutReplacing(AT_FDCWD, current, trash->files.fd(), trashed))
            return trash->path + QStringLiteral("/files/") + trashedName;
        const int reason = written ? errno : EIO;
        ::unlinkat(trash->info.fd(), infoName.constData(), 0);
        if (reason == EEXIST)
            continue; // taken in the meantime
        return trashError(reason,
                          QStringLiteral("无法把“%1”移到回收站: %2").arg(path, systemText(reason)));
    }
    return trashError(EEXIST, QStringLiteral("回收站中同名文件过多"));
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
