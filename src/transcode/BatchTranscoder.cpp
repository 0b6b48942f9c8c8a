#include "transcode/BatchTranscoder.h"

#include "model/FileUrls.h"
#include "model/TranscodeViewModel.h"
#include "transcode/FileTranscode.h"
#include "transcode/OutputNaming.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

OutputPlanner::OutputPlanner(const QList<VideoFile> &files, QString outputDirectory)
    : m_outputDirectory(std::move(outputDirectory))
{
    // An output must never land on a file the run reads.
    for (const VideoFile &file : files)
        m_taken.insert(filePath(file.url));
}

QString OutputPlanner::outputPathFor(const VideoFile &file, const QString &codec,
                                     const QString &container, bool overwriteOriginal)
{
    if (overwriteOriginal)
        return filePath(file.url);
    const QString wanted = QDir(m_outputDirectory)
                               .filePath(OutputNaming::baseName(file.url) + QLatin1Char('.') +
                                         OutputNaming::outputExtension(codec, container));
    const QString path = OutputNaming::unclaimedPath(wanted, m_taken);
    m_taken.insert(path);
    return path;
}

BatchTranscoder::BatchTranscoder(TranscodeViewModel &model)
    : QObject(&model)
    , m_model(model)
{
    qRegisterMetaType<FileFailure>();
}

BatchTranscoder::~BatchTranscoder()
{
    if (!m_running)
        return;
    // Deleting the file's work stops its child and removes its partial output.
    delete m_current;
    removeEmptyOutputDirectory();
    m_model.trace(QStringLiteral("转码已取消"));
}

Result<FileJob> BatchTranscoder::jobFor(const TranscodeViewModel &model,
                                        const QList<VideoFile> &files, int index,
                                        OutputPlanner &planner)
{
    const Result<QStringList> settings = model.buildFFmpegArguments();
    if (!settings)
        return settings.error();
    FileJob job;
    job.file = files.at(index);
    job.index = index;
    job.count = static_cast<int>(files.size());
    job.codec = model.selectedCodec();
    job.format = OutputNaming::outputExtension(job.codec, model.selectedContainer());
    job.overwriteOriginal = model.overwriteOriginal();
    job.enableAlpha = model.enableAlpha();
    job.settingsArguments = *settings;
    job.outputPath = planner.outputPathFor(job.file, job.codec, model.selectedContainer(),
                                           job.overwriteOriginal);
    return job;
}

void BatchTranscoder::start()
{
    if (m_model.videoFiles().isEmpty())
        return;
    // One run at a time: a second start while one goes on would pull the state both ways.
    if (m_running)
        return;
    m_model.setLastError(QString());
    m_model.setRunNotice(QString());
    // A bitrate that cannot be written refuses the run before anything happens.
    if (const Result<QStringList> settings = m_model.buildFFmpegArguments(); !settings) {
        m_model.trace(QStringLiteral("转码错误: ") + settings.error().description());
        m_model.setLastError(settings.error().description());
        return;
    }

    m_model.setIsTranscoding(true);
    m_model.setTranscodeProgress(0.0);
    m_model.setCurrentFileIndex(0);
    m_model.setTotalFiles(static_cast<int>(m_model.videoFiles().size()));
    m_model.setTranscodeCompleted(false);
    m_running = true;
    m_cancelRequested = false;
    m_notices.clear();
    m_progress = ProgressParser();
    QTimer::singleShot(0, this, &BatchTranscoder::prepare);
}

void BatchTranscoder::cancel()
{
    if (!m_running || m_cancelRequested)
        return;
    m_cancelRequested = true;
    if (m_current)
        m_current->cancel(); // its end ends the run
    else
        QTimer::singleShot(0, this, &BatchTranscoder::endCancelled);
}

void BatchTranscoder::prepare()
{
    if (m_cancelRequested)
        return endCancelled();
    m_overwriteRun = m_model.overwriteOriginal();
    if (m_model.videoFiles().isEmpty())
        return complete(); // emptied since the start: nothing to convert
    const VideoFile first = m_model.videoFiles().first();
    const QString outputDirectory =
        OutputNaming::outputDirectory(first.url, m_model.selectedCodec());
    m_createdOutputDirectory.clear();
    if (!m_overwriteRun && !QFileInfo::exists(outputDirectory)) {
        if (!QDir().mkpath(outputDirectory)) {
            failRun(Error{QStringLiteral("FileSystem"), 1,
                          QStringLiteral("cannot create the output folder")},
                    QStringLiteral("无法创建输出文件夹“%1”").arg(outputDirectory));
            return;
        }
        m_createdOutputDirectory = outputDirectory;
    }
    if (!m_overwriteRun && !QFileInfo(outputDirectory).isDir()) {
        failRun(Error{QStringLiteral("FileSystem"), 2,
                      QStringLiteral("the output folder is not a folder")},
                QStringLiteral("输出位置“%1”已有同名文件，不是文件夹").arg(outputDirectory));
        return;
    }
    m_files = m_model.videoFiles();
    m_planner.emplace(m_files, outputDirectory);
    startFile(0);
}

void BatchTranscoder::startFile(int index)
{
    if (index >= m_files.size())
        return complete();
    m_index = index;
    const VideoFile &file = m_files.at(index);
    m_model.setCurrentFileIndex(index + 1);
    m_model.setCurrentFileName(file.name);
    m_model.setCurrentVideoTotalDuration(file.duration);

    Result<FileJob> job = jobFor(m_model, m_files, index, *m_planner);
    if (!job) {
        failRun(job.error(), job.error().description());
        return;
    }
    m_current = new FileTranscode(*job, m_model, m_encoders, m_progress, this);
    connect(m_current, &FileTranscode::succeeded, this, &BatchTranscoder::onFileSucceeded);
    connect(m_current, &FileTranscode::failed, this, &BatchTranscoder::onFileFailed);
    connect(m_current, &FileTranscode::cancelled, this, &BatchTranscoder::endCancelled);
    connect(m_current, &FileTranscode::notice, this, &BatchTranscoder::publishNotice);
    m_current->start();
}

void BatchTranscoder::onFileSucceeded()
{
    m_model.setTranscodeProgress(static_cast<double>(m_index + 1) / m_files.size());
    m_current->deleteLater();
    if (m_cancelRequested)
        return endCancelled();
    startFile(m_index + 1);
}

void BatchTranscoder::onFileFailed(const FileFailure &failure)
{
    failRun(failure.error, failure.detail);
}

void BatchTranscoder::complete()
{
    m_running = false;
    m_createdOutputDirectory.clear();
    m_model.setTranscodeCompleted(true);
    m_model.setIsTranscoding(false);
    m_model.setCurrentFileName(QString());
    m_model.setTranscodeProgress(1.0);
    m_model.setLastOutputDirectory(m_overwriteRun || !m_planner ? QString()
                                                                : m_planner->outputDirectory());
    Q_EMIT finished(RunOutcome::Completed);
}

void BatchTranscoder::failRun(const Error &error, const QString &detail)
{
    if (m_current)
        m_current->deleteLater();
    m_running = false;
    removeEmptyOutputDirectory();
    m_model.trace(QStringLiteral("转码错误: ") + error.description());
    m_model.setIsTranscoding(false);
    m_model.setTranscodeCompleted(false);
    const QString name = m_files.isEmpty() ? QString() : m_files.value(m_index).name;
    m_model.setLastError(name.isEmpty() ? detail : name + QStringLiteral(": ") + detail);
    Q_EMIT finished(RunOutcome::Failed);
}

void BatchTranscoder::endCancelled()
{
    if (!m_running)
        return;
    if (m_current)
        m_current->deleteLater();
    m_running = false;
    removeEmptyOutputDirectory();
    m_model.trace(QStringLiteral("转码已取消"));
    m_model.setIsTranscoding(false);
    m_model.setTranscodeCompleted(false);
    m_model.setRunNotice(QStringLiteral("转码已取消"));
    Q_EMIT finished(RunOutcome::Cancelled);
}

void BatchTranscoder::removeEmptyOutputDirectory()
{
    // A run that ends without an output leaves no trace of itself; rmdir spares a full folder.
    if (!m_createdOutputDirectory.isEmpty())
        QDir().rmdir(std::exchange(m_createdOutputDirectory, QString()));
}

void BatchTranscoder::publishNotice(const QString &text)
{
    if (m_notices.contains(text))
        return;
    m_notices.insert(text);
    m_model.trace(QStringLiteral("⚠️ [WARNING] ") + text);
    m_model.appendToFfmpegLog(text + QLatin1Char('\n'));
    m_model.setRunNotice(
        m_model.runNotice().isEmpty() ? text : m_model.runNotice() + QLatin1Char('\n') + text);
}
