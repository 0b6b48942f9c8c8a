#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QUuid>

#include <memory>
#include <optional>

#include "domain/Choices.h"
#include "domain/Error.h"
#include "domain/RunSummary.h"
#include "domain/TranscodePreset.h"
#include "domain/TranscodeSettings.h"
#include "domain/VideoFile.h"
#include "session/JobQueue.h"
#include "session/QueueMemory.h"
#include "session/RunClock.h"
#include "transcode/BatchTranscoder.h"

class FileIntake;

// All state of the window: the file list with each file's run state (the queue), the output
// settings, the run state with its figures, and the fixed option tables and presets. Lives on
// the main thread; every published property notifies its own change signal. The run state is
// written only by what intake and the engine report; views read it.
class TranscodeViewModel : public QObject
{
    Q_OBJECT
    // clang-format off
    Q_PROPERTY(QList<VideoFile> videoFiles READ videoFiles NOTIFY videoFilesChanged)
    Q_PROPERTY(bool isTranscoding READ isTranscoding NOTIFY isTranscodingChanged)
    Q_PROPERTY(double transcodeProgress READ transcodeProgress NOTIFY transcodeProgressChanged)
    Q_PROPERTY(QString currentFileName READ currentFileName NOTIFY currentFileNameChanged)
    Q_PROPERTY(int currentFileIndex READ currentFileIndex NOTIFY currentFileIndexChanged)
    Q_PROPERTY(int totalFiles READ totalFiles NOTIFY totalFilesChanged)
    Q_PROPERTY(QString ffmpegLog READ ffmpegLog NOTIFY ffmpegLogChanged)
    Q_PROPERTY(bool transcodeCompleted READ transcodeCompleted NOTIFY transcodeCompletedChanged)
    Q_PROPERTY(QString lastOutputDirectory READ lastOutputDirectory NOTIFY lastOutputDirectoryChanged)
    Q_PROPERTY(qint64 currentFrame READ currentFrame NOTIFY currentFrameChanged)
    Q_PROPERTY(double currentFPS READ currentFPS NOTIFY currentFPSChanged)
    Q_PROPERTY(double currentBitrate READ currentBitrate NOTIFY currentBitrateChanged)
    Q_PROPERTY(double currentSpeed READ currentSpeed NOTIFY currentSpeedChanged)
    Q_PROPERTY(QString selectedCodec READ selectedCodec WRITE setSelectedCodec NOTIFY selectedCodecChanged)
    Q_PROPERTY(QString selectedResolution READ selectedResolution WRITE setSelectedResolution NOTIFY selectedResolutionChanged)
    Q_PROPERTY(QString selectedFrameRate READ selectedFrameRate WRITE setSelectedFrameRate NOTIFY selectedFrameRateChanged)
    Q_PROPERTY(QString selectedContainer READ selectedContainer WRITE setSelectedContainer NOTIFY selectedContainerChanged)
    Q_PROPERTY(QStringList availableContainers READ availableContainers CONSTANT)
    Q_PROPERTY(bool enableAlpha READ enableAlpha WRITE setEnableAlpha NOTIFY enableAlphaChanged)
    Q_PROPERTY(double selectedBitrate READ selectedBitrate WRITE setSelectedBitrate NOTIFY selectedBitrateChanged)
    Q_PROPERTY(QString selectedProResProfile READ selectedProResProfile WRITE setSelectedProResProfile NOTIFY selectedProResProfileChanged)
    Q_PROPERTY(bool overwriteOriginal READ overwriteOriginal WRITE setOverwriteOriginal NOTIFY overwriteOriginalChanged)
    Q_PROPERTY(QString lastError READ lastError NOTIFY lastErrorChanged)
    Q_PROPERTY(QString runNotice READ runNotice NOTIFY runNoticeChanged)
    // clang-format on

public:
    // Keeps the last part of a long run's log.
    static constexpr qsizetype LogLimit = 4 * 1024 * 1024;

    explicit TranscodeViewModel(RunContext context = {}, QObject *parent = nullptr);
    ~TranscodeViewModel() override;

    const QList<VideoFile> &videoFiles() const { return m_queue.files(); }
    bool isTranscoding() const { return m_isTranscoding; }
    // The share of the run's media time converted.
    double transcodeProgress() const;
    QString currentFileName() const;
    // The place of the file at work among the run's files; between files, how many have ended.
    int currentFileIndex() const;
    int totalFiles() const { return m_queue.counts().total; }
    const QString &ffmpegLog() const { return m_ffmpegLog; }
    bool transcodeCompleted() const { return m_transcodeCompleted; }
    QString lastOutputDirectory() const { return m_lastOutputDirectory; }
    qint64 currentFrame() const { return workingFigures().frame; }
    double currentFPS() const { return workingFigures().fps; }
    double currentBitrate() const { return workingFigures().bitrate; }
    double currentSpeed() const { return workingFigures().speed; }
    QString selectedCodec() const { return m_settings.codec; }
    QString selectedResolution() const { return m_settings.resolution; }
    QString selectedFrameRate() const { return m_settings.frameRate; }
    QString selectedContainer() const { return m_settings.container; }
    QStringList availableContainers() const { return Choices::containers(); }
    bool enableAlpha() const { return m_settings.enableAlpha; }
    double selectedBitrate() const { return m_settings.bitrate; }
    QString selectedProResProfile() const { return m_settings.proResProfile; }
    bool overwriteOriginal() const { return m_settings.overwriteOriginal; }
    QString lastError() const { return m_lastError; }
    QString runNotice() const { return m_runNotice; }

    // Each change applies at once every rule that follows from it (the codec chooses the
    // container and the ProRes profile, ...); a bitrate ffmpeg cannot take is not taken.
    void setSelectedCodec(const QString &value);
    void setSelectedResolution(const QString &value);
    void setSelectedFrameRate(const QString &value);
    void setSelectedContainer(const QString &value);
    void setEnableAlpha(bool value);
    void setSelectedBitrate(double value);
    void setSelectedProResProfile(const QString &value);
    void setOverwriteOriginal(bool value);

    // The settings as one value, as a run takes them.
    const TranscodeSettings &settings() const { return m_settings; }
    // Takes every setting at once, with the rules applied.
    void setSettings(const TranscodeSettings &settings);

    // Fixed option tables, in the order the settings panel offers them.
    const QStringList &availableCodecs() const { return Choices::codecs(); }
    const QStringList &availableResolutions() const { return Choices::resolutions(); }
    const QStringList &availableFrameRates() const { return Choices::frameRates(); }
    const QStringList &availableProResProfiles() const { return Choices::proResProfiles(); }
    const QList<TranscodePreset> &presets() const { return m_presets; }
    const QStringList &supportedVideoExtensions() const { return Choices::videoExtensions(); }

    void applyPreset(const TranscodePreset &preset);
    // The settings are what the preset makes of them.
    bool isPresetActive(const TranscodePreset &preset) const;
    bool supportsBitrate() const;
    bool supportsAlpha() const;

    // Asks the installed ffmpeg, once and without waiting for it, what it can never encode;
    // encoderSupportChanged() follows the answer.
    void askEncoderSupport();
    // Whether this ffmpeg has an HEVC encoder that keeps alpha; nothing until it has answered.
    std::optional<bool> hevcAlphaAvailable() const { return m_hevcAlphaAvailable; }
    // Why a run with these settings would be refused on this machine, with what to choose
    // instead; empty when nothing known stands in its way.
    QString unavailableReason(const TranscodeSettings &settings) const;

    // Empties the list and resets the run state; the settings stay.
    void clearAll();
    // Asks whoever shows folders (the window) to open the last output folder.
    void openOutputFolder();
    // Removes every entry with these ids, in one change of the list; files at work stay.
    void removeVideoFiles(const QList<QUuid> &ids);
    void removeVideoFile(const QUuid &id) { removeVideoFiles({id}); }
    bool canRemove(const QUuid &id) const;

    // The settings part of the ffmpeg command line for the current settings.
    Result<QStringList> buildFFmpegArguments() const;

    // File intake. Each call queues its URLs behind what is already queued and returns at once;
    // files are probed and appended in the order given. A URL whose path ends with "/" is a
    // folder and is searched with its sub-folders.
    void handleDrop(const QList<QUrl> &urls);
    void processSelectedFiles(const QList<QUrl> &urls);
    bool isTakingIn() const;
    // Lists records probed elsewhere, as they are; what intake lists goes the same way.
    void appendVideoFiles(const QList<VideoFile> &files);
    // What the intake under way, or the last, could not add, and why.
    const QList<FileFailureNote> &rejectedFiles() const { return m_rejectedFiles; }
    const QStringList &alreadyListedFiles() const { return m_alreadyListedFiles; }

    // The list and where each file stands: the rows every view of the files reads.
    const JobQueue &queue() const { return m_queue; }
    // Takes a saved list in again, in its order, each file with its saved outcome once it has
    // been probed afresh. The next run converts only what is not done, and takes a file taken
    // back whose result is already there and whole as done.
    void restoreQueue(const QList<SavedFile> &files);

    // The files a run would take: every listed file not done yet, and the failed ones.
    QSet<QUuid> unconvertedFiles() const;
    QSet<QUuid> failedFiles() const;
    // Some listed file is not converted yet; quick while files are being added.
    bool hasFilesToConvert() const;
    // Some listed file waits for a run that has not taken it: listed since the last run
    // began, or taken back as waiting.
    bool hasWaitingFiles() const;
    // Whether the window offers to start a run: until one completes, and after it once files
    // wait again.
    bool offersStart() const { return !m_transcodeCompleted || hasWaitingFiles(); }
    // Results of an earlier run already at the names a run of `files` would give its outputs;
    // the files taken back from a saved list go on over theirs and are not asked about.
    QStringList existingOutputs(const QSet<QUuid> &files) const;
    // The batch run: converts every listed file not done yet, with the settings as they are
    // now.
    void startTranscoding(RunOptions options = {});
    // Runs again only the files that failed.
    void retryFailedFiles(RunOptions options = {});
    // Takes the converted files off the list.
    void removeConvertedFiles();
    // Stops the run: ffmpeg is stopped, partial output removed, sources left as they were.
    void cancelTranscoding();
    const RunSummary &lastRunSummary() const { return m_lastRunSummary; }
    // Elapsed and remaining time of the run under way.
    RunTimes runTimes() const;
    // The engine, for listeners that want the plan and the notices as they come.
    const BatchTranscoder &engine() const { return *m_engine; }

    const RunContext &context() const { return m_context; }
    void trace(const QString &line) const { m_context.trace(line); }

Q_SIGNALS:
    void videoFilesChanged();
    void isTranscodingChanged();
    void transcodeProgressChanged();
    void currentFileNameChanged();
    void currentFileIndexChanged();
    void totalFilesChanged();
    void ffmpegLogChanged();
    void transcodeCompletedChanged();
    void lastOutputDirectoryChanged();
    void currentFrameChanged();
    void currentFPSChanged();
    void currentBitrateChanged();
    void currentSpeedChanged();
    void selectedCodecChanged();
    void selectedResolutionChanged();
    void selectedFrameRateChanged();
    void selectedContainerChanged();
    void enableAlphaChanged();
    void selectedBitrateChanged();
    void selectedProResProfileChanged();
    void overwriteOriginalChanged();
    void lastErrorChanged();
    void runNoticeChanged();

    void outputFolderOpenRequested(const QUrl &folder);
    // The piece just added to ffmpegLog, for views that follow the log.
    void ffmpegLogAppended(const QString &text);
    // The run's figures moved: one signal for views that show them all.
    void runProgressChanged();
    void runTimesChanged();
    void rejectedFilesChanged();
    // As intake meets them: a file or folder that could not be added, and a repeated one.
    void fileRejected(const QString &path, const QString &reason);
    void fileAlreadyListed(const QString &path);
    // Everything queued for intake has been taken in or rejected.
    void intakeFinished();
    // A run has ended; the run state already shows how.
    void runFinished(RunOutcome outcome);
    void encoderSupportChanged();

private:
    template <typename T, typename Signal> void assign(T &member, const T &value, Signal changed)
    {
        if (member == value)
            return;
        member = value;
        Q_EMIT(this->*changed)();
    }

    void forgetLastIntakeIfIdle();
    void setIsTranscoding(bool value);
    void setTranscodeCompleted(bool value);
    void setLastOutputDirectory(const QString &value);
    void setLastError(const QString &value);
    void setRunNotice(const QString &value);
    void clearLog();
    void appendToLog(const QString &text);
    ProgressFigures workingFigures() const;
    double runSeconds() const;

    void startRun(const QSet<QUuid> &files, RunOptions options);
    void onJobChanged(const JobRecord &record);
    void onJobsChanged();
    void onNotice(const QString &text);
    void onRunFinished(const RunSummary &summary);

    JobQueue m_queue;
    bool m_isTranscoding = false;
    QString m_ffmpegLog;
    bool m_transcodeCompleted = false;
    QString m_lastOutputDirectory;
    TranscodeSettings m_settings;
    QString m_lastError;
    QString m_runNotice;

    QList<TranscodePreset> m_presets;
    RunClock m_clock;
    QElapsedTimer m_runTimer;
    QTimer m_tick;
    RunSummary m_lastRunSummary;
    QHash<QString, SavedFile> m_restoring; // by path, until intake has taken them in
    QSet<QUuid> m_resumed;                 // files taken back from a saved list
    QList<FileFailureNote> m_rejectedFiles;
    QStringList m_alreadyListedFiles;
    RunContext m_context;
    std::unique_ptr<FileIntake> m_intake;
    std::unique_ptr<BatchTranscoder> m_engine;
    EncoderSupport m_encoderSupport;
    std::optional<bool> m_hevcAlphaAvailable;
};
