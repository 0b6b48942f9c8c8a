#include "cli/CliSession.h"

#include "domain/FileUrls.h"
#include "domain/Trace.h"
#include "intake/IntakeUrls.h"
#include "process/CommandText.h"
#include "process/TerminationSignals.h"
#include "session/RunClock.h"
#include "session/TranscodeViewModel.h"
#include "transcode/RunPlanner.h"

#include <QDir>
#include <QJsonDocument>
#include <QThread>

#include <cstdio>
#include <unistd.h>

namespace {

QJsonObject settingsObject(const TranscodeSettings &settings)
{
    return {{QStringLiteral("codec"), settings.codec},
            {QStringLiteral("container"), settings.container},
            {QStringLiteral("prores_profile"), settings.proResProfile},
            {QStringLiteral("resolution"), settings.resolution},
            {QStringLiteral("frame_rate"), settings.frameRate},
            {QStringLiteral("bitrate_mbps"), settings.bitrate},
            {QStringLiteral("alpha"), settings.enableAlpha},
            {QStringLiteral("overwrite"), settings.overwriteOriginal}};
}

// A file's key for its shard: its path below the named folder it was found in, or its name
// where it was named itself. It stays the same whatever else the folders hold, so a file keeps
// its shard when the tree changes between the shards' starts, and hosts that mount the tree
// at other places agree.
std::function<QString(const VideoFile &)> shardKeyFor(const QStringList &paths)
{
    QStringList folders;
    for (const QString &path : paths) {
        const QString named = QDir::cleanPath(QDir::current().absoluteFilePath(path));
        folders << (named.endsWith(u'/') ? named : named + u'/');
    }
    return [folders](const VideoFile &file) {
        const QString path = filePath(file.url);
        for (const QString &folder : folders) {
            if (path.startsWith(folder))
                return path.mid(folder.size());
        }
        return lastPathComponent(file.url);
    };
}

// The run's choices besides the settings, as the options give them.
PlanChoices planChoices(const CliOptions &options)
{
    PlanChoices choices;
    choices.shard = options.shard;
    choices.shardKey = shardKeyFor(options.paths);
    choices.existingOutput = options.skipExisting ? ExistingOutput::Skip : ExistingOutput::KeepBoth;
    return choices;
}

QJsonObject fileObject(const PlannedFile &file)
{
    return {{QStringLiteral("index"), file.position},
            {QStringLiteral("path"), filePath(file.source.url)},
            {QStringLiteral("output"), file.outputPath}};
}

} // namespace

CliSession::CliSession(TranscodeViewModel &model, CliOptions options)
    : m_model(model)
    , m_options(std::move(options))
    , m_signals(std::make_unique<TerminationSignals>())
{
    connect(m_signals.get(), &TerminationSignals::received, this, &CliSession::onSignal);
    m_progressIsLive = !m_options.json && ::isatty(STDERR_FILENO) == 1;
    connect(&m_model, &TranscodeViewModel::intakeFinished, this, &CliSession::onIntakeFinished);
    connect(&m_model, &TranscodeViewModel::fileRejected, this,
            [this](const QString &path, const QString &reason) {
                say(QStringLiteral("无法添加 %1: %2").arg(path, reason));
                emitEvent(QStringLiteral("file-rejected"),
                          {{QStringLiteral("path"), path}, {QStringLiteral("reason"), reason}});
            });
    connect(&m_model, &TranscodeViewModel::fileAlreadyListed, this,
            [this](const QString &path) { say(QStringLiteral("已在列表中，不再添加: ") + path); });
    const BatchTranscoder &engine = m_model.engine();
    connect(&engine, &BatchTranscoder::fileStarted, this, &CliSession::onFileStarted);
    connect(&engine, &BatchTranscoder::fileProgress, this, &CliSession::onFileProgress);
    connect(&engine, &BatchTranscoder::fileFinished, this, &CliSession::onFileFinished);
    connect(&engine, &BatchTranscoder::notice, this, [this](const QString &text) { say(text); });
    connect(&engine, &BatchTranscoder::runStarted, this, [this](const RunPlan &plan) {
        m_total = static_cast<int>(plan.files.size());
        emitEvent(QStringLiteral("run-start"),
                  {{QStringLiteral("files"), m_total},
                   {QStringLiteral("listing"), plan.listingSize},
                   {QStringLiteral("output_directory"), plan.outputDirectory},
                   {QStringLiteral("settings"), settingsObject(m_model.settings())}});
    });
    connect(&m_model, &TranscodeViewModel::runFinished, this, &CliSession::onRunFinished);
}

CliSession::~CliSession() = default;

void CliSession::start()
{
    QList<QUrl> urls;
    for (const QString &path : m_options.paths)
        urls << intakeUrlFromPath(path);
    m_model.processSelectedFiles(urls);
}

void CliSession::say(const QString &text) const
{
    writeLineToStandardError(QStringLiteral("quillmere-cli: ") + text);
}

void CliSession::emitEvent(const QString &event, QJsonObject fields) const
{
    if (!m_options.json)
        return;
    fields.insert(QStringLiteral("event"), event);
    const QByteArray line = QJsonDocument(fields).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fflush(stdout);
    std::clearerr(stdout);
}

void CliSession::onIntakeFinished()
{
    if (m_interrupted)
        return finish(130);
    const int listed = static_cast<int>(m_model.videoFiles().size());
    const int rejected = static_cast<int>(m_model.rejectedFiles().size());
    if (listed == 0) {
        say(QStringLiteral("没有可转码的视频（%1 个无法添加）").arg(rejected));
        return finish(1);
    }
    switch (m_options.mode) {
    case CliOptions::Mode::Probe:
        say(QStringLiteral("已列出 %1 个视频，%2 个无法添加").arg(listed).arg(rejected));
        return finish(0);
    case CliOptions::Mode::DryRun:
        m_planner = std::make_unique<RunPlanner>(m_model.context().tools, m_encoders);
        connect(m_planner.get(), &RunPlanner::planned, this, &CliSession::printPlan);
        m_planner->plan(m_model.settings(), m_model.videoFiles(), planChoices(m_options));
        return;
    default:
        startRun();
    }
}

void CliSession::printPlan(const RunPlan &plan)
{
    if (m_interrupted)
        return finish(130);
    if (plan.refusal) {
        say(QStringLiteral("转码失败: ") + plan.refusal->detail);
        return finish(1);
    }
    for (const QString &notice : plan.notices)
        say(notice);
    for (const PlannedFile &file : plan.files) {
        for (const PlannedCommand &command : file.commands)
            writeTraceToStandardOutput(commandText(command.program, command.arguments));
    }
    finish(0);
}

void CliSession::startRun()
{
    RunOptions options;
    options.jobs = m_options.jobs > 0 ? m_options.jobs : qMax(1, QThread::idealThreadCount());
    const PlanChoices choices = planChoices(m_options);
    options.shard = choices.shard;
    options.shardKey = choices.shardKey;
    options.existingOutput = choices.existingOutput;
    m_model.startTranscoding(options);
}

void CliSession::onFileStarted(const PlannedFile &file)
{
    m_active << std::pair{file.source.name, 0.0};
    emitEvent(QStringLiteral("file-start"), fileObject(file));
    if (!m_progressIsLive)
        say(QStringLiteral("[%1/%2] %3")
                .arg(m_finished + m_active.size())
                .arg(m_total)
                .arg(file.source.name));
    showProgress();
}

void CliSession::onFileProgress(const PlannedFile &file, double fileFraction, double runFraction,
                                const ProgressFigures &figures)
{
    for (auto &[name, fraction] : m_active) {
        if (name == file.source.name)
            fraction = fileFraction;
    }
    if (m_options.json && (!m_sinceEvent.isValid() || m_sinceEvent.elapsed() >= 250)) {
        m_sinceEvent.start();
        QJsonObject fields = fileObject(file);
        fields.insert(QStringLiteral("fraction"), fileFraction);
        fields.insert(QStringLiteral("run_fraction"), runFraction);
        fields.insert(QStringLiteral("frame"), figures.frame);
        fields.insert(QStringLiteral("fps"), figures.fps);
        fields.insert(QStringLiteral("speed"), figures.speed);
        fields.insert(QStringLiteral("bitrate_mbps"), figures.bitrate);
        emitEvent(QStringLiteral("progress"), fields);
    }
    showProgress();
}

void CliSession::onFileFinished(const PlannedFile &file, const FileOutcome &outcome)
{
    const auto at = std::find_if(m_active.begin(), m_active.end(), [&](const auto &active) {
        return active.first == file.source.name;
    });
    if (at != m_active.end())
        m_active.erase(at);
    ++m_finished;
    QJsonObject fields = fileObject(file);
    switch (outcome.status) {
    case FileOutcome::Status::Converted:
        fields.insert(QStringLiteral("output"), outcome.outputPath);
        fields.insert(QStringLiteral("size"), outcome.outputSize);
        fields.insert(QStringLiteral("duration"), outcome.outputDuration);
        fields.insert(QStringLiteral("encoder"), outcome.encoder);
        emitEvent(QStringLiteral("file-done"), fields);
        break;
    case FileOutcome::Status::Failed:
        fields.insert(QStringLiteral("reason"), outcome.reason);
        emitEvent(QStringLiteral("file-failed"), fields);
        break;
    case FileOutcome::Status::Skipped:
        fields.insert(QStringLiteral("reason"), outcome.reason);
        emitEvent(QStringLiteral("file-skipped"), fields);
        break;
    case FileOutcome::Status::Cancelled:
        break;
    }
    showProgress();
}

void CliSession::onRunFinished()
{
    if (m_progressIsLive)
        std::fputs("\r\x1b[K", stderr);
    const RunSummary &summary = m_model.lastRunSummary();
    const QString outcome = summary.outcome == RunOutcome::Completed ? QStringLiteral("completed")
                            : summary.outcome == RunOutcome::Failed  ? QStringLiteral("failed")
                                                                     : QStringLiteral("cancelled");
    QJsonObject fields{{QStringLiteral("outcome"), outcome},
                       {QStringLiteral("converted"), summary.converted},
                       {QStringLiteral("failed"), summary.failed},
                       {QStringLiteral("skipped"), summary.skipped},
                       {QStringLiteral("elapsed"), summary.elapsedSeconds},
                       {QStringLiteral("output_directory"), summary.outputDirectory}};
    if (summary.outcome == RunOutcome::Failed)
        fields.insert(QStringLiteral("reason"), summary.reason);
    emitEvent(QStringLiteral("summary"), fields);

    switch (summary.outcome) {
    case RunOutcome::Failed:
        say(QStringLiteral("转码失败: ") + summary.reason);
        return finish(1);
    case RunOutcome::Cancelled:
        say(QStringLiteral("转码已取消"));
        return finish(130);
    case RunOutcome::Completed:
        break;
    }
    say(QStringLiteral("转码完成: ") + summary.countsText() + QStringLiteral("，用时 ") +
        clockText(summary.elapsedSeconds));
    for (const FileFailureNote &failure : summary.failures)
        say(QStringLiteral("  失败 %1: %2").arg(failure.name, failure.reason));
    if (!summary.outputDirectory.isEmpty())
        say(QStringLiteral("输出文件夹: ") + summary.outputDirectory);
    finish(summary.failed > 0 ? 1 : 0);
}

void CliSession::onSignal()
{
    if (m_interrupted)
        return;
    m_interrupted = true;
    if (m_model.isTranscoding()) {
        say(QStringLiteral("正在取消…"));
        m_model.cancelTranscoding();
        return;
    }
    // Before the run nothing needs undoing; probes under way stop with the model.
    finish(130);
}

void CliSession::showProgress()
{
    if (!m_progressIsLive)
        return;
    if (m_sinceProgress.isValid() && m_sinceProgress.elapsed() < 100)
        return;
    m_sinceProgress.start();
    QStringList files;
    for (const auto &[name, fraction] : std::as_const(m_active))
        files << QStringLiteral("%1 %2%").arg(name).arg(static_cast<int>(fraction * 100));
    const int percent = static_cast<int>(std::clamp(m_model.transcodeProgress() * 100, 0.0, 100.0));
    const RunTimes times = m_model.runTimes();
    const QString left =
        times.remaining ? QStringLiteral(" 剩余约 ") + clockText(*times.remaining) : QString();
    const QString line = QStringLiteral("[%1/%2] %3%  已用 %4%5  %6 fps  %7x  ")
                             .arg(m_finished)
                             .arg(m_total)
                             .arg(percent)
                             .arg(clockText(times.elapsed), left)
                             .arg(m_model.currentFPS(), 0, 'f', 1)
                             .arg(m_model.currentSpeed(), 0, 'f', 1) +
                         files.join(QStringLiteral(" · "));
    const QByteArray bytes = "\r\x1b[K" + escapeControlCharacters(line).toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

void CliSession::finish(int exitStatus)
{
    Q_EMIT done(exitStatus);
}
