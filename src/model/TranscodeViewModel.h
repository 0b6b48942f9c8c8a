#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <optional>

#include "model/Choices.h"
#include "model/Error.h"
#include "model/RunOutcome.h"
#include "model/Trace.h"
#include "model/TranscodePreset.h"
#include "model/VideoFile.h"
#include "transcode/ToolLocator.h"

class CodecRuleWiring;
class FileIntake;
class BatchTranscoder;

// All state of the window: the file list, the output settings, the run state with its
// figures, and the fixed option tables and presets. Lives on the main thread; every published
// property notifies its own change signal.
class TranscodeViewModel : public QObject
{
    Q_OBJECT
    // clang-format off
    Q_PROPERTY(QList<VideoFile> videoFiles READ videoFiles WRITE setVideoFiles NOTIFY videoFilesChanged)
    Q_PROPERTY(bool isTranscoding READ isTranscoding WRITE setIsTranscoding NOTIFY isTranscodingChanged)
    Q_PROPERTY(double transcodeProgress READ transcodeProgress WRITE setTranscodeProgress NOTIFY transcodeProgressChanged)
    Q_PROPERTY(QString currentFileName READ currentFileName WRITE setCurrentFileName NOTIFY currentFileNameChanged)
    Q_PROPERTY(int currentFileIndex READ currentFileIndex WRITE setCurrentFileIndex NOTIFY currentFileIndexChanged)
    Q_PROPERTY(int totalFiles READ totalFiles WRITE setTotalFiles NOTIFY totalFilesChanged)
    Q_PROPERTY(QString ffmpegLog READ ffmpegLog WRITE setFfmpegLog NOTIFY ffmpegLogChanged)
    Q_PROPERTY(bool transcodeCompleted READ transcodeCompleted WRITE setTranscodeCompleted NOTIFY transcodeCompletedChanged)
    Q_PROPERTY(QString lastOutputDirectory READ lastOutputDirectory WRITE setLastOutputDirectory NOTIFY lastOutputDirectoryChanged)
    Q_PROPERTY(qint64 currentFrame READ currentFrame WRITE setCurrentFrame NOTIFY currentFrameChanged)
    Q_PROPERTY(double currentFPS READ currentFPS WRITE setCurrentFPS NOTIFY currentFPSChanged)
    Q_PROPERTY(double currentBitrate READ currentBitrate WRITE setCurrentBitrate NOTIFY currentBitrateChanged)
    Q_PROPERTY(double currentSpeed READ currentSpeed WRITE setCurrentSpeed NOTIFY currentSpeedChanged)
    Q_PROPERTY(QString selectedCodec READ selectedCodec WRITE setSelectedCodec NOTIFY selectedCodecChanged)
    Q_PROPERTY(QString selectedResolution READ selectedResolution WRITE setSelectedResolution NOTIFY selectedResolutionChanged)
    Q_PROPERTY(QString selectedFrameRate READ selectedFrameRate WRITE setSelectedFrameRate NOTIFY selectedFrameRateChanged)
    Q_PROPERTY(QString selectedColorFormat READ selectedColorFormat WRITE setSelectedColorFormat NOTIFY selectedColorFormatChanged)
    Q_PROPERTY(QString selectedContainer READ selectedContainer WRITE setSelectedContainer NOTIFY selectedContainerChanged)
    Q_PROPERTY(QStringList availableContainers READ availableContainers WRITE setAvailableContainers NOTIFY availableContainersChanged)
    Q_PROPERTY(QStringList availableColorFormats READ availableColorFormats WRITE setAvailableColorFormats NOTIFY availableColorFormatsChanged)
    Q_PROPERTY(bool useHardwareAcceleration READ useHardwareAcceleration WRITE setUseHardwareAcceleration NOTIFY useHardwareAccelerationChanged)
    Q_PROPERTY(bool enableAlpha READ enableAlpha WRITE setEnableAlpha NOTIFY enableAlphaChanged)
    Q_PROPERTY(double selectedBitrate READ selectedBitrate WRITE setSelectedBitrate NOTIFY selectedBitrateChanged)
    Q_PROPERTY(QString selectedProResProfile READ selectedProResProfile WRITE setSelectedProResProfile NOTIFY selectedProResProfileChanged)
    Q_PROPERTY(bool overwriteOriginal READ overwriteOriginal WRITE setOverwriteOriginal NOTIFY overwriteOriginalChanged)
    Q_PROPERTY(QString lastError READ lastError WRITE setLastError NOTIFY lastErrorChanged)
    Q_PROPERTY(QString runNotice READ runNotice WRITE setRunNotice NOTIFY runNoticeChanged)
    // clang-format on

public:
    explicit TranscodeViewModel(QObject *parent = nullptr);
    ~TranscodeViewModel() override;

    const QList<VideoFile> &videoFiles() const { return m_videoFiles; }
    bool isTranscoding() const { return m_isTranscoding; }
    double transcodeProgress() const { return m_transcodeProgress; }
    QString currentFileName() const { return m_currentFileName; }
    int currentFileIndex() const { return m_currentFileIndex; }
    int totalFiles() const { return m_totalFiles; }
    QString ffmpegLog() const { return m_ffmpegLog; }
    bool transcodeCompleted() const { return m_transcodeCompleted; }
    QString lastOutputDirectory() const { return m_lastOutputDirectory; }
    qint64 currentFrame() const { return m_currentFrame; }
    double currentFPS() const { return m_currentFPS; }
    double currentBitrate() const { return m_currentBitrate; }
    double currentSpeed() const { return m_currentSpeed; }
    QString selectedCodec() const { return m_selectedCodec; }
    QString selectedResolution() const { return m_selectedResolution; }
    QString selectedFrameRate() const { return m_selectedFrameRate; }
    QString selectedColorFormat() const { return m_selectedColorFormat; }
    QString selectedContainer() const { return m_selectedContainer; }
    QStringList availableContainers() const { return m_availableContainers; }
    QStringList availableColorFormats() const { return m_availableColorFormats; }
    bool useHardwareAcceleration() const { return m_useHardwareAcceleration; }
    bool enableAlpha() const { return m_enableAlpha; }
    double selectedBitrate() const { return m_selectedBitrate; }
    QString selectedProResProfile() const { return m_selectedProResProfile; }
    bool overwriteOriginal() const { return m_overwriteOriginal; }
    QString lastError() const { return m_lastError; }
    QString runNotice() const { return m_runNotice; }

    void setVideoFiles(const QList<VideoFile> &value);
    void setIsTranscoding(bool value);
    void setTranscodeProgress(double value);
    void setCurrentFileName(const QString &value);
    void setCurrentFileIndex(int value);
    void setTotalFiles(int value);
    void setFfmpegLog(const QString &value);
    void setTranscodeCompleted(bool value);
    void setLastOutputDirectory(const QString &value);
    void setCurrentFrame(qint64 value);
    void setCurrentFPS(double value);
    void setCurrentBitrate(double value);
    void setCurrentSpeed(double value);
    void setSelectedCodec(const QString &value);
    void setSelectedResolution(const QString &value);
    void setSelectedFrameRate(const QString &value);
    void setSelectedColorFormat(const QString &value);
    void setSelectedContainer(const QString &value);
    void setAvailableContainers(const QStringList &value);
    void setAvailableColorFormats(const QStringList &value);
    void setUseHardwareAcceleration(bool value);
    void setEnableAlpha(bool value);
    void setSelectedBitrate(double value);
    void setSelectedProResProfile(const QString &value);
    void setOverwriteOriginal(bool value);
    void setLastError(const QString &value);
    void setRunNotice(const QString &value);

    // Fixed option tables, in the order the settings panel offers them.
    const QStringList &availableCodecs() const { return Choices::codecs(); }
    const QStringList &availableResolutions() const { return Choices::resolutions(); }
    const QStringList &availableFrameRates() const { return Choices::frameRates(); }
    const QStringList &availableProResProfiles() const { return Choices::proResProfiles(); }
    const QList<TranscodePreset> &presets() const { return m_presets; }
    const QStringList &supportedVideoExtensions() const { return Choices::videoExtensions(); }

    std::optional<double> currentVideoTotalDuration() const { return m_currentVideoTotalDuration; }
    void setCurrentVideoTotalDuration(std::optional<double> seconds)
    {
        m_currentVideoTotalDuration = seconds;
    }

    // Copies the preset into the settings one by one, then runs the codec rules.
    void applyPreset(const TranscodePreset &preset);
    bool supportsBitrate() const;
    bool supportsAlpha() const;

    // Empties the list and resets the run state; the settings stay.
    void clearAll();
    // Asks whoever shows folders (the window) to open the last output folder.
    void openOutputFolder();
    // Removes every entry with this id.
    void removeVideoFile(const QUuid &id);

    // The codec-dependent rules. They also run by themselves, once the current event has been
    // handled, after any real change of codec, resolution, frame rate or ProRes profile.
    void onCodecChanged();
    void applyCodecRules();
    // Runs now the rules that are due on the next turn of the event loop.
    void settleCodecRules();

    // The settings part of the ffmpeg command line for the current settings.
    Result<QStringList> buildFFmpegArguments() const;

    // File intake. Each call queues its URLs behind what is already queued and returns at once;
    // files are probed one after the other and appended in the order given. A URL whose path
    // ends with "/" is a folder and is searched with its sub-folders.
    void handleDrop(const QList<QUrl> &urls);
    void processSelectedFiles(const QList<QUrl> &urls);
    bool isTakingIn() const;
    // Appends one probed file; intake's only way into the list.
    void appendVideoFile(const VideoFile &file);
    // Adds to the run log in place, so a long run does not copy the whole log per line.
    void appendToFfmpegLog(const QString &text);

    // The batch run: converts every listed file with the current settings, one at a time.
    void startTranscoding();
    // Stops the run: ffmpeg is stopped, partial output removed, sources left as they were.
    void cancelTranscoding();

    // Where ffmpeg and ffprobe are looked up; tests point it at fake tools.
    void setToolLocator(const ToolLocator &locator) { m_tools = locator; }
    const ToolLocator &toolLocator() const { return m_tools; }

    void setTraceWriter(TraceWriter writer) { m_trace = std::move(writer); }
    void trace(const QString &line) const { m_trace(line); }

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
    // Everything queued for intake has been taken in or rejected.
    void intakeFinished();
    // A run has ended; the run state already shows how.
    void runFinished(RunOutcome outcome);

private:
    template <typename T>
    void assign(T &member, const T &value, void (TranscodeViewModel::*changed)())
    {
        if (member == value)
            return;
        member = value;
        Q_EMIT(this->*changed)();
    }

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
    QString m_selectedCodec = Codec::H264Hardware;
    QString m_selectedResolution = OriginalResolution;
    QString m_selectedFrameRate = OriginalFrameRate;
    QString m_selectedColorFormat = QStringLiteral("420 8bit");
    QString m_selectedContainer = QStringLiteral("mp4");
    QStringList m_availableContainers = Choices::containers();
    QStringList m_availableColorFormats;
    bool m_useHardwareAcceleration = true;
    bool m_enableAlpha = false;
    double m_selectedBitrate = 10.0;
    QString m_selectedProResProfile = QStringLiteral("422");
    bool m_overwriteOriginal = false;
    QString m_lastError;
    QString m_runNotice;

    QList<TranscodePreset> m_presets;
    std::optional<double> m_currentVideoTotalDuration;
    TraceWriter m_trace = writeTraceToStandardOutput;
    ToolLocator m_tools;
    CodecRuleWiring *m_codecRuleWiring = nullptr;
    FileIntake *m_intake = nullptr;
    BatchTranscoder *m_batch = nullptr;
};
