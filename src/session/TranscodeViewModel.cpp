#include "session/TranscodeViewModel.h"

#include "domain/CodecRules.h"
#include "intake/FileIntake.h"
#include "session/CodecRuleWiring.h"
#include "transcode/FFmpegArguments.h"

TranscodeViewModel::TranscodeViewModel(RunContext context, QObject *parent)
    : QObject(parent)
    , m_presets(Choices::makePresets())
    , m_context(std::move(context))
    , m_codecRuleWiring(std::make_unique<CodecRuleWiring>(*this))
    , m_intake(std::make_unique<FileIntake>(m_context.tools, m_context.trace, m_videoFiles))
    , m_engine(std::make_unique<BatchTranscoder>(m_context))
{
    connect(m_intake.get(), &FileIntake::videoFileAdded, this,
            &TranscodeViewModel::onVideoFileAdded);
    connect(m_intake.get(), &FileIntake::fileRejected, this, &TranscodeViewModel::onFileRejected);
    connect(m_intake.get(), &FileIntake::fileAlreadyListed, this, [this](const QString &path) {
        m_alreadyListedFiles << path;
        Q_EMIT rejectedFilesChanged();
        Q_EMIT fileAlreadyListed(path);
    });
    connect(m_intake.get(), &FileIntake::finished, this, &TranscodeViewModel::intakeFinished);

    BatchTranscoder *engine = m_engine.get();
    connect(engine, &BatchTranscoder::runStarted, this, [this](const RunPlan &plan) {
        setTotalFiles(static_cast<int>(plan.files.size()));
        QHash<int, double> durations;
        for (const PlannedFile &file : plan.files)
            durations.insert(file.position, file.source.duration);
        m_clock.start(durations, 0);
        m_runTimer.start();
        m_tick.start();
    });

    connect(engine, &BatchTranscoder::fileStarted, this, &TranscodeViewModel::onFileStarted);
    connect(engine, &BatchTranscoder::fileProgress, this, &TranscodeViewModel::onFileProgress);
    connect(engine, &BatchTranscoder::fileFinished, this, &TranscodeViewModel::onFileFinished);
    connect(engine, &BatchTranscoder::logText, this, &TranscodeViewModel::appendToLog);
    connect(engine, &BatchTranscoder::notice, this, &TranscodeViewModel::onNotice);
    connect(engine, &BatchTranscoder::runFinished, this, &TranscodeViewModel::onRunFinished);
    // The elapsed time moves on between ffmpeg's reports too.
    m_tick.setInterval(1000);
    connect(&m_tick, &QTimer::timeout, this, &TranscodeViewModel::runTimesChanged);
}

TranscodeViewModel::~TranscodeViewModel()
{
    // While the model is still whole: a run in progress is cancelled, children are stopped,
    // and nothing reports back to a model half gone.
    m_engine->disconnect(this);
    m_intake->disconnect(this);
    m_engine.reset();
    m_intake.reset();
}

void TranscodeViewModel::setSelectedCodec(const QString &value)
{
    assign(m_settings.codec, value, &TranscodeViewModel::selectedCodecChanged);
}

void TranscodeViewModel::setSelectedResolution(const QString &value)
{
    assign(m_settings.resolution, value, &TranscodeViewModel::selectedResolutionChanged);
}

void TranscodeViewModel::setSelectedFrameRate(const QString &value)
{
    assign(m_settings.frameRate, value, &TranscodeViewModel::selectedFrameRateChanged);
}

void TranscodeViewModel::setSelectedColorFormat(const QString &value)
{
    assign(m_selectedColorFormat, value, &TranscodeViewModel::selectedColorFormatChanged);
}

void TranscodeViewModel::setSelectedContainer(const QString &value)
{
    assign(m_settings.container, value, &TranscodeViewModel::selectedContainerChanged);
}

void TranscodeViewModel::setUseHardwareAcceleration(bool value)
{
    assign(m_useHardwareAcceleration, value, &TranscodeViewModel::useHardwareAccelerationChanged);
}

void TranscodeViewModel::setEnableAlpha(bool value)
{
    assign(m_settings.enableAlpha, value, &TranscodeViewModel::enableAlphaChanged);
}

void TranscodeViewModel::setSelectedBitrate(double value)
{
    assign(m_settings.bitrate, value, &TranscodeViewModel::selectedBitrateChanged);
}

void TranscodeViewModel::setSelectedProResProfile(const QString &value)
{
    assign(m_settings.proResProfile, value, &TranscodeViewModel::selectedProResProfileChanged);
}

void TranscodeViewModel::setOverwriteOriginal(bool value)
{
    assign(m_settings.overwriteOriginal, value, &TranscodeViewModel::overwriteOriginalChanged);
}

void TranscodeViewModel::setVideoFiles(const QList<VideoFile> &files)
{
    m_intake->listChanged();
    assign(m_videoFiles, files, &TranscodeViewModel::videoFilesChanged);
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

void TranscodeViewModel::setTranscodeCompleted(bool value)
{
    assign(m_transcodeCompleted, value, &TranscodeViewModel::transcodeCompletedChanged);
}

void TranscodeViewModel::setLastOutputDirectory(const QString &value)
{
    assign(m_lastOutputDirectory, value, &TranscodeViewModel::lastOutputDirectoryChanged);
}

void TranscodeViewModel::setFigures(const ProgressFigures &figures)
{
    assign(m_currentFrame, figures.frame, &TranscodeViewModel::currentFrameChanged);
    assign(m_currentFPS, figures.fps, &TranscodeViewModel::currentFPSChanged);
    assign(m_currentBitrate, figures.bitrate, &TranscodeViewModel::currentBitrateChanged);
    assign(m_currentSpeed, figures.speed, &TranscodeViewModel::currentSpeedChanged);
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
    return CodecRules::supportsBitrate(m_settings.codec);
}

bool TranscodeViewModel::supportsAlpha() const
{
    return CodecRules::supportsAlpha(m_settings.codec, m_settings.proResProfile);
}

void TranscodeViewModel::clearAll()
{
    setVideoFiles({});
    setIsTranscoding(false);
    setTranscodeProgress(0);
    setCurrentFileName(QString());
    setCurrentFileIndex(0);
    setTotalFiles(0);
    clearLog();
    setTranscodeCompleted(false);
    setLastOutputDirectory(QString());
    setFigures({});
    setLastError(QString());
    setRunNotice(QString());
    m_fileRunStates.clear();
}

void TranscodeViewModel::openOutputFolder()
{
    if (m_lastOutputDirectory.isEmpty())
        return;
    Q_EMIT outputFolderOpenRequested(QUrl::fromLocalFile(m_lastOutputDirectory));
}

bool TranscodeViewModel::canRemove(const QUuid &id) const
{
    return !(m_isTranscoding && id == m_convertingId);
}

void TranscodeViewModel::removeVideoFiles(const QList<QUuid> &ids)
{
    QSet<QUuid> removable;
    for (const QUuid &id : ids) {
        if (canRemove(id))
            removable.insert(id);
    }
    QList<VideoFile> remaining = m_videoFiles;
    if (remaining.removeIf([&](const VideoFile &file) { return removable.contains(file.id); }) == 0)
        return;
    // A file waiting for its turn in the run is skipped.
    if (m_isTranscoding) {
        for (const QUuid &id : std::as_const(removable))
            m_engine->skip(id);
    }
    setVideoFiles(remaining);
}

void TranscodeViewModel::onCodecChanged()
{
    const CodecRuleSettings after = CodecRules::afterCodecChange(
        {m_settings.codec, m_settings.container, m_settings.proResProfile, m_settings.enableAlpha});
    setSelectedContainer(after.container);
    applyCodecRules();
}

void TranscodeViewModel::applyCodecRules()
{
    const CodecRuleSettings after = CodecRules::apply(
        {m_settings.codec, m_settings.container, m_settings.proResProfile, m_settings.enableAlpha});
    setSelectedProResProfile(after.proResProfile);
    setEnableAlpha(after.enableAlpha);
}

void TranscodeViewModel::settleCodecRules()
{
    m_codecRuleWiring->settle();
}

Result<QStringList> TranscodeViewModel::buildFFmpegArguments() const
{
    return ::buildFFmpegArguments(m_settings);
}

// What the last intake could not add is forgotten when the next one starts.
void TranscodeViewModel::forgetLastIntakeIfIdle()
{
    if (m_intake->isBusy())
        return;
    m_rejectedFiles.clear();
    m_alreadyListedFiles.clear();
    Q_EMIT rejectedFilesChanged();
}

void TranscodeViewModel::handleDrop(const QList<QUrl> &urls)
{
    forgetLastIntakeIfIdle();
    m_intake->handleDrop(urls);
}

void TranscodeViewModel::processSelectedFiles(const QList<QUrl> &urls)
{
    forgetLastIntakeIfIdle();
    m_intake->processSelectedFiles(urls);
}

bool TranscodeViewModel::isTakingIn() const
{
    return m_intake->isBusy();
}

void TranscodeViewModel::appendVideoFiles(const QList<VideoFile> &files)
{
    if (files.isEmpty())
        return;
    // Appended in place, one change for the lot: intake reads the list back at once.
    m_videoFiles.append(files);
    Q_EMIT videoFilesChanged();
}

void TranscodeViewModel::onVideoFileAdded(const VideoFile &file)
{
    appendVideoFiles({file});
}

void TranscodeViewModel::onFileRejected(const QString &path, const QString &reason)
{
    m_rejectedFiles << FileFailureNote{path, reason};
    Q_EMIT rejectedFilesChanged();
    Q_EMIT fileRejected(path, reason);
}

void TranscodeViewModel::clearLog()
{
    if (m_ffmpegLog.isEmpty())
        return;
    m_ffmpegLog.clear();
    Q_EMIT ffmpegLogChanged();
}

void TranscodeViewModel::appendToLog(const QString &text)
{
    if (text.isEmpty())
        return;
    m_ffmpegLog.append(text);
    if (m_ffmpegLog.size() > LogLimit) {
        // The oldest quarter goes, up to a line end.
        const qsizetype cut = m_ffmpegLog.indexOf(QLatin1Char('\n'), LogLimit / 4);
        m_ffmpegLog.remove(0, cut < 0 ? m_ffmpegLog.size() - LogLimit : cut + 1);
    }
    Q_EMIT ffmpegLogChanged();
    Q_EMIT ffmpegLogAppended(text);
}

void TranscodeViewModel::startTranscoding(const RunOptions &options)
{
    startRun(m_videoFiles, options);
}

void TranscodeViewModel::retryFailedFiles()
{
    // Named over the whole list as before, so a namesake's output keeps its name.
    RunOptions options;
    for (const VideoFile &file : std::as_const(m_videoFiles)) {
        const std::optional<FileRunState> state = fileRunState(file.id);
        if (state && state->status == FileRunState::Status::Failed)
            options.only.insert(file.id);
    }
    if (!options.only.isEmpty())
        startRun(m_videoFiles, options);
}

void TranscodeViewModel::removeConvertedFiles()
{
    if (m_isTranscoding)
        return;
    QList<VideoFile> remaining = m_videoFiles;
    remaining.removeIf([this](const VideoFile &file) {
        const std::optional<FileRunState> state = fileRunState(file.id);
        return state && state->status == FileRunState::Status::Converted;
    });
    setVideoFiles(remaining);
}

RunTimes TranscodeViewModel::runTimes() const
{
    if (!m_runTimer.isValid())
        return {};
    return m_clock.times(static_cast<double>(m_runTimer.elapsed()) / 1000.0);
}

void TranscodeViewModel::startRun(const QList<VideoFile> &files, const RunOptions &options)
{
    if (files.isEmpty() || m_engine->isRunning())
        return;
    setLastError(QString());
    setRunNotice(QString());
    clearLog();
    setIsTranscoding(true);
    setTranscodeProgress(0.0);
    setCurrentFileIndex(0);
    setTotalFiles(static_cast<int>(options.only.isEmpty() ? files.size() : options.only.size()));
    setTranscodeCompleted(false);
    m_finishedFiles = 0;
    m_runTimer.invalidate();
    for (const VideoFile &file : files) {
        if (options.only.isEmpty() || options.only.contains(file.id))
            setFileRunState(file.id, FileRunState{});
    }
    m_engine->start(m_settings, files, options);
}

void TranscodeViewModel::cancelTranscoding()
{
    m_engine->cancel();
}

std::optional<FileRunState> TranscodeViewModel::fileRunState(const QUuid &id) const
{
    const auto state = m_fileRunStates.constFind(id);
    if (state == m_fileRunStates.cend())
        return std::nullopt;
    return *state;
}

void TranscodeViewModel::setFileRunState(const QUuid &id, const FileRunState &state)
{
    m_fileRunStates.insert(id, state);
    Q_EMIT fileRunStateChanged(id);
}

void TranscodeViewModel::onFileStarted(const PlannedFile &file)
{
    m_convertingId = file.source.id;
    // ffmpeg's figures belong to the file they describe.
    setFigures({});
    setCurrentFileIndex(file.position + 1);
    setCurrentFileName(file.source.name);
    m_currentVideoTotalDuration = file.source.duration;
    setFileRunState(file.source.id, FileRunState{FileRunState::Status::Converting, 0, 0, {}});
    m_clock.fileStarted(file.position, static_cast<double>(m_runTimer.elapsed()) / 1000.0);
    Q_EMIT runTimesChanged();
}

void TranscodeViewModel::onFileProgress(const PlannedFile &file, double fileFraction,
                                        double runFraction, const ProgressFigures &figures)
{
    setTranscodeProgress(runFraction);
    setFigures(figures);
    setFileRunState(file.source.id,
                    FileRunState{FileRunState::Status::Converting, fileFraction, 0, {}});
    m_clock.fileProgress(file.position, fileFraction, figures.speed);
    Q_EMIT runTimesChanged();
}

void TranscodeViewModel::onFileFinished(const PlannedFile &file, const FileOutcome &outcome)
{
    FileRunState state;
    switch (outcome.status) {
    case FileOutcome::Status::Converted:
        state = {FileRunState::Status::Converted, 1.0, outcome.outputSize, {}};
        break;
    case FileOutcome::Status::Failed:
        state = {FileRunState::Status::Failed, 0, 0, outcome.reason};
        setLastError(file.source.name + QStringLiteral(": ") + outcome.reason);
        break;
    case FileOutcome::Status::Skipped:
        state = {FileRunState::Status::Skipped, 0, outcome.outputSize, outcome.reason};
        break;
    case FileOutcome::Status::Cancelled:
        state = {FileRunState::Status::Waiting, 0, 0, {}};
        break;
    }
    setFileRunState(file.source.id, state);
    m_clock.fileFinished(file.position);
    if (outcome.status != FileOutcome::Status::Cancelled && m_totalFiles > 0)
        setTranscodeProgress(static_cast<double>(++m_finishedFiles) / m_totalFiles);
    // A replaced source is listed as what replaced it.
    if (file.replacesSource && outcome.status == FileOutcome::Status::Converted) {
        QList<VideoFile> files = m_videoFiles;
        for (VideoFile &listed : files) {
            if (listed.id == file.source.id) {
                const QUuid id = listed.id;
                listed = outcome.result;
                listed.id = id;
            }
        }
        setVideoFiles(files);
    }
}

void TranscodeViewModel::onNotice(const QString &text)
{
    setRunNotice(m_runNotice.isEmpty() ? text : m_runNotice + QLatin1Char('\n') + text);
}

void TranscodeViewModel::onRunFinished(const RunSummary &summary)
{
    m_tick.stop();
    m_lastRunSummary = summary;
    m_convertingId = QUuid();
    switch (summary.outcome) {
    case RunOutcome::Completed:
        setTranscodeCompleted(true);
        setIsTranscoding(false);
        setCurrentFileName(QString());
        setTranscodeProgress(1.0);
        setLastOutputDirectory(summary.outputDirectory);
        break;
    case RunOutcome::Failed:
        setIsTranscoding(false);
        setTranscodeCompleted(false);
        setLastError(summary.reason);
        break;
    case RunOutcome::Cancelled:
        setIsTranscoding(false);
        setTranscodeCompleted(false);
        setRunNotice(QStringLiteral("转码已取消"));
        break;
    }
    Q_EMIT runFinished(summary.outcome);
}
