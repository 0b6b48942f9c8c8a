#include "transcode/FileMoves.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Descriptor::~Descriptor()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

Descriptor openFolder(int parent, const QByteArray &name, bool followLink)
{
    return Descriptor(::openat(parent, name.constData(),
                               O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW)));
}

bool renameWithoutReplacing(int fromFolder, const QByteArray &from, int toFolder,
                            const QByteArray &to)
{
    if (::renameat2(fromFolder, from.constData(), toFolder, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A hard link fails on an existing name too.
    if (::linkat(fromFolder, from.constData(), toFolder, to.constData(), 0) == 0) {
        ::unlinkat(fromFolder, from.constData(), 0);
        return true;
    }
    struct stat status;
    if (errno == EEXIST || ::fstatat(toFolder, to.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return false;
    }
    // Neither: a plain rename, right after the look above.
    return ::renameat(fromFolder, from.constData(), toFolder, to.constData()) == 0;
}

bool exchangeNames(int folder, const QByteArray &first, const QByteArray &second)
{
    if (::renameat2(folder, first.constData(), folder, second.constData(), RENAME_EXCHANGE) == 0)
        return true;
    if (errno == ENOSYS)
        errno = EINVAL;
    return false;
}
