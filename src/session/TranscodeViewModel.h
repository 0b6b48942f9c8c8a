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
#include "session/RunClock.h"
#include "transcode/BatchTranscoder.h"

class CodecRuleWiring;
class FileIntake;

// Where one listed file stands in the current or last run.
struct FileRunState
{
    enum class Status { Waiting, Converting, Converted, Failed, Skipped };

    Status status = Status::Waiting;
    double progress = 0; // of this file
    qint64 outputSize = 0;
    QString reason; // why it failed or was skipped
};

// All state of the window: the file list, the output settings, the run state with its
// figures, and the fixed option tables and presets. Lives on the main thread; every published
// property notifies its own change signal. The run state is written only by what intake and
// the engine report; views read it.
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
    Q_PROPERTY(QString selectedColorFormat READ selectedColorFormat WRITE setSelectedColorFormat NOTIFY selectedColorFormatChanged)
    Q_PROPERTY(QString selectedContainer READ selectedContainer WRITE setSelectedContainer NOTIFY selectedContainerChanged)
    Q_PROPERTY(QStringList availableContainers READ availableContainers NOTIFY availableContainersChanged)
    Q_PROPERTY(QStringList availableColorFormats READ availableColorFormats NOTIFY availableColorFormatsChanged)
    Q_PROPERTY(bool useHardwareAcceleration READ useHardwareAcceleration WRITE setUseHardwareAcceleration NOTIFY useHardwareAccelerationChanged)
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

    const QList<VideoFile> &videoFiles() const { return m_videoFiles; }
    bool isTranscoding() const { return m_isTranscoding; }
    double transcodeProgress() const { return m_transcodeProgress; }
    QString currentFileName() const { return m_currentFileName; }
    int currentFileIndex() const { return m_currentFileIndex; }
    int totalFiles() const { return m_totalFiles; }
    const QString &ffmpegLog() const { return m_ffmpegLog; }
    bool transcodeCompleted() const { return m_transcodeCompleted; }
    QString lastOutputDirectory() const { return m_lastOutputDirectory; }
    qint64 currentFrame() const { return m_currentFrame; }
    double currentFPS() const { return m_currentFPS; }
    double currentBitrate() const { return m_currentBitrate; }
    double currentSpeed() const { return m_currentSpeed; }
    QString selectedCodec() const { return m_settings.codec; }
    QString selectedResolution() const { return m_settings.resolution; }
    QString selectedFrameRate() const { return m_settings.frameRate; }
    QString selectedColorFormat() const { return m_selectedColorFormat; }
    QString selectedContainer() const { return m_settings.container; }
    QStringList availableContainers() const { return Choices::containers(); }
    QStringList availableColorFormats() const { return {}; }
    bool useHardwareAcceleration() const { return m_useHardwareAcceleration; }
    bool enableAlpha() const { return m_settings.enableAlpha; }
    double selectedBitrate() const { return m_settings.bitrate; }
    QString selectedProResProfile() const { return m_settings.proResProfile; }
    bool overwriteOriginal() const { return m_settings.overwriteOriginal; }
    QString lastError() const { return m_lastError; }
    QString runNotice() const { return m_runNotice; }

    void setSelectedCodec(const QString &value);
    void setSelectedResolution(const QString &value);
    void setSelectedFrameRate(const QString &value);
    void setSelectedColorFormat(const QString &value);
    void setSelectedContainer(const QString &value);
    void setUseHardwareAcceleration(bool value);
    void setEnableAlpha(bool value);
    void setSelectedBitrate(double value);
    void setSelectedProResProfile(const QString &value);
    void setOverwriteOriginal(bool value);

    // The settings as one value, as a run takes them.
    const TranscodeSettings &settings() const { return m_settings; }

    // Fixed option tables, in the order the settings panel offers them.
    const QStringList &availableCodecs() const { return Choices::codecs(); }
    const QStringList &availableResolutions() const { return Choices::resolutions(); }
    const QStringList &availableFrameRates() const { return Choices::frameRates(); }
    const QStringList &availableProResProfiles() const { return Choices::proResProfiles(); }
    const QList<TranscodePreset> &presets() const { return m_presets; }
    const QStringList &supportedVideoExtensions() const { return Choices::videoExtensions(); }

    std::optional<double> currentVideoTotalDuration() const { return m_currentVideoTotalDuration; }

    // Copies the preset into the settings one by one, then runs the codec rules.
    void applyPreset(const TranscodePreset &preset);
    bool supportsBitrate() const;
    bool supportsAlpha() const;

    // Empties the list and resets the run state; the settings stay.
    void clearAll();
    // Asks whoever shows folders (the window) to open the last output folder.
    void openOutputFolder();
    // Removes every entry with these ids, in one change of the list; the file being converted
    // stays.
    void removeVideoFiles(const QList<QUuid> &ids);
    void removeVideoFile(const QUuid &id) { removeVideoFiles({id}); }
    bool canRemove(const QUuid &id) const;

    // The codec-dependent rules. They also run by themselves, once the current event has been
    // handled, after any real change of codec, resolution, frame rate or ProRes profile.
    void onCodecChanged();
    void applyCodecRules();
    // Runs now the rules that are due on the next turn of the event loop.
    void settleCodecRules();

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

    // The batch run: converts every listed file with the settings as they are now.
    void startTranscoding(const RunOptions &options = {});
    // Runs again only the files that failed in the last run.
    void retryFailedFiles();
    // Takes the files the last run converted off the list.
    void removeConvertedFiles();
    // Stops the run: ffmpeg is stopped, partial output removed, sources left as they were.
    void cancelTranscoding();
    // How each file of the current or last run fares; nothing for a file no run has seen.
    std::optional<FileRunState> fileRunState(const QUuid &id) const;
    const RunSummary &lastRunSummary() const { return m_lastRunSummary; }
    // Elapsed and remaining time of the run under way.
    RunTimes runTimes() const;
    // The engine, for listeners that want each file's events.
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
    void selectedColorFormatChanged();
    void selectedContainerChanged();
    void availableContainersChanged();
    void availableColorFormatsChanged();
    void useHardwareAccelerationChanged();
    void enableAlphaChanged();
    void selectedBitrateChanged();
    void selectedProResProfileChanged();
    void overwriteOriginalChanged();
    void lastErrorChanged();
    void runNoticeChanged();

    void outputFolderOpenRequested(const QUrl &folder);
    // The piece just added to ffmpegLog, for views that follow the log.
    void ffmpegLogAppended(const QString &text);
    void fileRunStateChanged(const QUuid &id);
    void runTimesChanged();
    void rejectedFilesChanged();
    // As intake meets them: a file or folder that could not be added, and a repeated one.
    void fileRejected(const QString &path, const QString &reason);
    void fileAlreadyListed(const QString &path);
    // Everything queued for intake has been taken in or rejected.
    void intakeFinished();
    // A run has ended; the run state already shows how.
    void runFinished(RunOutcome outcome);

private:
    void forgetLastIntakeIfIdle();
    template <typename T, typename Signal> void assign(T &member, const T &value, Signal changed)

    {
        if (member == value)
            return;
        member = value;
        Q_EMIT(this->*changed)();
    }

    void setVideoFiles(const QList<VideoFile> &files);
    void setIsTranscoding(bool value);
    void setTranscodeProgress(double value);
    void setCurrentFileName(const QString &value);
    void setCurrentFileIndex(int value);
    void setTotalFiles(int value);
    void setTranscodeCompleted(bool value);
    void setLastOutputDirectory(const QString &value);
    void setFigures(const ProgressFigures &figures);
    void setLastError(const QString &value);
    void setRunNotice(const QString &value);
    void clearLog();
    void appendToLog(const QString &text);
    void setFileRunState(const QUuid &id, const FileRunState &state);

    void startRun(const QList<VideoFile> &files, const RunOptions &options);
    void onVideoFileAdded(const VideoFile &file);
    void onFileRejected(const QString &path, const QString &reason);
    void onFileStarted(const PlannedFile &file);
    void onFileProgress(const PlannedFile &file, double fileFraction, double runFraction,
                        const ProgressFigures &figures);
    void onFileFinished(const PlannedFile &file, const FileOutcome &outcome);
    void onNotice(const QString &text);
    void onRunFinished(const RunSummary &summary);

    QList<VideoFile> m_videoFiles;
    bool m_isTranscoding = false;
    double m_transcodeProgress = 0;
    QString m_currentFileName;
    int m_currentFileIndex = 0;
    int m_totalFiles = 0;
    QString m_ffmpegLog;
    bool m_transcodeCompleted = false;
    QString m_lastOutputDirectory;
    qint64 m_currentFrame = 0;
    double m_currentFPS = 0;
    double m_currentBitrate = 0;
    double m_currentSpeed = 0;
    TranscodeSettings m_settings;
    QString m_selectedColorFormat = QStringLiteral("420 8bit");
    bool m_useHardwareAcceleration = true;
    QString m_lastError;
    QString m_runNotice;

    QList<TranscodePreset> m_presets;
    std::optional<double> m_currentVideoTotalDuration;
    QHash<QUuid, FileRunState> m_fileRunStates;
    QUuid m_convertingId;
    int m_finishedFiles = 0;
    RunClock m_clock;
    QElapsedTimer m_runTimer;
    QTimer m_tick;
    RunSummary m_lastRunSummary;
    QList<FileFailureNote> m_rejectedFiles;
    QStringList m_alreadyListedFiles;
    RunContext m_context;
    std::unique_ptr<CodecRuleWiring> m_codecRuleWiring;
    std::unique_ptr<FileIntake> m_intake;
    std::unique_ptr<BatchTranscoder> m_engine;
};
