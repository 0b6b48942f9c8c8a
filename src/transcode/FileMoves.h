#pragma once

#include <QByteArray>

#include <utility>

// An open folder (or file) descriptor, closed when it goes.
class Descriptor
{
public:
    explicit Descriptor(int fd = -1)
        : m_fd(fd)
    {}
    Descriptor(Descriptor &&other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    {}
    Descriptor &operator=(Descriptor &&other) noexcept
    {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    ~Descriptor();

    int fd() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }

private:
    int m_fd;
};

// `name` in `parent` as a folder, following a link there only when `followLink`.
Descriptor openFolder(int parent, const QByteArray &name, bool followLink);

// Renames that never lose a file, by names relative to open folders (AT_FDCWD for the current
// one), so that a folder swapped for a link meanwhile is not followed.

// Renames only if nothing is at `to`; EEXIST otherwise. Where the file system has no such
// rename, a hard link stands in for it.
bool renameWithoutReplacing(int fromFolder, const QByteArray &from, int toFolder,
                            const QByteArray &to);

// Swaps two names at once, so that neither is ever missing. EINVAL where the file system has
// no such rename: there is no safe stand-in, the caller decides.
bool exchangeNames(int folder, const QByteArray &first, const QByteArray &second);
