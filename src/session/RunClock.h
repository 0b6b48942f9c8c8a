#pragma once

#include <QHash>
#include <QString>

#include <optional>

// How long a run has taken, and how long it may still take.
struct RunTimes
{
    double elapsed = 0;     // the whole run, seconds
    double fileElapsed = 0; // the file started last
    std::optional<double> remaining;
    std::optional<double> fileRemaining;
};

// Keeps the time of one run and estimates what is left from the files' probed durations and
// the speed ffmpeg reports. Times are seconds since the run began, given by the caller.
class RunClock
{
public:
    // The media seconds of every file the run will convert, by position.
    void start(const QHash<int, double> &durations, double now);
    void fileStarted(int position, double now);
    void fileProgress(int position, double fraction, double speed);
    void fileFinished(int position);

    RunTimes times(double now) const;

private:
    struct File
    {
        double duration = 0;
        double fraction = 0;
        double speed = 0;
        bool active = false;
    };

    QHash<int, File> m_files;
    double m_started = 0;
    double m_lastFileStarted = 0;
    int m_lastFile = -1;
};

// "0:07", "12:34", "1:02:03".
QString clockText(double seconds);
