#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QStringList>

#include "domain/RunSummary.h"
#include "process/ToolLocator.h"
#include "transcode/BatchTranscoder.h"

// What the suites share: media made with the real ffmpeg, fake tools for what the real ones
// cannot be made to do, an environment guard, and the engine run on its own.
namespace TestSupport {

// Clips with the properties real files have, made once per test program on first use.
enum class Clip {
    Plain,     // 160x120 H.264 with one AAC track, 0.4 s
    Odd,       // 161x91 4:2:0 with an odd size, MPEG-2 in .mpg
    TenBit,    // HEVC 10-bit in .mkv
    Alpha,     // ProRes 4444 with alpha, tagged as Apple's
    Yuv444,    // 4:4:4 8-bit H.264
    TwoAudio,  // two audio tracks and a subtitle
    NoAudio,   // video alone
    Rotated,   // stored 160x91, shown turned a quarter
    Vp9,       // VP9 and Opus in .webm
    Truncated, // claims 4 s, holds about 1.5 s
    // What an editor relinks a proxy by, and what outputs keep.
    Square43,   // 1440x1080 with square pixels, larger than the presets' box
    NoShape,    // 320x240 MS-MPEG4 in .avi that records no pixel aspect
    Anamorphic, // 720x480 with pixel aspect 10:11
    Portrait,   // stored 1280x720, shown turned to 720x1280
    Variable,   // frames at uneven times
    Gaps,       // .avi whose index counts 15 frames, 4 of them dropped
    Tagged,     // .mov with a creation date, make and model, timecode, chapters, 5.1, BT.709
    Packed,     // Xvid .avi with packed B-frames: its index counts 10 frames, 8 chunks hold them
    Film,       // 23.976 fps .mkv whose video starts half a frame after its AAC audio
    FullRange,  // MJPEG .avi in full-range yuvj420p
    LowRate,    // .mkv that spends little: 320x240 H.264 at 100 kbit/s, Opus at 24 kbit/s, 1 s
    Playlist,   // an HLS playlist named .mp4 that points at a clip beside it
    Streamed,   // 2 s of .mkv written as a live stream is: its header tells no length
};
QString clip(Clip kind);
// A copy of `source` at `path`, folders made as needed, last written a minute ago.
QString copyTo(const QString &source, const QString &path);

// Runs the real ffmpeg quietly; a broken fixture ends the test program at once.
void runFFmpeg(const QStringList &arguments);
// Writes an executable shell script `name` into `dir` and returns its path.
QString writeTool(const QDir &dir, const QString &name, const QByteArray &body);
void writeFile(const QString &path, const QByteArray &bytes);
QByteArray contents(const QString &path);
// Every file below `root`, hidden ones included, relative to it, sorted.
QStringList filesBelow(const QString &root);

// A stand-in for ffmpeg in `dir`, steered by files beside it: "progress" and "stderr" are
// written out; calls whose arguments hold a line of "fail_for" end with the status in
// "status"; "hang" makes it wait to be stopped (its pid in "pid"); test encodes succeed for
// the encoders listed in "encoders_ok", and hang with "hang_tests" (their pid in
// "test_pid"); "meanwhile" is sourced before the output is written ($input names the input,
// $given and $last the input and the output as handed over); "result" is copied to the
// output (else the text "converted"). The source's measure (a copy to nowhere) is the real
// ffmpeg's.
// Every call is noted in "calls", one line each.
QString fakeFFmpeg(const QDir &dir);
QStringList fakeCalls(const QDir &dir);

// Sets (or, with a null value, unsets) an environment variable while it lives.
class EnvironmentGuard
{
public:
    EnvironmentGuard(const char *name, const QByteArray &value);
    ~EnvironmentGuard();

private:
    const char *m_name;
    std::optional<QByteArray> m_old;
};

// The record the probe makes of a file, with the real ffprobe.
VideoFile probed(const QString &path);
// Marks `result` as a run in the window marks what it made of `source`.
void markAsResultOf(const QString &result, const QString &source);

// The engine alone on `files`, and everything it reported.
struct EngineRun
{
    RunPlan plan;
    RunSummary summary;
    QList<FileOutcome> outcomes; // in the order the files finished
    QList<JobRecord> records;    // every record reported, in order
    QList<double> fileProgress;  // as the files converting reported it
    QStringList notices;
    QStringList trace;
    QString log;

    const FileOutcome &only() const;
};
EngineRun runEngine(const TranscodeSettings &settings, const QList<VideoFile> &files,
                    const RunOptions &options = {}, const QString &resources = {});

} // namespace TestSupport
