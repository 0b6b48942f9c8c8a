#pragma once

#include <QHash>
#include <QString>
#include <QUuid>

#include <optional>

class JobQueue;

// How long a run has taken, and how long it may still take.
struct RunTimes
{
    double elapsed = 0;     // the whole run, seconds
    double fileElapsed = 0; // the file at work
    // Unknown until the run has shown its pace; 0 once every file has ended.
    std::optional<double> remaining;
    std::optional<double> fileRemaining;
};

// Keeps the time of one run and foretells what is left of it. A file costs a start (ffmpeg
// setting up, its encoder filling), its media at the run's pace, and an end (the encoder
// emptying, the result's check). The pace is measured on the progress ffmpeg reports at its
// usual beat, per pixel of the result, so that a file of smaller pictures is foreseen to go
// faster per media second; it is the pace of late, so that it follows a machine that gets
// busier or freer. The start and the end are what the files so far took beyond their media.
// The file at work goes at its own pace, drawn from the run's while it has little of its own.
// Nothing is foretold before the pace has been watched for a while; a file taken out of the
// run counts no more at once. Times are seconds since the run began, given by the caller.
class RunClock
{
public:
    void start(double now);
    // Reads the queue as it stands at `now`; called whenever it changes, and now and then.
    void sample(const JobQueue &queue, double now);
    RunTimes times(double now) const;

private:
    // How much was converted, and in how long.
    struct Pace
    {
        double amount = 0;
        double seconds = 0;
        // Fading, what came before weighs less the longer the conversion has gone on since.
        void add(const Pace &step, bool fading);
    };

    // What was seen of one file of the run, in media seconds.
    struct Track
    {
        double pixelRate = 0; // of its result; 0 where unknown
        double media = 0;
        double startedAt = 0;
        double firstAt = -1; // its first progress
        double firstDone = 0;
        double lastAt = -1; // its latest progress
        double done = 0;
        // The steps between reports that came at ffmpeg's usual beat: the file's pace without
        // its start and end. A step counts once another report follows it; the last one of a
        // file is part of its end.
        Pace whole;
        Pace recent;
        Pace step;
        double endedAt = -1; // once converted and checked
    };

    double m_started = 0;
    double m_sampledAt = 0;
    QHash<QUuid, Track> m_tracks;
    Pace m_recent;                     // of the run, in media seconds times pixels a second
    std::optional<double> m_remaining; // as of m_sampledAt
    std::optional<double> m_fileRemaining;
    double m_fileStartedAt = -1;
};

// "0:07", "12:34", "1:02:03".
QString clockText(double seconds);
