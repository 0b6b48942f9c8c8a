#pragma once

#include <QObject>
#include <QPointer>

#include "domain/RunSummary.h"
#include "domain/Trace.h"
#include "process/ToolLocator.h"
#include "transcode/FFmpegDiagnosis.h"
#include "transcode/FileLock.h"
#include "transcode/ProgressParser.h"
#include "transcode/RunPlan.h"

class OutputCheck;
class ProcessRunner;

// Carries out the plan of one file, on the event loop. The result is written under a hidden
// partial name, checked, and only then put in place; a replaced source goes to the Trash. The
// source, the partial and an existing output are locked meanwhile, so another run cannot work
// on them. A failed or cancelled file leaves nothing behind but what was there before.
class FileTranscode : public QObject
{
    Q_OBJECT

public:
    FileTranscode(PlannedFile file, ToolLocator tools, TraceWriter trace,
                  QObject *parent = nullptr);
    // Stops a child still running and removes what the file left half done.
    ~FileTranscode() override;

    const PlannedFile &file() const { return m_file; }

    // `finished` follows, never before this returns.
    void start();
    // Asks ffmpeg to stop, kills it if it does not, then finishes as cancelled.
    void cancel();

Q_SIGNALS:
    // How much of this file is done, with ffmpeg's figures.
    void progressed(double fraction, const ProgressFigures &figures);
    // ffmpeg is done; the result is being proven.
    void checking();
    void logText(const QString &text);
    void notice(const QString &text);
    void finished(const FileOutcome &outcome);

private:
    bool claimFiles();
    void runCommand(qsizetype index);
    void onProgressLine(const QByteArray &bytes);
    void onErrorLine(const QByteArray &bytes);
    void onCommandEnded(int status, bool crashed);
    void verify();
    void place(const VideoFile &result);
    void fail(const Error &error, const QString &detail);
    // Another run holds a lock on `path`.
    void failInUse(const QString &path);

    void failWithStatus(int status, bool crashed);
    void end(FileOutcome outcome);
    void removeLeftovers();

    PlannedFile m_file;
    ToolLocator m_tools;
    TraceWriter m_trace;
    QList<PlannedCommand> m_commands;
    qsizetype m_command = 0;
    QString m_encoder;
    bool m_retried = false;
    ProgressParser m_progress;
    FFmpegDiagnosis m_diagnosis;
    QPointer<ProcessRunner> m_runner;
    QPointer<OutputCheck> m_check;
    FileLock m_sourceLock;
    FileLock m_partialLock;
    FileLock m_outputLock;
    QStringList m_leftovers; // removed unless the file succeeds
    bool m_cancelling = false;
    bool m_over = false;
};
