#include "session/RunClock.h"

#include "session/JobQueue.h"

#include <cmath>

namespace {

// How quickly the estimate follows a new reading: it moves about two thirds of the way in
// this many seconds.
constexpr double SmoothingSeconds = 5;
// The measured pace is trusted once it covers this much time.
constexpr double PaceSeconds = 2;

} // namespace

void RunClock::start(double now)
{
    *this = RunClock();
    m_started = m_sampledAt = now;
}

void RunClock::sample(const JobQueue &queue, double now)
{
    const auto [total, left] = queue.mediaSeconds();
    const double done = total - left;

    // ffmpeg's own speeds, and what the file shown as at work still needs at its speed.
    double speeds = 0;
    std::optional<double> fileRemaining;
    const int working = queue.workingRow();
    for (int row = 0; row < queue.rowCount(); ++row) {
        const JobRecord &job = queue.job(row);
        if (!queue.isInRun(row) || (job.status != JobRecord::Status::Converting &&
                                    job.status != JobRecord::Status::Checking))
            continue;
        speeds += job.figures.speed;
        const double duration = queue.files().at(row).duration;
        if (row == working && job.figures.speed > 0 && duration > 0)
            fileRemaining = duration * (1 - qBound(0.0, job.fraction, 1.0)) / job.figures.speed;
    }
    m_fileStartedAt = working >= 0 ? queue.job(working).startedAt : -1;

    if (m_firstProgressAt < 0 && done > 0) {
        m_firstProgressAt = now;
        m_doneAtFirstProgress = done;
    }
    const double measured = now - m_firstProgressAt;
    const double pace =
        m_firstProgressAt >= 0 && measured >= PaceSeconds && done > m_doneAtFirstProgress
            ? (done - m_doneAtFirstProgress) / measured
            : speeds;

    std::optional<double> estimate;
    if (left <= 0)
        estimate = 0.0;
    else if (pace > 0)
        estimate = left / pace;
    if (estimate && fileRemaining)
        estimate = std::max(*estimate, *fileRemaining);

    if (estimate && m_remaining) {
        const double step = now - m_sampledAt;
        const double expected = std::max(0.0, *m_remaining - step);
        const double weight = 1 - std::exp(-step / SmoothingSeconds);
        estimate = expected + weight * (*estimate - expected);
        if (fileRemaining)
            estimate = std::max(*estimate, *fileRemaining);
    }
    if (estimate || left <= 0)
        m_remaining = estimate;
    m_fileRemaining = fileRemaining;
    m_sampledAt = now;
}

RunTimes RunClock::times(double now) const
{
    RunTimes times;
    times.elapsed = std::max(0.0, now - m_started);
    if (m_fileStartedAt >= 0)
        times.fileElapsed = std::max(0.0, now - m_started - m_fileStartedAt);
    const double since = std::max(0.0, now - m_sampledAt);
    if (m_remaining)
        times.remaining = std::max(0.0, *m_remaining - since);
    if (m_fileRemaining)
        times.fileRemaining = std::max(0.0, *m_fileRemaining - since);
    return times;
}

QString clockText(double seconds)
{
    const auto whole = static_cast<long long>(std::llround(qMax(0.0, seconds)));
    const long long hours = whole / 3600, minutes = whole / 60 % 60, rest = whole % 60;
    return hours > 0 ? QString::asprintf("%lld:%02lld:%02lld", hours, minutes, rest)
                     : QString::asprintf("%lld:%02lld", minutes, rest);
}
