#include "model/TranscodeViewModel.h"

#include "intake/FileIntake.h"
#include "model/CodecRuleWiring.h"
#include "model/CodecRules.h"
#include "transcode/BatchTranscoder.h"
#include "transcode/FFmpegArguments.h"

#include <QDir>

TranscodeViewModel::TranscodeViewModel(QObject *parent)
    : QObject(parent)
    , m_presets(Choices::makePresets())
{
    m_codecRuleWiring = new CodecRuleWiring(*this);
    m_intake = new FileIntake(*this);
    connect(m_intake, &FileIntake::finished, this, &TranscodeViewModel::intakeFinished);
    m_batch = new BatchTranscoder(*this);
    connect(m_batch, &BatchTranscoder::finished, this, &TranscodeViewModel::runFinished);
}

TranscodeViewModel::~TranscodeViewModel()
{
    // While the model is still whole: a run in progress is cancelled, children are stopped.
    delete m_batch;
    delete m_intake;
}

void TranscodeViewModel::setVideoFiles(const QList<VideoFile> &value)
{
    assign(m_videoFiles, value, &TranscodeViewModel::videoFilesChanged);
}

void TranscodeViewModel::setIsTranscoding(bool value)
{
    assign(m_isTranscoding, value, &TranscodeViewModel::isTranscodingChanged);
}

void TranscodeViewModel::setTranscodeProgress(double value)
{
    assign(m_transcodeProgress, value, &TranscodeViewModel::transcodeProgressChanged);
}

void TranscodeViewModel::setCurrentFileName(const QString &value)
{
    assign(m_currentFileName, value, &TranscodeViewModel::currentFileNameChanged);
}

void TranscodeViewModel::setCurrentFileIndex(int value)
{
    assign(m_currentFileIndex, value, &TranscodeViewModel::currentFileIndexChanged);
}

void TranscodeViewModel::setTotalFiles(int value)
{
    assign(m_totalFiles, value, &TranscodeViewModel::totalFilesChanged);
}

void TranscodeViewModel::setFfmpegLog(const QString &value)
{
    assign(m_ffmpegLog, value, &TranscodeViewModel::ffmpegLogChanged);
}

void TranscodeViewModel::setTranscodeCompleted(bool value)
{
    assign(m_transcodeCompleted, value, &TranscodeViewModel::transcodeCompletedChanged);
}

void TranscodeViewModel::setLastOutputDirectory(const QString &value)
{
    assign(m_lastOutputDirectory, value, &TranscodeViewModel::lastOutputDirectoryChanged);
}

void TranscodeViewModel::setCurrentFrame(qint64 value)
{
    assign(m_currentFrame, value, &TranscodeViewModel::currentFrameChanged);
}

void TranscodeViewModel::setCurrentFPS(double value)
{
    assign(m_currentFPS, value, &TranscodeViewModel::currentFPSChanged);
}

void TranscodeViewModel::setCurrentBitrate(double value)
{
    assign(m_currentBitrate, value, &TranscodeViewModel::currentBitrateChanged);
}

void TranscodeViewModel::setCurrentSpeed(double value)
{
    assign(m_currentSpeed, value, &TranscodeViewModel::currentSpeedChanged);
}

void TranscodeViewModel::setSelectedCodec(const QString &value)
{
    assign(m_selectedCodec, value, &TranscodeViewModel::selectedCodecChanged);
}

void TranscodeViewModel::setSelectedResolution(const QString &value)
{
    assign(m_selectedResolution, value, &TranscodeViewModel::selectedResolutionChanged);
}

void TranscodeViewModel::setSelectedFrameRate(const QString &value)
{
    assign(m_selectedFrameRate, value, &TranscodeViewModel::selectedFrameRateChanged);
}

void TranscodeViewModel::setSelectedColorFormat(const QString &value)
{
    assign(m_selectedColorFormat, value, &TranscodeViewModel::selectedColorFormatChanged);
}

void TranscodeViewModel::setSelectedContainer(const QString &value)
{
    assign(m_selectedContainer, value, &TranscodeViewModel::selectedContainerChanged);
}

void TranscodeViewModel::setAvailableContainers(const QStringList &value)
{
    assign(m_availableContainers, value, &TranscodeViewModel::availableContainersChanged);
}

void TranscodeViewModel::setAvailableColorFormats(const QStringList &value)
{
    assign(m_availableColorFormats, value, &TranscodeViewModel::availableColorFormatsChanged);
}

void TranscodeViewModel::setUseHardwareAcceleration(bool value)
{
    assign(m_useHardwareAcceleration, value, &TranscodeViewModel::useHardwareAccelerationChanged);
}

void TranscodeViewModel::setEnableAlpha(bool value)
{
    assign(m_enableAlpha, value, &TranscodeViewModel::enableAlphaChanged);
}

void TranscodeViewModel::setSelectedBitrate(double value)
{
    assign(m_selectedBitrate, value, &TranscodeViewModel::selectedBitrateChanged);
}

void TranscodeViewModel::setSelectedProResProfile(const QString &value)
{
    assign(m_selectedProResProfile, value, &TranscodeViewModel::selectedProResProfileChanged);
}

void TranscodeViewModel::setOverwriteOriginal(bool value)
{
    assign(m_overwriteOriginal, value, &TranscodeViewModel::overwriteOriginalChanged);
}

void TranscodeViewModel::setLastError(const QString &value)
{
    assign(m_lastError, value, &TranscodeViewModel::lastErrorChanged);
}

void TranscodeViewModel::setRunNotice(const QString &value)
{
    assign(m_runNotice, value, &TranscodeViewModel::runNoticeChanged);
}

void TranscodeViewModel::applyPreset(const TranscodePreset &preset)
{
    setSelectedCodec(preset.codec);
    setSelectedResolution(preset.resolution);
    setSelectedFrameRate(preset.frameRate);
    setSelectedBitrate(preset.bitrate);
    setSelectedContainer(preset.container);
    setSelectedProResProfile(preset.proResProfile);
    setEnableAlpha(preset.enableAlpha);
    if (preset.name == Av1PresetName)
        setOverwriteOriginal(false);
    applyCodecRules();
}

bool TranscodeViewModel::supportsBitrate() const
{
    return CodecRules::supportsBitrate(m_selectedCodec);
}

bool TranscodeViewModel::supportsAlpha() const
{
    return CodecRules::supportsAlpha(m_selectedCodec, m_selectedProResProfile);
}

void TranscodeViewModel::clearAll()
{
    setVideoFiles({});
    setIsTranscoding(false);
    setTranscodeProgress(0);
    setCurrentFileName(QString());
    setCurrentFileIndex(0);
    setTotalFiles(0);
    setFfmpegLog(QString());
    setTranscodeCompleted(false);
    setLastOutputDirectory(QString());
    setCurrentFrame(0);
    setCurrentFPS(0);
    setCurrentBitrate(0);
    setCurrentSpeed(0);
    setLastError(QString());
    setRunNotice(QString());
}

void TranscodeViewModel::openOutputFolder()
{
    if (m_lastOutputDirectory.isEmpty())
        return;
    Q_EMIT outputFolderOpenRequested(QUrl::fromLocalFile(m_lastOutputDirectory));
}

void TranscodeViewModel::removeVideoFile(const QUuid &id)
{
    QList<VideoFile> remaining = m_videoFiles;
    if (remaining.removeIf([&](const VideoFile &file) { return file.id == id; }) > 0)
        setVideoFiles(remaining);
}

void TranscodeViewModel::onCodecChanged()
{
    const CodecRuleSettings after = CodecRules::afterCodecChange(
        {m_selectedCodec, m_selectedContainer, m_selectedProResProfile, m_enableAlpha});
    setSelectedContainer(after.container);
    applyCodecRules();
}

void TranscodeViewModel::applyCodecRules()
{
    const CodecRuleSettings after = CodecRules::apply(
        {m_selectedCodec, m_selectedContainer, m_selectedProResProfile, m_enableAlpha});
    setSelectedProResProfile(after.proResProfile);
    setEnableAlpha(after.enableAlpha);
}

void TranscodeViewModel::settleCodecRules()
{
    m_codecRuleWiring->settle();
}

Result<QStringList> TranscodeViewModel::buildFFmpegArguments() const
{
    return ::buildFFmpegArguments({m_selectedCodec, m_selectedBitrate, m_selectedProResProfile,
                                   m_enableAlpha, m_selectedResolution, m_selectedFrameRate});
}

void TranscodeViewModel::appendVideoFile(const VideoFile &file)
{
    m_videoFiles.append(file);
    Q_EMIT videoFilesChanged();
}

void TranscodeViewModel::appendToFfmpegLog(const QString &text)
{
    if (text.isEmpty())
        return;
    m_ffmpegLog.append(text);
    Q_EMIT ffmpegLogChanged();
    Q_EMIT ffmpegLogAppended(text);
}

void TranscodeViewModel::handleDrop(const QList<QUrl> &urls)
{
    m_intake->handleDrop(urls);
}

void TranscodeViewModel::processSelectedFiles(const QList<QUrl> &urls)
{
    m_intake->processSelectedFiles(urls);
}

bool TranscodeViewModel::isTakingIn() const
{
    return m_intake->isBusy();
}

void TranscodeViewModel::startTranscoding()
{
    m_batch->start();
}

void TranscodeViewModel::cancelTranscoding()
{
    m_batch->cancel();
}
