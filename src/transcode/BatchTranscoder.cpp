#include "transcode/BatchTranscoder.h"

#include "domain/FileUrls.h"
#include "transcode/FileTranscode.h"
#include "transcode/OutputCheck.h"
#include "transcode/ResultMark.h"
#include "transcode/RunPlanner.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

namespace {

// A result found at a file's output: skipped, unless the file was taken back after a stop and
// the result is its own, finished before the stop: then the file is done.
FileOutcome foundResult(const PlannedFile &file, const QString &path, qint64 size, double duration,
                        const QString &reason)
{
    FileOutcome outcome{file.resumes ? FileOutcome::Status::Converted
                                     : FileOutcome::Status::Skipped};
    outcome.outputPath = path;
    outcome.outputSize = size;
    outcome.outputDuration = duration;
    if (!file.resumes)
        outcome.reason = reason;
    return outcome;
}

} // namespace

BatchTranscoder::BatchTranscoder(RunContext context, QObject *parent)
    : QObject(parent)
    , m_context(std::move(context))
    , m_planner(std::make_unique<RunPlanner>(m_context.tools, m_encoders))
{
    qRegisterMetaType<FileOutcome>();
    qRegisterMetaType<JobRecord>();
    qRegisterMetaType<RunSummary>();
    connect(m_planner.get(), &RunPlanner::planned, this, &BatchTranscoder::onPlanned);
}

BatchTranscoder::~BatchTranscoder()
{
    if (!m_running)
        return;
    // Deleting a file's work stops its child and removes its partial output.
    for (const Active &active : std::as_const(m_active)) {
        delete active.transcode;
        delete active.check;
    }
    removeEmptyOutputDirectory();
    m_context.trace(QStringLiteral("转码已取消"));
}

void BatchTranscoder::start(const TranscodeSettings &settings, const QList<VideoFile> &files,
                            const RunOptions &options)
{
    // One run at a time: a second would pull the state both ways.
    if (m_running)
        return;
    m_running = true;
    m_cancelling = false;
    m_options = options;
    m_options.jobs = qMax(1, options.jobs);
    m_plan = RunPlan();
    m_next = 0;
    m_active.clear();
    m_removed.clear();
    m_summary = RunSummary();
    m_createdOutputDirectory.clear();
    m_resultSettings = ResultMark::settingsText(settings);
    m_clock.start();
    m_planner->plan(settings, files,
                    PlanChoices{options.shard, options.shardKey, options.only,
                                options.existingOutput, options.resumed});
}

void BatchTranscoder::cancel()
{
    if (!m_running || m_cancelling)
        return;
    m_cancelling = true;
    if (m_active.isEmpty()) {
        // Before the plan, its encoder tests are stopped rather than waited for.
        if (m_plan.ffmpeg.isEmpty() && !m_plan.refusal)
            m_planner->cancel();
        QTimer::singleShot(0, this, [this] { finishRun(RunOutcome::Cancelled); });
        return;
    }
    // Transcodes report their end; checks end at once, their files cancelled.
    for (Active &active : m_active) {
        if (active.transcode) {
            active.transcode->cancel();
            continue;
        }
        delete std::exchange(active.check, nullptr);
        QTimer::singleShot(0, this, [this, file = active.file] {
            finishFile(file, FileOutcome{FileOutcome::Status::Cancelled});
        });
    }
}

void BatchTranscoder::leaveOut(const QUuid &id)
{
    m_removed.insert(id);
}

void BatchTranscoder::tell(const QString &text)
{
    m_context.trace(QStringLiteral("⚠️ [WARNING] ") + text);
    Q_EMIT logText(text + QLatin1Char('\n'));
    Q_EMIT notice(text);
}

void BatchTranscoder::onPlanned(const RunPlan &plan)
{
    m_plan = plan;
    if (m_cancelling)
        return finishRun(RunOutcome::Cancelled);
    if (plan.refusal)
        return finishRun(RunOutcome::Failed, plan.refusal);
    const QString folder = plan.outputDirectory;
    // Another user's link as the folder is refused by the plan itself.
    const QFileInfo where(folder);
    if (!folder.isEmpty() && !plan.files.isEmpty() && !where.exists()) {
        if (!QDir().mkpath(folder)) {
            return finishRun(RunOutcome::Failed,
                             RunRefusal{Error{QStringLiteral("FileSystem"), 1,
                                              QStringLiteral("cannot create the output folder")},
                                        QStringLiteral("无法创建输出文件夹“%1”").arg(folder)});
        }
        m_createdOutputDirectory = folder;
    } else if (!folder.isEmpty() && where.exists() && !where.isDir()) {
        return finishRun(
            RunOutcome::Failed,
            RunRefusal{Error{QStringLiteral("FileSystem"), 2,
                             QStringLiteral("the output folder is not a folder")},
                       QStringLiteral("输出位置“%1”已有同名文件，不是文件夹").arg(folder)});
    }
    for (const QString &text : plan.notices)
        tell(text);
    Q_EMIT runStarted(plan);
    startNextFiles();
}

void BatchTranscoder::startNextFiles()
{
    while (!m_cancelling && m_active.size() < m_options.jobs && m_next < m_plan.files.size())
        startFile(m_plan.files.at(m_next++));
    if (m_active.isEmpty() && (m_cancelling || m_next >= m_plan.files.size()))
        finishRun(m_cancelling ? RunOutcome::Cancelled : RunOutcome::Completed);
}

double BatchTranscoder::secondsSinceStart() const
{
    return static_cast<double>(m_clock.elapsed()) / 1000.0;
}

void BatchTranscoder::report(Active &active, JobRecord::Status status)
{
    active.record.status = status;
    Q_EMIT jobChanged(active.record);
}

void BatchTranscoder::startFile(const PlannedFile &file)
{
    Active &active = m_active[file.position];
    active.file = file;
    active.record.position = file.position;
    active.record.fileId = file.source.id;
    active.record.sourcePath = filePath(file.source.url);
    active.record.outputPath = file.outputPath;
    active.record.chosenSize = file.chosenSize;
    active.record.startedAt = secondsSinceStart();
    if (m_removed.contains(file.source.id)) {
        FileOutcome removed{FileOutcome::Status::Cancelled};
        removed.reason = QStringLiteral("已从列表中移除");
        QTimer::singleShot(0, this, [this, file, removed] { finishFile(file, removed); });
        return;
    }
    const bool skipsResults = file.resumes || m_options.existingOutput == ExistingOutput::Skip;
    // In replace mode a source that is already this run's result is done: converting it again
    // would only lose quality.
    if (skipsResults && file.replacesSource &&
        ResultMark::isResult(filePath(file.source.url), m_resultSettings)) {
        const FileOutcome outcome =
            foundResult(file, filePath(file.source.url), file.source.size, file.source.duration,
                        QStringLiteral("已是转码结果"));
        QTimer::singleShot(0, this, [this, file, outcome] { finishFile(file, outcome); });
        return;
    }
    if (!skipsResults || !file.replacesOutput)
        return convert(file);
    // Done by an earlier run if what is there passes the same check a new result would.
    report(active, JobRecord::Status::Checking);
    active.check = new OutputCheck(m_context.tools, this);
    connect(active.check, &OutputCheck::passed, this, [this, file](const VideoFile &result) {
        m_active[file.position].check->deleteLater();
        m_active[file.position].check = nullptr;
        finishFile(file, foundResult(file, file.outputPath, result.size, result.duration,
                                     QStringLiteral("已有转码结果")));
    });
    connect(active.check, &OutputCheck::failed, this, [this, file] {
        m_active[file.position].check->deleteLater();
        m_active[file.position].check = nullptr;
        convert(file);
    });
    active.check->check({file.outputPath, filePath(file.source.url), {}}, file.promise);
}

void BatchTranscoder::convert(const PlannedFile &file)
{
    auto *transcode = new FileTranscode(file, m_context.tools, m_context.trace, this);
    transcode->setResultSettings(m_resultSettings);
    Active &active = m_active[file.position];
    active.transcode = transcode;
    report(active, JobRecord::Status::Converting);
    connect(transcode, &FileTranscode::progressed, this,
            [this, file](double fraction, const ProgressFigures &figures) {
                Active &active = m_active[file.position];
                active.record.fraction = fraction;
                active.record.figures = figures;
                report(active, JobRecord::Status::Converting);
            });
    connect(transcode, &FileTranscode::checking, this,
            [this, file] { report(m_active[file.position], JobRecord::Status::Checking); });
    connect(transcode, &FileTranscode::logText, this, &BatchTranscoder::logText);
    connect(transcode, &FileTranscode::notice, this, &BatchTranscoder::tell);
    connect(transcode, &FileTranscode::finished, this,
            [this, transcode](const FileOutcome &outcome) {
                transcode->deleteLater();
                finishFile(transcode->file(), outcome);
            });
    transcode->start();
}

void BatchTranscoder::finishFile(const PlannedFile &file, const FileOutcome &outcome)
{
    const auto at = m_active.find(file.position);
    if (at == m_active.end())
        return;
    JobRecord record = at->record;
    m_active.erase(at);
    JobRecord::Status status = JobRecord::Status::Cancelled;
    switch (outcome.status) {
    case FileOutcome::Status::Converted:
        ++m_summary.converted;
        status = JobRecord::Status::Done;
        record.fraction = 1;
        break;
    case FileOutcome::Status::Failed:
        ++m_summary.failed;
        m_summary.failures << FileFailureNote{file.source.name, outcome.reason};
        m_context.trace(QStringLiteral("转码错误: ") + outcome.error.description());
        status = JobRecord::Status::Failed;
        break;
    case FileOutcome::Status::Skipped:
        ++m_summary.skipped;
        status = JobRecord::Status::Skipped;
        break;
    case FileOutcome::Status::Cancelled:
        break;
    }
    record.status = status;
    record.outcome = outcome;
    record.finishedAt = secondsSinceStart();
    Q_EMIT jobChanged(record);
    startNextFiles();
}

void BatchTranscoder::finishRun(RunOutcome outcome, const std::optional<RunRefusal> &refusal)
{
    if (!m_running)
        return;
    m_running = false;
    if (refusal)
        m_context.trace(QStringLiteral("转码错误: ") + refusal->error.description());
    if (outcome != RunOutcome::Completed || m_summary.converted + m_summary.skipped == 0)
        removeEmptyOutputDirectory();
    if (outcome == RunOutcome::Cancelled)
        m_context.trace(QStringLiteral("转码已取消"));
    m_summary.outcome = outcome;
    if (refusal) {
        m_summary.error = refusal->error;
        m_summary.reason = refusal->detail;
    }
    if (!m_plan.outputDirectory.isEmpty() && QFileInfo(m_plan.outputDirectory).isDir())
        m_summary.outputDirectory = m_plan.outputDirectory;
    m_summary.elapsedSeconds = static_cast<double>(m_clock.elapsed()) / 1000.0;
    m_createdOutputDirectory.clear();
    Q_EMIT runFinished(m_summary);
}

void BatchTranscoder::removeEmptyOutputDirectory()
{
    // A run that ends without an output leaves no trace of itself; rmdir spares a full folder.
    if (!m_createdOutputDirectory.isEmpty())
        QDir().rmdir(std::exchange(m_createdOutputDirectory, QString()));
}
