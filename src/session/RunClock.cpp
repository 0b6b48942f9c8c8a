#include "session/RunClock.h"

#include "session/JobQueue.h"

#include <cmath>

namespace {

// ffmpeg reports twice a second; a longer silence is a start or an end (its encoder filling
// or emptying), or a stall, not the pace.
constexpr double SteadyGapSeconds = 2;
// Nothing is foretold before the pace has been watched this long.
constexpr double PaceSeconds = 1.5;
// A file's own pace weighs as much as the run's once it has been watched this long.
constexpr double PriorSeconds = 3;
// The pace of late is that of about the last this many seconds of conversion.
constexpr double RecentSeconds = 15;

bool isWorking(JobRecord::Status status)
{
    return status == JobRecord::Status::Converting || status == JobRecord::Status::Checking;
}

} // namespace

void RunClock::Pace::add(const Pace &step, bool fading)
{
    if (fading) {
        const double kept = std::exp(-step.seconds / RecentSeconds);
        amount *= kept;
        seconds *= kept;
    }
    amount += step.amount;
    seconds += step.seconds;
}

void RunClock::start(double now)
{
    *this = RunClock();
    m_started = m_sampledAt = now;
}

void RunClock::sample(const JobQueue &queue, double now)
{
    m_sampledAt = now;
    const QList<double> media = queue.weights();

    // Work is media seconds times the pixels a second of the result; a file of unknown rate
    // counts as one of the run's usual.
    double knownRates = 0;
    int known = 0;
    for (int row = 0; row < queue.rowCount(); ++row) {
        if (queue.isInRun(row)) {
            knownRates += queue.pixelRate(row);
            known += queue.pixelRate(row) > 0;
        }
    }
    const double usualRate = known > 0 ? knownRates / known : 1.0;
    const auto rateOf = [usualRate](double pixelRate) {
        return pixelRate > 0 ? pixelRate : usualRate;
    };

    // What each file of the run did since the last sample.
    for (int row = 0; row < queue.rowCount(); ++row) {
        const JobRecord &job = queue.job(row);
        if (!queue.isInRun(row) || job.status == JobRecord::Status::Waiting)
            continue;
        auto found = m_tracks.find(job.fileId);
        if (found == m_tracks.end()) {
            Track track;
            track.pixelRate = queue.pixelRate(row);
            track.startedAt = job.startedAt >= 0 ? job.startedAt : now;
            found = m_tracks.insert(job.fileId, track);
        }
        Track &track = *found;
        track.media = media.at(row);
        if (job.hasEnded()) {
            if (job.status == JobRecord::Status::Done && track.endedAt < 0)
                track.endedAt = job.finishedAt >= 0 ? job.finishedAt : now;
            continue;
        }
        const double done = qBound(0.0, job.fraction, 1.0) * track.media;
        if (done <= track.done)
            continue;
        if (track.firstAt < 0) {
            track.firstAt = now;
            track.firstDone = done;
        } else {
            track.whole.add(track.step, false);
            track.recent.add(track.step, true);
            m_recent.add({track.step.amount * rateOf(track.pixelRate), track.step.seconds}, true);
            track.step = now - track.lastAt <= SteadyGapSeconds
                             ? Pace{done - track.done, now - track.lastAt}
                             : Pace();
        }
        track.lastAt = now;
        track.done = done;
    }

    const JobQueue::Counts counts = queue.counts();
    const int shown = queue.workingRow();
    m_fileStartedAt = shown >= 0 ? queue.job(shown).startedAt : -1;
    m_fileRemaining.reset();
    if (counts.waiting + counts.working == 0) {
        m_remaining = 0.0;
        return;
    }
    double watched = 0;
    for (const Track &track : std::as_const(m_tracks))
        watched += track.whole.seconds;
    if (watched < PaceSeconds || m_recent.amount <= 0) {
        m_remaining.reset();
        return;
    }
    const double runPace = m_recent.amount / m_recent.seconds; // work a second
    // A file's pace in work a second, drawn from the run's while it has little of its own.
    const auto paceOf = [&](const Track &track, const Pace &own) {
        return (own.amount * rateOf(track.pixelRate) + runPace * PriorSeconds) /
               (own.seconds + PriorSeconds);
    };

    // What a file takes besides its media: from its start to its first progress, and from
    // there to its end, each the mean of the files so far. The end comes out negative where
    // ffmpeg reports the media late (its encoder's delay) and then ends at once.
    double starts = 0;
    double ends = 0;
    int started = 0;
    int ended = 0;
    for (const Track &track : std::as_const(m_tracks)) {
        if (track.firstAt < 0)
            continue;
        const double pace = paceOf(track, track.whole);
        const double start =
            track.firstAt - track.firstDone * rateOf(track.pixelRate) / pace - track.startedAt;
        starts += start;
        ++started;
        if (track.endedAt >= 0) {
            ends += track.endedAt - track.startedAt - start -
                    track.media * rateOf(track.pixelRate) / pace;
            ++ended;
        }
    }
    const double start = started > 0 ? starts / started : 0;
    const double end = ended > 0 ? ends / ended : 0;

    double working = 0;
    double longest = 0;
    double waiting = 0;
    for (int row = 0; row < queue.rowCount(); ++row) {
        const JobRecord &job = queue.job(row);
        if (!queue.isInRun(row) || job.hasEnded())
            continue;
        if (!isWorking(job.status)) {
            const double work = media.at(row) * rateOf(queue.pixelRate(row));
            waiting += std::max(0.0, start + work / runPace + end);
            continue;
        }
        const Track &track = m_tracks[job.fileId];
        const double work = track.media * rateOf(track.pixelRate);
        const double left = std::max(
            0.0, track.firstAt >= 0
                     ? (work - track.done * rateOf(track.pixelRate)) / paceOf(track, track.recent) +
                           end - (now - track.lastAt)
                     : std::max(0.0, start - (now - track.startedAt)) + work / runPace + end);
        working += left;
        longest = std::max(longest, left);
        if (row == shown)
            m_fileRemaining = left;
    }
    // Files at work side by side share the machine: the rest waits for one of them.
    m_remaining = std::max(longest, (working + waiting) / std::max(1, counts.working));
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
