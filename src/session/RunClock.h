#pragma once

#include <QString>

#include <optional>

class JobQueue;

// How long a run has taken, and how long it may still take.
struct RunTimes
{
    double elapsed = 0;     // the whole run, seconds
    double fileElapsed = 0; // the file at work
    std::optional<double> remaining;
    std::optional<double> fileRemaining;
};

// Keeps the time of one run and estimates what is left: the media time still to convert (the
// files' probed durations, less what is done) over the pace measured since the first progress,
// which ffmpeg's own speed stands in for until there is enough to go by. The estimate is
// smoothed, so one slow or fast moment does not make it jump, and it is never below what the
// file at work still needs. Times are seconds since the run began, given by the caller.
class RunClock
{
public:
    void start(double now);
    // Reads the queue as it stands at `now`; called whenever it changes, and now and then.
    void sample(const JobQueue &queue, double now);
    RunTimes times(double now) const;

private:
    double m_started = 0;
    double m_firstProgressAt = -1;
    double m_doneAtFirstProgress = 0;
    double m_sampledAt = 0;
    std::optional<double> m_remaining; // as of m_sampledAt
    std::optional<double> m_fileRemaining;
    double m_fileStartedAt = -1;
};

// "0:07", "12:34", "1:02:03".
QString clockText(double seconds);
