#include "cli/CliSession.h"

#include "cli/StandardOutput.h"
#include "cli/TerminalLine.h"
#include "domain/FileUrls.h"
#include "domain/Trace.h"
#include "intake/IntakeUrls.h"
#include "process/CommandText.h"
#include "process/TerminationSignals.h"
#include "session/RunClock.h"
#include "session/TranscodeViewModel.h"
#include "transcode/RunPlanner.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>

#include <cstdio>
#include <limits>
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

QJsonObject listedObject(const VideoFile &file)
{
    return {{QStringLiteral("path"), filePath(file.url)},
            {QStringLiteral("resolution"), file.resolution},
            {QStringLiteral("frame_rate"), file.frameRate},
            {QStringLiteral("codec"), file.codec},
            {QStringLiteral("bitrate"), file.bitrate},
            {QStringLiteral("color_format"), file.colorFormat},
            {QStringLiteral("bit_depth"), file.bitDepth},
            {QStringLiteral("alpha"), file.hasAlpha},
            {QStringLiteral("duration"), file.duration},
            {QStringLiteral("size"), file.size}};
}

QJsonArray commandsArray(const QList<PlannedCommand> &commands)
{
    QJsonArray array;
    for (const PlannedCommand &command : commands)
        array << QJsonArray::fromStringList(QStringList{command.program} + command.arguments);
    return array;
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

QJsonObject jobObject(const JobRecord &job)
{
    return {{QStringLiteral("index"), job.position},
            {QStringLiteral("path"), job.sourcePath},
            {QStringLiteral("output"), job.outputPath}};
}

bool isWorking(JobRecord::Status status)
{
    return status == JobRecord::Status::Converting || status == JobRecord::Status::Checking;
}

} // namespace

CliSession::CliSession(TranscodeViewModel &model, CliOptions options)
    : m_model(model)
    , m_options(std::move(options))
    , m_signals(std::make_unique<TerminationSignals>())
{
    connect(m_signals.get(), &TerminationSignals::received, this, &CliSession::onSignal);
    // Trace lines would break into a live line; --verbose gets a line per file instead.
    m_progressIsLive = !m_options.json && m_options.verbosity == CliOptions::Verbosity::Normal &&
                       ::isatty(STDERR_FILENO) == 1;
    connect(&m_model, &TranscodeViewModel::intakeFinished, this, &CliSession::onIntakeFinished);
    connect(&m_model, &TranscodeViewModel::fileRejected, this,
            [this](const QString &path, const QString &reason) {
                say(QStringLiteral("无法添加 %1: %2").arg(path, reason));
                emitEvent(QStringLiteral("file-rejected"),
                          {{QStringLiteral("path"), path}, {QStringLiteral("reason"), reason}});
            });
    connect(&m_model, &TranscodeViewModel::fileAlreadyListed, this,
            [this](const QString &path) { note(QStringLiteral("已在列表中，不再添加: ") + path); });
    connect(&m_model.queue(), &JobQueue::jobChanged, this, &CliSession::onJobChanged);
    const BatchTranscoder &engine = m_model.engine();
    connect(&engine, &BatchTranscoder::notice, this, [this](const QString &text) { note(text); });
    connect(&engine, &BatchTranscoder::runStarted, this, [this](const RunPlan &plan) {
        emitEvent(QStringLiteral("run-start"),
                  {{QStringLiteral("files"), plan.files.size()},
                   {QStringLiteral("listing"), plan.listingSize},
                   {QStringLiteral("output_directory"), plan.outputDirectory},
                   {QStringLiteral("settings"), settingsObject(m_model.settings())}});
    });
    connect(&m_model, &TranscodeViewModel::runFinished, this, &CliSession::onRunFinished);
    // Drawn after the clock has read each change, and every second while nothing changes.
    connect(&m_model, &TranscodeViewModel::runTimesChanged, this, &CliSession::showProgress);
}

CliSession::~CliSession() = default;

void CliSession::start()
{
    QList<QUrl> urls;
    for (const QString &path : m_options.paths)
        urls << intakeUrlFromPath(path);
    m_model.processSelectedFiles(urls);
}

void CliSession::say(const QString &text)
{
    // On a row of its own: the live line gives way and comes back under it.
    if (!m_liveLine.isEmpty())
        writeLiveLine(QString());
    writeLineToStandardError(QStringLiteral("quillmere-cli: ") + text);
    if (!m_liveLine.isEmpty())
        writeLiveLine(m_liveLine);
}

void CliSession::note(const QString &text)
{
    if (m_options.verbosity != CliOptions::Verbosity::Quiet)
        say(text);
}

void CliSession::emitEvent(const QString &event, QJsonObject fields) const
{
    if (!m_options.json)
        return;
    fields.insert(QStringLiteral("event"), event);
    writeData(QJsonDocument(fields).toJson(QJsonDocument::Compact) + '\n');
}

void CliSession::emitSummary(const QString &outcome, QJsonObject fields) const
{
    fields.insert(QStringLiteral("outcome"), outcome);
    fields.insert(QStringLiteral("rejected"), rejectedCount());
    emitEvent(QStringLiteral("summary"), fields);
}

int CliSession::rejectedCount() const
{
    return static_cast<int>(m_model.rejectedFiles().size());
}

int CliSession::exitStatus(bool failed) const
{
    return failed || rejectedCount() > 0 ? 1 : 0;
}

void CliSession::onIntakeFinished()
{
    if (m_interrupted)
        return cancelBeforeRun();
    const int listed = static_cast<int>(m_model.videoFiles().size());
    const int rejected = rejectedCount();
    if (listed == 0) {
        const QString reason = QStringLiteral("没有可转码的视频（%1 个无法添加）").arg(rejected);
        emitSummary(QStringLiteral("failed"), {{QStringLiteral("reason"), reason}});
        say(reason);
        return finish(1);
    }
    switch (m_options.mode) {
    case CliOptions::Mode::Probe:
        return printListing();
    case CliOptions::Mode::DryRun:
        m_planner = std::make_unique<RunPlanner>(m_model.context().tools, m_encoders);
        connect(m_planner.get(), &RunPlanner::planned, this, &CliSession::printPlan);
        m_planner->plan(m_model.settings(), m_model.videoFiles(), planChoices(m_options));
        return;
    default:
        startRun();
    }
}

void CliSession::printListing()
{
    const QList<VideoFile> &files = m_model.videoFiles();
    for (const VideoFile &file : files) {
        if (m_options.json) {
            emitEvent(QStringLiteral("file-listed"), listedObject(file));
            continue;
        }
        // For people and line-based tools; --json carries the name exactly.
        writeDataLine(
            QStringList{escapeControlCharacters(filePath(file.url)), file.resolution,
                        file.frameRate, file.codec, file.bitrate, file.colorFormat, file.bitDepth,
                        file.hasAlpha ? QStringLiteral("alpha") : QStringLiteral("-"),
                        QString::number(file.duration, 'f', 3), QString::number(file.size)}
                .join(QLatin1Char('\t')));
    }
    emitSummary(QStringLiteral("listed"), {{QStringLiteral("listed"), files.size()}});
    say(QStringLiteral("已列出 %1 个视频，%2 个无法添加").arg(files.size()).arg(rejectedCount()));
    finish(exitStatus(false));
}

void CliSession::printPlan(const RunPlan &plan)
{
    if (m_interrupted)
        return cancelBeforeRun();
    if (plan.refusal) {
        emitSummary(QStringLiteral("failed"), {{QStringLiteral("reason"), plan.refusal->detail}});
        say(QStringLiteral("转码会被拒绝: ") + plan.refusal->detail);
        return finish(1);
    }
    for (const QString &notice : plan.notices)
        note(notice);
    // The plan is shell, a command a line, every word quoted: whatever a file's name holds, the
    // shell reads it back as that one word, and nothing else ever reaches standard output.
    for (const PlannedFile &file : plan.files) {
        const QString size = file.outputSize.isEmpty() ? QString()
                                                       : QStringLiteral("%1x%2")
                                                             .arg(file.outputSize.width())
                                                             .arg(file.outputSize.height());
        if (m_options.json) {
            QJsonObject fields = fileObject(file);
            fields.insert(QStringLiteral("encoder"), file.encoder);
            if (!size.isEmpty())
                fields.insert(QStringLiteral("output_size"), size);
            fields.insert(QStringLiteral("commands"), commandsArray(file.commands));
            emitEvent(QStringLiteral("file-planned"), fields);
            continue;
        }
        // The fitted size where it is not the chosen one, as a comment the shell skips.
        if (!size.isEmpty() && file.outputSize != file.chosenSize)
            writeDataLine(QStringLiteral("# ") + size);
        for (const PlannedCommand &command : file.commands)
            writeDataLine(commandText(command.program, command.arguments));
    }
    emitSummary(QStringLiteral("planned"),
                {{QStringLiteral("files"), plan.files.size()},
                 {QStringLiteral("listing"), plan.listingSize},
                 {QStringLiteral("output_directory"), plan.outputDirectory}});
    if (rejectedCount() > 0)
        say(QStringLiteral("%1 个无法添加").arg(rejectedCount()));
    finish(exitStatus(false));
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

void CliSession::onJobChanged(int row, JobRecord::Status previous)
{
    const JobQueue &queue = m_model.queue();
    const JobRecord &job = queue.job(row);
    if (isWorking(job.status) && !isWorking(previous)) {
        emitEvent(QStringLiteral("file-start"), jobObject(job));
        if (!m_progressIsLive) {
            const JobQueue::Counts counts = queue.counts();
            note(QStringLiteral("[%1/%2] %3")
                     .arg(counts.ended() + counts.working)
                     .arg(counts.total)
                     .arg(queue.files().at(row).name));
        }
    }
    QJsonObject fields = jobObject(job);
    switch (job.status) {
    case JobRecord::Status::Converting:
        if (m_options.json && (!m_sinceEvent.isValid() || m_sinceEvent.elapsed() >= 250)) {
            m_sinceEvent.start();
            fields.insert(QStringLiteral("fraction"), job.fraction);
            fields.insert(QStringLiteral("run_fraction"), queue.runFraction());
            fields.insert(QStringLiteral("frame"), job.figures.frame);
            fields.insert(QStringLiteral("fps"), job.figures.fps);
            fields.insert(QStringLiteral("speed"), job.figures.speed);
            fields.insert(QStringLiteral("bitrate_mbps"), job.figures.bitrate);
            emitEvent(QStringLiteral("progress"), fields);
        }
        break;
    case JobRecord::Status::Done:
        fields.insert(QStringLiteral("output"), job.outcome.outputPath);
        fields.insert(QStringLiteral("size"), job.outcome.outputSize);
        fields.insert(QStringLiteral("duration"), job.outcome.outputDuration);
        fields.insert(QStringLiteral("encoder"), job.outcome.encoder);
        emitEvent(QStringLiteral("file-done"), fields);
        break;
    case JobRecord::Status::Failed:
        fields.insert(QStringLiteral("reason"), job.outcome.reason);
        emitEvent(QStringLiteral("file-failed"), fields);
        break;
    case JobRecord::Status::Skipped:
        fields.insert(QStringLiteral("reason"), job.outcome.reason);
        emitEvent(QStringLiteral("file-skipped"), fields);
        break;
    case JobRecord::Status::Waiting:
    case JobRecord::Status::Checking:
    case JobRecord::Status::Cancelled:
        break;
    }
}

void CliSession::onRunFinished()
{
    if (!m_liveLine.isEmpty()) {
        m_liveLine.clear();
        writeLiveLine(QString());
    }
    const RunSummary &summary = m_model.lastRunSummary();
    const QString outcome = summary.outcome == RunOutcome::Completed ? QStringLiteral("completed")
                            : summary.outcome == RunOutcome::Failed  ? QStringLiteral("failed")
                                                                     : QStringLiteral("cancelled");
    QJsonObject fields{{QStringLiteral("outcome"), outcome},
                       {QStringLiteral("converted"), summary.converted},
                       {QStringLiteral("failed"), summary.failed},
                       {QStringLiteral("skipped"), summary.skipped},
                       {QStringLiteral("rejected"), rejectedCount()},
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
    const QString rejected =
        rejectedCount() > 0 ? QStringLiteral("，%1 个无法添加").arg(rejectedCount()) : QString();
    say(QStringLiteral("转码完成: ") + summary.countsText() + rejected + QStringLiteral("，用时 ") +
        clockText(summary.elapsedSeconds));
    for (const FileFailureNote &failure : summary.failures)
        say(QStringLiteral("  失败 %1: %2").arg(failure.name, failure.reason));
    if (!summary.outputDirectory.isEmpty())
        say(QStringLiteral("输出文件夹: ") + summary.outputDirectory);
    finish(exitStatus(summary.failed > 0));
}

void CliSession::onSignal()
{
    if (m_interrupted)
        return;
    m_interrupted = true;
    if (m_model.isTranscoding()) {
        note(QStringLiteral("正在取消…"));
        m_model.cancelTranscoding();
        return;
    }
    // Before the run nothing needs undoing; probes under way stop with the model.
    cancelBeforeRun();
}

void CliSession::cancelBeforeRun()
{
    emitSummary(QStringLiteral("cancelled"), {});
    say(QStringLiteral("转码已取消"));
    finish(130);
}

void CliSession::showProgress()
{
    if (!m_progressIsLive || !m_model.isTranscoding())
        return;
    if (m_sinceProgress.isValid() && m_sinceProgress.elapsed() < 100)
        return;
    m_sinceProgress.start();
    // Each file at work by its own row: two of one name from two folders are two entries.
    const JobQueue &queue = m_model.queue();
    QList<FileProgress> files;
    for (int row = 0; row < queue.rowCount(); ++row) {
        const JobRecord &job = queue.job(row);
        if (queue.isInRun(row) && isWorking(job.status))
            files << FileProgress{escapeControlCharacters(displayName(row)),
                                  QStringLiteral("%1%").arg(static_cast<int>(job.fraction * 100))};
    }
    const JobQueue::Counts counts = queue.counts();
    const int percent = static_cast<int>(std::clamp(m_model.transcodeProgress() * 100, 0.0, 100.0));
    const RunTimes times = m_model.runTimes();
    const QString left =
        times.remaining ? QStringLiteral(" 剩余约 ") + clockText(*times.remaining) : QString();
    // Most needed first: a narrow terminal loses the file names, then the figures from the end.
    const QStringList figures{
        QStringLiteral("[%1/%2] %3%").arg(counts.ended()).arg(counts.total).arg(percent),
        QStringLiteral("已用 ") + clockText(times.elapsed) + left,
        QStringLiteral("%1 fps").arg(m_model.currentFPS(), 0, 'f', 1),
        QStringLiteral("%1x").arg(m_model.currentSpeed(), 0, 'f', 1)};
    // Read afresh each time, so a resized terminal gets lines of its new width.
    m_liveLine = fitLiveLine(figures, files,
                             standardErrorColumns().value_or(std::numeric_limits<int>::max()));
    writeLiveLine(m_liveLine);
}

void CliSession::writeLiveLine(const QString &line)
{
    // The row is cleared first; the line never wraps, so nothing of an earlier one stays.
    const QByteArray bytes = "\r\x1b[K" + line.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
    std::clearerr(stderr);
}

QString CliSession::displayName(int row) const
{
    // A name that another file at work shares gets its folder's name too.
    const JobQueue &queue = m_model.queue();
    const QString name = queue.files().at(row).name;
    for (int other = 0; other < queue.rowCount(); ++other) {
        if (other != row && queue.isInRun(other) && isWorking(queue.job(other).status) &&
            queue.files().at(other).name == name) {
            const QFileInfo source(queue.job(row).sourcePath);
            return source.dir().dirName() + QLatin1Char('/') + name;
        }
    }
    return name;
}

void CliSession::finish(int exitStatus)
{
    Q_EMIT done(exitStatus);
}
