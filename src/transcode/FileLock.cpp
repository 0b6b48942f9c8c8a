#include "transcode/FileLock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// Never blocks on a pipe or a device that happens to sit at the path.
constexpr int OpenFlags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

} // namespace

FileLock::~FileLock()
{
    release();
}

bool FileLock::take(const QString &path, Mode mode)
{
    release();
    return lock(::open(QFile::encodeName(path).constData(), O_RDONLY | OpenFlags), mode);
}

bool FileLock::takeAt(int folder, const QByteArray &name, Mode mode, std::optional<mode_t> create)
{
    release();
    const int flags = create ? O_RDWR | O_CREAT | O_EXCL : O_RDONLY;
    return lock(
        ::openat(folder, name.constData(), flags | O_NOFOLLOW | OpenFlags, create.value_or(0)),
        mode);
}

bool FileLock::lock(int descriptor, Mode mode)
{
    m_busy = false;
    if (descriptor < 0) {
        m_error = errno;
        return false;
    }
    if (::flock(descriptor, (mode == Mode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        m_error = errno;
        m_busy = m_error == EWOULDBLOCK;
        ::close(descriptor);
        return false;
    }
    m_descriptor = descriptor;
    m_error = 0;
    return true;
}

void FileLock::release()
{
    if (m_descriptor >= 0)
        ::close(std::exchange(m_descriptor, -1));
}

bool FileLock::isAt(int folder, const QByteArray &name) const
{
    struct stat held;
    struct stat named;
    return m_descriptor >= 0 && ::fstat(m_descriptor, &held) == 0 &&
           ::fstatat(folder, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}
