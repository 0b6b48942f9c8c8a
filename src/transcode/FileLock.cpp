#include "transcode/FileLock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

FileLock::~FileLock()
{
    release();
}

bool FileLock::take(const QString &path, Mode mode, bool create)
{
    release();
    m_busy = false;
    // Never blocks on a pipe or a device that happens to sit at the path.
    const int flags = (create ? O_RDWR | O_CREAT : O_RDONLY) | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    const int descriptor = ::open(QFile::encodeName(path).constData(), flags, 0666);
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
