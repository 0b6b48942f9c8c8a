#pragma once

#include <QString>

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

    // Opens `path`, creating it empty when `create`, and locks it. False when it cannot be
    // opened or another holds a lock that excludes ours; `wasBusy` tells which.
    bool take(const QString &path, Mode mode, bool create = false);
    void release();

    bool wasBusy() const { return m_busy; }
    int systemError() const { return m_error; }
    int descriptor() const { return m_descriptor; }

private:
    int m_descriptor = -1;
    bool m_busy = false;
    int m_error = 0;
};
