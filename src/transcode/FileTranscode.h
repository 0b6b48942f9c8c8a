#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "domain/RunSummary.h"
#include "domain/Trace.h"
#include "process/ToolLocator.h"
#include "transcode/FFmpegDiagnosis.h"
#include "transcode/FileLock.h"
#include "transcode/FileMoves.h"
#include "transcode/ProgressParser.h"
#include "transcode/RunPlan.h"

class OutputCheck;
class ProcessRunner;

// Why the run's output folder must not be used, if it must not: a link that another user made
// there would send the results, and the hidden files written beside them, anywhere.
std::optional<QString> outputFolderProblem(const QString &folder);

// What a run of ours stopped by force (a crash, a kill) left under `name` in the open `folder`
// is removed: a regular file of ours with a single link, marked unfinished, that no run at
// work holds. Anything else is left as it is.
enum class Leftover { Removed, Foreign, Busy };
Leftover removeLeftover(int folder, const QByteArray &name);
// The same for every hidden partial in `folder`; the paths of those removed.
QStringList removeLeftoverPartials(const QString &folder);

// Carries out the plan of one file, on the event loop. The result is written under a hidden
// partial name that this run made (exclusively, never through a link or over a file that was
// there), checked, and only then put in place, never over another file: a file it replaces
// (the source, or an output that must go) is exchanged with it and goes to the Trash. The
// source, the partial and an output to replace are locked meanwhile, so another run cannot
// work on them, and the source must stay the file that was listed, unchanged, to the end. A
// failed or cancelled file leaves nothing behind but what was there before.
class FileTranscode : public QObject
{
    Q_OBJECT

public:
    // A source written to less than this long ago may still be being written: it is looked
    // at again once it has been left alone that long.
    static constexpr std::chrono::milliseconds SettleTime = std::chrono::seconds(2);

    FileTranscode(PlannedFile file, ToolLocator tools, TraceWriter trace,
                  QObject *parent = nullptr);
    // Stops a child still running and removes what the file left half done.
    ~FileTranscode() override;

    const PlannedFile &file() const { return m_file; }
    // The settings a result is marked with (see ResultMark); not marked without.
    void setResultSettings(const QString &settings) { m_resultSettings = settings; }
    // How long the check of a result may take, on top of the source's duration.
    void setCheckTimeLimit(std::chrono::milliseconds limit) { m_checkTimeLimit = limit; }

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
    // What the source was when it was claimed.
    struct SourceState
    {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
        qint64 modified = 0; // nanoseconds since the epoch
        friend bool operator==(const SourceState &, const SourceState &) = default;
    };
    enum class Claim { Ready, Waiting, Failed };
    // A file made by this file's run, removed unless it becomes the result.
    struct OwnFile
    {
        Descriptor folder;
        QByteArray name;
        QString path; // as the commands name it
        FileLock lock;
    };
    // A command as it is started: the files it reads and writes handed over as open files.
    struct HeldCommand
    {
        QStringList arguments;
        QList<int> descriptors;
        QList<std::pair<QByteArray, QByteArray>> names; // each handed-over name, and the path
    };

    Claim claimSource();
    bool sourceIsAsClaimed() const;
    void claimOutputAndRun();
    bool claimOutput();
    bool createPartial(mode_t permissions);
    void usePartial(const QString &path);
    bool createTemporaries(mode_t permissions);
    HeldCommand held(const QStringList &arguments) const;
    void runCommand(qsizetype index);
    void onProgressLine(const QByteArray &bytes);
    void onErrorLine(const QByteArray &bytes);
    void onCommandEnded(int status, bool crashed);
    void verify();
    void place(const VideoFile &result);
    void keepSourceDate();
    // Puts the result in the place of `name`, whose file goes to the Trash as `path`;
    // where it went, or the error, with everything as it was.
    Result<QString> swapIn(const QByteArray &name, const QString &path);
    bool diskIsFull() const;
    QString diskFullText() const;
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
    QList<std::pair<QByteArray, QByteArray>> m_heldNames; // of the command running
    QPointer<OutputCheck> m_check;
    QString m_resultSettings;
    std::chrono::milliseconds m_checkTimeLimit = std::chrono::minutes(2);
    QTimer m_settleTimer;
    QTimer m_checkTimer;
    FileLock m_sourceLock;
    SourceState m_claimed;
    mode_t m_sourceMode = 0;
    uid_t m_sourceOwner = 0;
    gid_t m_sourceGroup = 0;
    Descriptor m_folder; // where the partial and the output are
    QByteArray m_outputName;
    FileLock m_outputLock; // an output to replace
    OwnFile *m_partial = nullptr;
    std::vector<std::unique_ptr<OwnFile>> m_ownFiles; // the partial, intermediates
    bool m_cancelling = false;
    bool m_over = false;
};
