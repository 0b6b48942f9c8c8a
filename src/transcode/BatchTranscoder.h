#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>
#include <QUuid>

#include <memory>

#include "domain/JobRecord.h"
#include "domain/RunSummary.h"
#include "domain/Trace.h"
#include "process/ToolLocator.h"
#include "transcode/EncoderSupport.h"
#include "transcode/ProgressParser.h"
#include "transcode/RunPlan.h"

class FileTranscode;
class OutputCheck;
class RunPlanner;

// What a run needs from outside: where the programs are and where its trace goes.
struct RunContext
{
    ToolLocator tools;
    TraceWriter trace = writeTraceToStandardOutput;
};

struct RunOptions
{
    int jobs = 1; // files converted at once
    std::optional<Shard> shard;
    // What becomes of a file already at a planned output name; with Skip, a file whose output
    // is there and passes the output check is skipped.
    ExistingOutput existingOutput = ExistingOutput::KeepBoth;
    // Only these of the files are converted; outputs are still named over them all.
    QSet<QUuid> only;
    // What places a file in its shard (see `PlanChoices`).
    std::function<QString(const VideoFile &)> shardKey;
    // Files of a list taken back after a stop (see `PlanChoices`).
    QSet<QUuid> resumed = {};
};

// The batch run: takes the settings and the files once, plans, then converts the files in
// order, up to `jobs` at a time, and reports what happens through signals: one job record per
// file, keyed by its position in the listing, at each change. A file that fails does not stop
// the others; a cancel stops them all. Nothing of a run outlives it.
class BatchTranscoder : public QObject
{
    Q_OBJECT

public:
    explicit BatchTranscoder(RunContext context, QObject *parent = nullptr);
    // A run still going is cancelled on the spot: no ffmpeg outlives the engine.
    ~BatchTranscoder() override;

    // Ignored while a run goes on. Everything it reports follows, never before this returns.
    void start(const TranscodeSettings &settings, const QList<VideoFile> &files,
               const RunOptions &options = {});
    void cancel();
    // A file taken off the list before its turn is not converted.
    void leaveOut(const QUuid &id);
    bool isRunning() const { return m_running; }

Q_SIGNALS:
    // Every planned file is waiting now.
    void runStarted(const RunPlan &plan);
    // A file's record after each change: started, checked, progressed, ended.
    void jobChanged(const JobRecord &record);
    // The run log: each command, ffmpeg's progress lines and what it writes to standard error.
    void logText(const QString &text);
    // Something the user should know that does not fail anything.
    void notice(const QString &text);
    void runFinished(const RunSummary &summary);

private:
    // A file at work: what works on it, and its record as last reported.
    struct Active
    {
        PlannedFile file;
        FileTranscode *transcode = nullptr;
        OutputCheck *check = nullptr;
        JobRecord record;
    };

    void onPlanned(const RunPlan &plan);
    void startNextFiles();
    void startFile(const PlannedFile &file);
    void convert(const PlannedFile &file);
    void finishFile(const PlannedFile &file, const FileOutcome &outcome);
    void report(Active &active, JobRecord::Status status);
    double secondsSinceStart() const;
    void finishRun(RunOutcome outcome, const std::optional<RunRefusal> &refusal = {});
    void removeEmptyOutputDirectory();
    void tell(const QString &text);

    RunContext m_context;
    EncoderSupport m_encoders;
    std::unique_ptr<RunPlanner> m_planner;
    RunOptions m_options;
    bool m_running = false;
    bool m_cancelling = false;
    RunPlan m_plan;
    qsizetype m_next = 0;
    QHash<int, Active> m_active; // by position in the listing
    QSet<QUuid> m_removed;
    RunSummary m_summary;
    QElapsedTimer m_clock;
    QString m_createdOutputDirectory; // made by this run, removed if it stays empty
    QString m_resultSettings;         // what the run's results are marked with
};
