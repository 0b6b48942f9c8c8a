#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <sys/types.h>

// An advisory lock (flock) on one file, held while the run reads, writes or replaces it, so
// that two runs never work on the same file at once. Taken without waiting; released when
// the lock goes.
class FileLock
{
public:
    enum class Mode { Shared, Exclusive };

    FileLock() = default;
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
    ~FileLock();

    // Opens the file at `path`, following links, and locks it. False when it cannot be opened
    // or another holds a lock that excludes ours; `wasBusy` tells which.
    bool take(const QString &path, Mode mode);
    // The same for `name` in the open `folder`, never through a link: with `create`, a new
    // file with those permissions (less the umask), never one that was there (EEXIST).
    bool takeAt(int folder, const QByteArray &name, Mode mode,
                std::optional<mode_t> create = std::nullopt);
    void release();

    // Whether `name` in `folder` is still the locked file, not another put in its place.
    bool isAt(int folder, const QByteArray &name) const;

    bool wasBusy() const { return m_busy; }
    int systemError() const { return m_error; }
    int descriptor() const { return m_descriptor; }

private:
    bool lock(int descriptor, Mode mode);

    int m_descriptor = -1;
    bool m_busy = false;
    int m_error = 0;
};
