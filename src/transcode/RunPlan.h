#pragma once

#include <QList>
#include <QSet>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <optional>

#include "domain/Error.h"
#include "domain/TranscodeSettings.h"
#include "domain/VideoFile.h"
#include "transcode/EncoderSupport.h"

// One run of ffmpeg in the conversion of a file.
struct PlannedCommand
{
    enum class Kind {
        Conversion,        // the main route: the file to its output
        AlphaIntermediate, // any source to an alpha-capable ProRes
        ProRes4444Stage,   // that to ProRes 4444
        HevcAlphaExport,   // ProRes 4444 to HEVC with alpha
    };

    Kind kind = Kind::Conversion;
    QString program;
    QStringList arguments;
    // Where the file's progress stands when this command starts, and how far its own progress
    // lines carry it; without them it gets there when it ends.
    double progressStart = 0;
    double progressSpan = 1;
    bool readsProgress = true;

    friend bool operator==(const PlannedCommand &, const PlannedCommand &) = default;
};

enum class Route { Main, HevcAlpha };

// What a finished output must show before it counts, besides a video stream.
struct OutputPromise
{
    int audioStreams = 0;
    double duration = 0;      // the source's, in seconds; 0 when unknown
    double displayAspect = 0; // the source's picture, width over height as shown; 0: unknown
    // With the source's frame rate kept: exactly this many frames where the source counts them,
    // and the video as long as the source's within one frame.
    qint64 frames = -1;
    double videoDuration = 0;
    double frameSeconds = 0;
    QList<double> audioDurations; // each track's, where the source tells; 0 when it does not

    friend bool operator==(const OutputPromise &, const OutputPromise &) = default;
};

// Everything the run will do with one file.
struct PlannedFile
{
    int position = 0; // in the whole listing
    VideoFile source;
    Route route = Route::Main;
    QString encoder;             // the video encoder that runs
    QString outputPath;          // where the result is put
    QString partialPath;         // the hidden name it is written under until it is checked
    bool replacesSource = false; // the source goes to the Trash once the result is in place
    // A file already exists at `outputPath` and must go to the Trash when the result is put
    // in place.
    bool replacesOutput = false;
    // Taken back after a stop: a file at `outputPath` that passes the check is its result.
    bool resumes = false;
    QByteArray sourceMark; // what a result beside others is marked with (see ResultMark)
    QSize outputSize;      // the picture as the output shows it, where known
    // What the settings name for it: the chosen box, or with "原始分辨率" its own size as shown.
    QSize chosenSize;
    QList<PlannedCommand> commands;
    // The same conversion with the software encoder, tried once when a hardware encoder fails
    // in the middle of the file.
    QList<PlannedCommand> softwareRetry;
    QString retryEncoder;
    QStringList temporaryFiles; // removed however the file ends
    OutputPromise promise;
};

struct RunRefusal
{
    Error error;
    QString detail; // what the user reads
};

struct RunPlan
{
    QString ffmpeg;
    // Where results go; empty when every result goes beside its source.
    QString outputDirectory;
    QList<PlannedFile> files;
    int listingSize = 0; // files in the whole listing, of which `files` may be one shard
    // Said once for the run: which encoder runs where the settings name another.
    QStringList notices;
    std::optional<RunRefusal> refusal;
};

// Which of the listing's files one process takes: every `count`-th from `index`.
struct Shard
{
    int index = 0;
    int count = 1;
};

// What becomes of a file already at a planned output name in the output folder.
enum class ExistingOutput {
    KeepBoth, // it stays; the new result gets " (2)", " (3)", ...
    Replace,  // it goes to the Trash when the new result is put in place
    Skip,     // kept when it passes the output check, else replaced as with Replace
};

// What the caller chooses for a run besides its settings.
struct PlanChoices
{
    std::optional<Shard> shard;
    // The text that places a file in its shard, and names it in its result's mark: the same
    // file has the same key whatever else is listed. The file's path when not given.
    std::function<QString(const VideoFile &)> shardKey;
    // Only these files are converted, though outputs are named over all; all when empty.
    QSet<QUuid> only;
    ExistingOutput existingOutput = ExistingOutput::KeepBoth;
    // Files of a list taken back after a stop: what is at their output names may be their own
    // results, finished after the list was last saved. Whatever `existingOutput` says of the
    // others, such a result is kept when it passes the check and the file is done.
    QSet<QUuid> resumed = {};
};

// What is on disk at a path, not following a link there.
struct DiskEntry
{
    FileKey key;
    bool regularFile = false;
    QByteArray madeFrom;    // a result's mark of its source (see ResultMark); empty for others
    bool marksKept = false; // whether its file system keeps such marks
};

// What the plan may look up besides its arguments.
struct PlanEnvironment
{
    QString ffmpeg;
    QString temporaryDirectory;
    PlanChoices choices;
    // What is at a path, if anything; the plan keeps outputs off the run's inputs with it.
    std::function<std::optional<DiskEntry>(const QString &path)> fileAt;
    // Fresh names for intermediate files.
    std::function<QString()> uniqueName;
};

// What the run must ask ffmpeg before it can plan with these settings.
EncoderQuestions encoderQuestions(const TranscodeSettings &settings);

// The one plan: the settings, the listed files and what this machine's ffmpeg can do, turned
// into every command the run executes. The dry run prints it; the run carries it out.
RunPlan planRun(const TranscodeSettings &settings, const QList<VideoFile> &files,
                const EncoderAnswers &answers, const PlanEnvironment &environment);

// The real file system behind `PlanEnvironment::fileAt`.
std::optional<DiskEntry> diskEntryAt(const QString &path);

// The planned outputs in the output folder that a file already occupies, so that the window
// can ask once before a run what becomes of them; of the files in `choices.only` where given,
// and never of those in `choices.resumed`.
QStringList existingOutputs(const TranscodeSettings &settings, const QList<VideoFile> &files,
                            const PlanEnvironment &environment);
QStringList existingOutputs(const TranscodeSettings &settings, const QList<VideoFile> &files,
                            const QSet<QUuid> &only = {});

// Whether `key` falls in `shard`: by a hash of the key, so that a file keeps its shard
// whatever else is listed.
bool inShard(const QString &key, const Shard &shard);

// The width over height the picture is shown at: its pixel shape and rotation applied.
double displayAspect(const VideoFile &file);

Q_DECLARE_METATYPE(RunPlan)
Q_DECLARE_METATYPE(PlannedFile)
