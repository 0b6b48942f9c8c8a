#include "session/TranscodeViewModel.h"

#include "domain/FileUrls.h"
#include "domain/SettingsRules.h"
#include "intake/FileIntake.h"
#include "transcode/FFmpegArguments.h"
#include "transcode/FileTranscode.h"
#include "transcode/RunPlan.h"

#include <QFileInfo>

TranscodeViewModel::TranscodeViewModel(RunContext context, QObject *parent)
    : QObject(parent)
    , m_presets(Choices::makePresets())
    , m_context(std::move(context))
    , m_intake(std::make_unique<FileIntake>(m_context.tools, m_context.trace, m_queue))
    , m_engine(std::make_unique<BatchTranscoder>(m_context))
{
    connect(m_intake.get(), &FileIntake::videoFileAdded, this,
            [this](const VideoFile &file) { appendVideoFiles({file}); });
    connect(m_intake.get(), &FileIntake::fileRejected, this,
            [this](const QString &path, const QString &reason) {
                m_rejectedFiles << FileFailureNote{path, reason};
                Q_EMIT rejectedFilesChanged();
                Q_EMIT fileRejected(path, reason);
            });
    connect(m_intake.get(), &FileIntake::fileAlreadyListed, this, [this](const QString &path) {
        m_alreadyListedFiles << path;
        Q_EMIT rejectedFilesChanged();
        Q_EMIT fileAlreadyListed(path);
    });
    connect(m_intake.get(), &FileIntake::finished, this, [this] {
        m_restoring.clear();
        Q_EMIT intakeFinished();
    });

    connect(&m_queue, &JobQueue::rowsInserted, this, &TranscodeViewModel::videoFilesChanged);
    connect(&m_queue, &JobQueue::rowsRemoved, this, &TranscodeViewModel::videoFilesChanged);
    connect(&m_queue, &JobQueue::modelReset, this, &TranscodeViewModel::videoFilesChanged);
    connect(&m_queue, &JobQueue::jobsChanged, this, &TranscodeViewModel::onJobsChanged);
    // An emptied list leaves no run to sum up.
    connect(&m_queue, &JobQueue::rowsRemoved, this, [this] {
        if (m_queue.rowCount() == 0)
            setTranscodeCompleted(false);
    });

    BatchTranscoder *engine = m_engine.get();
    connect(engine, &BatchTranscoder::runStarted, this, [this](const RunPlan &plan) {
        m_queue.planned(plan);
        m_tick.start();
    });
    connect(engine, &BatchTranscoder::jobChanged, this, &TranscodeViewModel::onJobChanged);
    connect(engine, &BatchTranscoder::logText, this, &TranscodeViewModel::appendToLog);
    connect(engine, &BatchTranscoder::notice, this, &TranscodeViewModel::onNotice);
    connect(engine, &BatchTranscoder::runFinished, this, &TranscodeViewModel::onRunFinished);
    // The elapsed time moves on between ffmpeg's reports too.
    m_tick.setInterval(1000);
    connect(&m_tick, &QTimer::timeout, this, [this] {
        m_clock.sample(m_queue, runSeconds());
        Q_EMIT runTimesChanged();
    });
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

double TranscodeViewModel::transcodeProgress() const
{
    return m_transcodeCompleted ? 1.0 : m_queue.runFraction();
}

QString TranscodeViewModel::currentFileName() const
{
    const int row = m_queue.workingRow();
    return row < 0 ? QString() : m_queue.files().at(row).name;
}

int TranscodeViewModel::currentFileIndex() const
{
    const int ordinal = m_queue.workingOrdinal();
    return ordinal > 0 ? ordinal : m_queue.counts().ended();
}

ProgressFigures TranscodeViewModel::workingFigures() const
{
    if (const int row = m_queue.workingRow(); row >= 0)
        return m_queue.job(row).figures;
    // Between files and after the run, the figures of the file that ended last stay.
    const JobRecord *last = nullptr;
    for (int row = 0; row < m_queue.rowCount(); ++row) {
        const JobRecord &job = m_queue.job(row);
        if (m_queue.isInRun(row) && job.finishedAt >= 0 &&
            (!last || job.finishedAt > last->finishedAt))
            last = &job;
    }
    return last ? last->figures : ProgressFigures();
}

void TranscodeViewModel::setSettings(const TranscodeSettings &settings)
{
    const TranscodeSettings before = std::exchange(m_settings, settings);
    const auto tell = [this](bool changed, void (TranscodeViewModel::*signal)()) {
        if (changed)
            Q_EMIT(this->*signal)();
    };
    tell(before.codec != settings.codec, &TranscodeViewModel::selectedCodecChanged);
    tell(before.resolution != settings.resolution, &TranscodeViewModel::selectedResolutionChanged);
    tell(before.frameRate != settings.frameRate, &TranscodeViewModel::selectedFrameRateChanged);
    tell(before.container != settings.container, &TranscodeViewModel::selectedContainerChanged);
    tell(before.enableAlpha != settings.enableAlpha, &TranscodeViewModel::enableAlphaChanged);
    tell(before.bitrate != settings.bitrate, &TranscodeViewModel::selectedBitrateChanged);
    tell(before.proResProfile != settings.proResProfile,
         &TranscodeViewModel::selectedProResProfileChanged);
    tell(before.overwriteOriginal != settings.overwriteOriginal,
         &TranscodeViewModel::overwriteOriginalChanged);
}

void TranscodeViewModel::setSelectedCodec(const QString &value)
{
    setSettings(SettingsRules::withCodec(m_settings, value));
}

void TranscodeViewModel::setSelectedResolution(const QString &value)
{
    setSettings(SettingsRules::withResolution(m_settings, value));
}

void TranscodeViewModel::setSelectedFrameRate(const QString &value)
{
    setSettings(SettingsRules::withFrameRate(m_settings, value));
}

void TranscodeViewModel::setSelectedContainer(const QString &value)
{
    setSettings(SettingsRules::withContainer(m_settings, value));
}

void TranscodeViewModel::setEnableAlpha(bool value)
{
    setSettings(SettingsRules::withAlpha(m_settings, value));
}

void TranscodeViewModel::setSelectedBitrate(double value)
{
    setSettings(SettingsRules::withBitrate(m_settings, value));
}

void TranscodeViewModel::setSelectedProResProfile(const QString &value)
{
    setSettings(SettingsRules::withProResProfile(m_settings, value));
}

void TranscodeViewModel::setOverwriteOriginal(bool value)
{
    setSettings(SettingsRules::withOverwrite(m_settings, value));
}

void TranscodeViewModel::applyPreset(const TranscodePreset &preset)
{
    setSettings(SettingsRules::withPreset(m_settings, preset));
}

bool TranscodeViewModel::isPresetActive(const TranscodePreset &preset) const
{
    return SettingsRules::withPreset(m_settings, preset) == m_settings;
}

void TranscodeViewModel::askEncoderSupport()
{
    const std::optional<QString> ffmpeg = m_context.tools.find(QStringLiteral("ffmpeg"));
    if (!ffmpeg)
        return; // a run says so when it is started
    m_encoderSupport.answer(*ffmpeg, EncoderQuestions{{}, true}, this,
                            [this](const EncoderAnswers &answers) {
                                m_hevcAlphaAvailable = !answers.hevcAlphaEncoder.isEmpty();
                                Q_EMIT encoderSupportChanged();
                            });
}

QString TranscodeViewModel::unavailableReason(const TranscodeSettings &settings) const
{
    if (m_hevcAlphaAvailable.value_or(true) || !encoderQuestions(settings).hevcAlpha)
        return {};
    return QStringLiteral("此 ffmpeg 没有能保留 Alpha 通道的 HEVC 编码器，无法输出带 Alpha 通道的 "
                          "HEVC。要保留 Alpha 通道，请改用 ProRes 4444透明。");
}

bool TranscodeViewModel::supportsBitrate() const
{
    return SettingsRules::supportsBitrate(m_settings.codec);
}

bool TranscodeViewModel::supportsAlpha() const
{
    return SettingsRules::supportsAlpha(m_settings.codec, m_settings.proResProfile);
}

void TranscodeViewModel::setIsTranscoding(bool value)
{
    assign(m_isTranscoding, value, &TranscodeViewModel::isTranscodingChanged);
}

void TranscodeViewModel::setTranscodeCompleted(bool value)
{
    assign(m_transcodeCompleted, value, &TranscodeViewModel::transcodeCompletedChanged);
}

void TranscodeViewModel::setLastOutputDirectory(const QString &value)
{
    assign(m_lastOutputDirectory, value, &TranscodeViewModel::lastOutputDirectoryChanged);
}

void TranscodeViewModel::setLastError(const QString &value)
{
    assign(m_lastError, value, &TranscodeViewModel::lastErrorChanged);
}

void TranscodeViewModel::setRunNotice(const QString &value)
{
    assign(m_runNotice, value, &TranscodeViewModel::runNoticeChanged);
}

void TranscodeViewModel::clearAll()
{
    m_queue.clear();
    m_resumed.clear();
    setIsTranscoding(false);
    clearLog();
    setTranscodeCompleted(false);
    setLastOutputDirectory(QString());
    setLastError(QString());
    setRunNotice(QString());
    m_lastRunSummary = RunSummary();
    onJobsChanged();
}

void TranscodeViewModel::openOutputFolder()
{
    if (m_lastOutputDirectory.isEmpty())
        return;
    Q_EMIT outputFolderOpenRequested(QUrl::fromLocalFile(m_lastOutputDirectory));
}

bool TranscodeViewModel::canRemove(const QUuid &id) const
{
    const int row = m_queue.rowOf(id);
    if (row < 0 || !m_isTranscoding || !m_queue.isInRun(row))
        return true;
    const JobRecord::Status status = m_queue.job(row).status;
    return status != JobRecord::Status::Converting && status != JobRecord::Status::Checking;
}

void TranscodeViewModel::removeVideoFiles(const QList<QUuid> &ids)
{
    QSet<QUuid> removable;
    for (const QUuid &id : ids) {
        if (m_queue.rowOf(id) >= 0 && canRemove(id))
            removable.insert(id);
    }
    if (removable.isEmpty())
        return;
    // A file waiting for its turn in the run is left out of it.
    if (m_isTranscoding) {
        for (const QUuid &id : std::as_const(removable))
            m_engine->leaveOut(id);
    }
    m_queue.remove(removable);
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
    // What the last run came to is no longer what the list holds.
    setTranscodeCompleted(false);
    m_queue.append(files);
    for (const VideoFile &file : files) {
        const auto saved = m_restoring.constFind(filePath(file.url));
        if (saved == m_restoring.cend())
            continue;
        m_resumed.insert(file.id);
        if (saved->status == JobRecord::Status::Waiting)
            continue;
        JobRecord record;
        record.status = saved->status;
        record.outputPath = saved->outputPath;
        record.outcome.outputPath = saved->outputPath;
        record.outcome.outputSize = saved->outputSize;
        record.outcome.reason = saved->reason;
        record.outcome.replacedSource = saved->replacedSource;
        record.outcome.replacedOutput = saved->replacedOutput;
        m_queue.restore(file.id, record);
    }
}

void TranscodeViewModel::restoreQueue(const QList<SavedFile> &files)
{
    QList<QUrl> urls;
    QSet<QString> folders;
    for (const SavedFile &file : files) {
        urls << QUrl::fromLocalFile(file.path);
        m_restoring.insert(file.path, file);
        folders.insert(QFileInfo(file.path).path());
    }
    // A run that replaced originals and was killed left its partial result beside the source;
    // the run taken back writes elsewhere unless told to replace again, and nothing else
    // would remove it.
    for (const QString &folder : std::as_const(folders)) {
        for (const QString &path : removeLeftoverPartials(folder))
            trace(QStringLiteral("已移除上次中断的转码留下的临时文件: ") + path);
    }
    processSelectedFiles(urls);
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

QSet<QUuid> TranscodeViewModel::unconvertedFiles() const
{
    QSet<QUuid> files;
    for (int row = 0; row < m_queue.rowCount(); ++row) {
        if (m_queue.job(row).status != JobRecord::Status::Done)
            files.insert(m_queue.files().at(row).id);
    }
    return files;
}

bool TranscodeViewModel::hasFilesToConvert() const
{
    // From the end, where new files come.
    for (int row = m_queue.rowCount() - 1; row >= 0; --row) {
        if (m_queue.job(row).status != JobRecord::Status::Done)
            return true;
    }
    return false;
}

bool TranscodeViewModel::hasWaitingFiles() const
{
    // From the end, where new files come.
    for (int row = m_queue.rowCount() - 1; row >= 0; --row) {
        if (!m_queue.isInRun(row) && m_queue.job(row).status == JobRecord::Status::Waiting)
            return true;
    }
    return false;
}

QSet<QUuid> TranscodeViewModel::failedFiles() const
{
    QSet<QUuid> failed;
    for (int row = 0; row < m_queue.rowCount(); ++row) {
        if (m_queue.job(row).status == JobRecord::Status::Failed)
            failed.insert(m_queue.files().at(row).id);
    }
    return failed;
}

void TranscodeViewModel::startTranscoding(RunOptions options)
{
    // What an earlier run converted is not converted again.
    startRun(unconvertedFiles(), options);
}

void TranscodeViewModel::retryFailedFiles(RunOptions options)
{
    startRun(failedFiles(), std::move(options));
}

QStringList TranscodeViewModel::existingOutputs(const QSet<QUuid> &files) const
{
    PlanEnvironment environment;
    environment.fileAt = diskEntryAt;
    environment.choices.only = files;
    environment.choices.resumed = m_resumed;
    return ::existingOutputs(m_settings, m_queue.files(), environment);
}

void TranscodeViewModel::removeConvertedFiles()
{
    if (m_isTranscoding)
        return;
    QSet<QUuid> done;
    for (int row = 0; row < m_queue.rowCount(); ++row) {
        if (m_queue.job(row).status == JobRecord::Status::Done)
            done.insert(m_queue.files().at(row).id);
    }
    m_queue.remove(done);
}

double TranscodeViewModel::runSeconds() const
{
    return m_runTimer.isValid() ? static_cast<double>(m_runTimer.elapsed()) / 1000.0 : 0.0;
}

RunTimes TranscodeViewModel::runTimes() const
{
    if (!m_runTimer.isValid())
        return {};
    return m_clock.times(runSeconds());
}

void TranscodeViewModel::startRun(const QSet<QUuid> &files, RunOptions options)
{
    if (files.isEmpty() || m_engine->isRunning())
        return;
    // Named over the whole list, so a namesake's output keeps the name an earlier run gave it.
    if (files.size() < m_queue.rowCount())
        options.only = files;
    // A list taken back after a crash may hold results made after its last save.
    options.resumed = m_resumed;
    setLastError(QString());
    setRunNotice(QString());
    clearLog();
    setTranscodeCompleted(false);
    setIsTranscoding(true);
    m_runTimer.start();
    m_clock.start(0);
    m_queue.beginRun(m_queue.files(), files);
    m_engine->start(m_settings, m_queue.files(), options);
}

void TranscodeViewModel::cancelTranscoding()
{
    m_engine->cancel();
}

void TranscodeViewModel::onJobChanged(const JobRecord &record)
{
    m_queue.update(record);
    if (record.status == JobRecord::Status::Failed) {
        const int row = m_queue.rowOf(record.fileId);
        if (row >= 0)
            setLastError(m_queue.files().at(row).name + QStringLiteral(": ") +
                         record.outcome.reason);
    }
    // A replaced source is listed as what replaced it.
    if (record.status == JobRecord::Status::Done && record.outcome.replacedSource)
        m_queue.replaceFile(record.fileId, record.outcome.result);
}

void TranscodeViewModel::onJobsChanged()
{
    if (m_isTranscoding)
        m_clock.sample(m_queue, runSeconds());
    Q_EMIT transcodeProgressChanged();
    Q_EMIT currentFileNameChanged();
    Q_EMIT currentFileIndexChanged();
    Q_EMIT totalFilesChanged();
    Q_EMIT currentFrameChanged();
    Q_EMIT currentFPSChanged();
    Q_EMIT currentBitrateChanged();
    Q_EMIT currentSpeedChanged();
    Q_EMIT runProgressChanged();
    Q_EMIT runTimesChanged();
}

void TranscodeViewModel::onNotice(const QString &text)
{
    setRunNotice(m_runNotice.isEmpty() ? text : m_runNotice + QLatin1Char('\n') + text);
}

void TranscodeViewModel::onRunFinished(const RunSummary &summary)
{
    m_tick.stop();
    m_lastRunSummary = summary;
    switch (summary.outcome) {
    case RunOutcome::Completed:
        setTranscodeCompleted(true);
        setIsTranscoding(false);
        setLastOutputDirectory(summary.outputDirectory);
        break;
    case RunOutcome::Failed:
        setIsTranscoding(false);
        setLastError(summary.reason);
        break;
    case RunOutcome::Cancelled:
        setIsTranscoding(false);
        setRunNotice(QStringLiteral("转码已取消"));
        break;
    }
    m_queue.endRun();
    Q_EMIT runFinished(summary.outcome);
}
