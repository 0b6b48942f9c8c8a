#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>
#include <QUuid>

#include <memory>

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
    // A file whose planned output is already there and passes the output check is skipped.
    bool skipExisting = false;
    // Only these of the files are converted; outputs are still named over them all.
    QSet<QUuid> only;
};

// The batch run: takes the settings and the files once, plans, then converts the files in
// order, up to `jobs` at a time, and reports what happens through signals. A file that fails
// does not stop the others; a cancel stops them all. Nothing of a run outlives it.
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
    // A file taken off the list before its turn is skipped.
    void skip(const QUuid &id);
    bool isRunning() const { return m_running; }

Q_SIGNALS:
    void runStarted(const RunPlan &plan);
    void fileStarted(const PlannedFile &file);
    // `fileFraction` of the file is done and `runFraction` of the whole run.
    void fileProgress(const PlannedFile &file, double fileFraction, double runFraction,
                      const ProgressFigures &figures);
    void fileFinished(const PlannedFile &file, const FileOutcome &outcome);
    // The run log: each command, ffmpeg's progress lines and what it writes to standard error.
    void logText(const QString &text);
    // Something the user should know that does not fail anything.
    void notice(const QString &text);
    void runFinished(const RunSummary &summary);

private:
    struct Active
    {
        FileTranscode *transcode = nullptr;
        OutputCheck *check = nullptr;
        double fraction = 0;
    };

    void onPlanned(const RunPlan &plan);
    void startNextFiles();
    void startFile(const PlannedFile &file);
    void convert(const PlannedFile &file);
    void finishFile(const PlannedFile &file, const FileOutcome &outcome);
    double runFraction() const;
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
    QSet<QUuid> m_skipped;
    RunSummary m_summary;
    QElapsedTimer m_clock;
    QString m_createdOutputDirectory; // made by this run, removed if it stays empty
    QString m_resultSettings;         // what the run's results are marked with
};
