#include "session/RunClock.h"

#include <cmath>

void RunClock::start(const QHash<int, double> &durations, double now)
{
    m_files.clear();
    for (auto it = durations.begin(); it != durations.end(); ++it)
        m_files.insert(it.key(), File{qMax(0.0, it.value()), 0, 0, false});
    m_started = m_lastFileStarted = now;
    m_lastFile = -1;
}

void RunClock::fileStarted(int position, double now)
{
    File &file = m_files[position];
    file.active = true;
    m_lastFile = position;
    m_lastFileStarted = now;
}

void RunClock::fileProgress(int position, double fraction, double speed)
{
    File &file = m_files[position];
    file.fraction = qBound(0.0, fraction, 1.0);
    file.speed = speed;
}

void RunClock::fileFinished(int position)
{
    File &file = m_files[position];
    file.active = false;
    file.fraction = 1;
}

RunTimes RunClock::times(double now) const
{
    RunTimes times;
    times.elapsed = qMax(0.0, now - m_started);
    times.fileElapsed = qMax(0.0, now - m_lastFileStarted);
    double done = 0;
    double left = 0;
    double speeds = 0;
    for (const File &file : m_files) {
        done += file.duration * file.fraction;
        left += file.duration * (1 - file.fraction);
        if (file.active)
            speeds += file.speed;
    }
    const File last = m_files.value(m_lastFile);
    if (last.active && last.speed > 0 && last.duration > 0)
        times.fileRemaining = last.duration * (1 - last.fraction) / last.speed;
    // The media converted per second of the run so far, once there is enough to go by;
    // ffmpeg's own speed before that.
    const double pace = times.elapsed >= 2 && done > 0 ? done / times.elapsed : speeds;
    if (pace > 0)
        times.remaining = left / pace;
    return times;
}

QString clockText(double seconds)
{
    const auto whole = static_cast<long long>(std::llround(qMax(0.0, seconds)));
    const long long hours = whole / 3600, minutes = whole / 60 % 60, rest = whole % 60;
    return hours > 0 ? QString::asprintf("%lld:%02lld:%02lld", hours, minutes, rest)
                     : QString::asprintf("%lld:%02lld", minutes, rest);
}
