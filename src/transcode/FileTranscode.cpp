#include "transcode/FileTranscode.h"

#include "domain/FileUrls.h"
#include "process/CommandText.h"
#include "process/ProcessRunner.h"
#include "transcode/OutputCheck.h"
#include "transcode/Trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

Error fileSystemError(int error)
{
    return Error{QStringLiteral("FileSystem"), error, systemErrorText(error)};
}

} // namespace

FileTranscode::FileTranscode(PlannedFile file, ToolLocator tools, TraceWriter trace,
                             QObject *parent)
    : QObject(parent)
    , m_file(std::move(file))
    , m_tools(std::move(tools))
    , m_trace(std::move(trace))
    , m_commands(m_file.commands)
    , m_encoder(m_file.encoder)
{}

FileTranscode::~FileTranscode()
{
    // The children must be gone before their half-written files are removed.
    delete m_runner;
    delete m_check;
    removeLeftovers();
}

void FileTranscode::start()
{
    QTimer::singleShot(0, this, [this] {
        if (m_cancelling)
            return end(FileOutcome{FileOutcome::Status::Cancelled});
        if (claimFiles())
            runCommand(0);
    });
}

void FileTranscode::cancel()
{
    if (m_over || m_cancelling)
        return;
    m_cancelling = true;
    if (m_runner && m_runner->isRunning()) {
        m_runner->stop(); // its end finishes the file
        return;
    }
    delete m_check;
    QTimer::singleShot(0, this, [this] { end(FileOutcome{FileOutcome::Status::Cancelled}); });
}

void FileTranscode::failInUse(const QString &path)
{
    const QString text =
        QStringLiteral("“%1”正在被另一个转码任务使用").arg(QFileInfo(path).fileName());
    fail(Error{QStringLiteral("FileLock"), EWOULDBLOCK, text}, text);
}

// Locks what this file touches; another run working on any of it fails the file untouched.
bool FileTranscode::claimFiles()
{
    const QString source = filePath(m_file.source.url);
    const auto mode = m_file.replacesSource ? FileLock::Mode::Exclusive : FileLock::Mode::Shared;
    if (!m_sourceLock.take(source, mode)) {
        if (m_sourceLock.wasBusy())
            failInUse(source);
        else
            fail(fileSystemError(m_sourceLock.systemError()),
                 QStringLiteral("无法读取源文件: ") + systemErrorText(m_sourceLock.systemError()));
        return false;
    }
    // Made here rather than at the start of the run: another run may have removed it.
    const QString folder = QFileInfo(m_file.partialPath).path();
    if (!QDir().mkpath(folder)) {
        fail(fileSystemError(errno), QStringLiteral("无法创建输出文件夹“%1”").arg(folder));
        return false;
    }
    if (!m_partialLock.take(m_file.partialPath, FileLock::Mode::Exclusive, true)) {
        if (m_partialLock.wasBusy())
            failInUse(m_file.outputPath);
        else
            fail(fileSystemError(m_partialLock.systemError()),
                 QStringLiteral("无法写入“%1”: %2")
                     .arg(folder, systemErrorText(m_partialLock.systemError())));
        return false;
    }
    // What a run that was stopped before left under this name starts over.
    m_leftovers << m_file.partialPath << m_file.temporaryFiles;
    [[maybe_unused]] const int truncated = ::ftruncate(m_partialLock.descriptor(), 0);
    if (m_file.outputPath != source && QFileInfo::exists(m_file.outputPath) &&
        !m_outputLock.take(m_file.outputPath, FileLock::Mode::Exclusive) &&
        m_outputLock.wasBusy()) {
        failInUse(m_file.outputPath);
        return false;
    }
    return true;
}

void FileTranscode::runCommand(qsizetype index)
{
    m_command = index;
    const PlannedCommand &command = m_commands.at(index);
    if (command.kind == PlannedCommand::Kind::Conversion) {
        const QString text = commandText(command.program, command.arguments);
        const QString banner = QStringLiteral("============= FFmpeg Command =============");
        const QString rule = QString(41, QLatin1Char('='));
        m_trace(banner);
        m_trace(text);
        m_trace(rule);
        Q_EMIT logText(QLatin1Char('\n') + banner + QLatin1Char('\n'));
        Q_EMIT logText(text + QLatin1Char('\n'));
        Q_EMIT logText(rule + QLatin1Char('\n'));
    }
    m_progress = ProgressParser();
    m_diagnosis.clear();
    delete m_runner;
    m_runner = new ProcessRunner(this);
    m_runner->setStandardOutput(command.readsProgress ? ProcessRunner::Output::Lines
                                                      : ProcessRunner::Output::Discard);
    connect(m_runner, &ProcessRunner::standardOutputLine, this, &FileTranscode::onProgressLine);
    connect(m_runner, &ProcessRunner::standardErrorLine, this, &FileTranscode::onErrorLine);
    connect(m_runner, &ProcessRunner::failedToStart, this, [this, command](const Error &error) {
        if (m_cancelling)
            return end(FileOutcome{FileOutcome::Status::Cancelled});
        fail(error, QStringLiteral("无法启动 %1: %2").arg(command.program, error.description()));
    });
    connect(m_runner, &ProcessRunner::finished, this, &FileTranscode::onCommandEnded);
    m_runner->start(command.program, command.arguments);
}

void FileTranscode::onProgressLine(const QByteArray &bytes)
{
    const PlannedCommand &command = m_commands.at(m_command);
    const QString line = QString::fromUtf8(bytes);
    if (const std::optional<double> done =
            m_progress.parseProgressLine(line, m_file.source.duration))
        Q_EMIT progressed(command.progressStart + command.progressSpan * *done,
                          m_progress.figures());
    Q_EMIT logText(line + QLatin1Char('\n'));
}

void FileTranscode::onErrorLine(const QByteArray &bytes)
{
    m_diagnosis.add(bytes);
    const QString line = QString::fromUtf8(bytes);
    if (m_commands.at(m_command).kind == PlannedCommand::Kind::Conversion)
        m_trace(QStringLiteral("FFmpeg: ") + line);
    Q_EMIT logText(line + QLatin1Char('\n'));
}

void FileTranscode::onCommandEnded(int status, bool crashed)
{
    if (m_cancelling)
        return end(FileOutcome{FileOutcome::Status::Cancelled});
    const PlannedCommand command = m_commands.at(m_command);
    if (status != 0 || crashed) {
        // A GPU that fails after its test encode passed gets one more try in software.
        if (!m_retried && !m_file.softwareRetry.isEmpty()) {
            m_retried = true;
            Q_EMIT notice(
                QStringLiteral("硬件编码器 %1 转码“%2”时失败（%3），改用软件编码器 %4 重试")
                    .arg(m_encoder, m_file.source.name, m_diagnosis.reason(), m_file.retryEncoder));
            m_commands = m_file.softwareRetry;
            m_encoder = m_file.retryEncoder;
            return runCommand(0);
        }
        return failWithStatus(status, crashed);
    }
    if (!command.readsProgress)
        Q_EMIT progressed(command.progressStart + command.progressSpan, m_progress.figures());
    if (m_command + 1 < m_commands.size())
        return runCommand(m_command + 1);
    verify();
}

void FileTranscode::verify()
{
    Q_EMIT checking();
    m_check = new OutputCheck(m_tools, this);
    connect(m_check, &OutputCheck::passed, this, [this](const VideoFile &result) {
        m_check->deleteLater();
        place(result);
    });
    connect(m_check, &OutputCheck::failed, this, [this](const QString &why) {
        m_check->deleteLater();
        const QString detail = why + (m_file.replacesSource ? QStringLiteral("；原文件未改动")
                                                            : QStringLiteral("；转码结果未保留"));
        fail(Error{QStringLiteral("Verification"), 2, why}, detail);
    });
    m_check->check(m_file.partialPath, m_file.promise);
}

void FileTranscode::place(const VideoFile &result)
{
    const QString source = filePath(m_file.source.url);
    const QString &partial = m_file.partialPath;
    const QString &output = m_file.outputPath;
    if (!m_file.replacesSource) {
        if (std::rename(QFile::encodeName(partial).constData(),
                        QFile::encodeName(output).constData()) != 0)
            return fail(
                fileSystemError(errno),
                QStringLiteral("无法把转码结果放到“%1”: %2").arg(output, systemErrorText(errno)));
    } else {
        // The result is the source's now: its permission bits, and its owner where we may.
        struct stat original;
        if (::fstat(m_sourceLock.descriptor(), &original) == 0) {
            ::fchmod(m_partialLock.descriptor(), original.st_mode & 07777);
            [[maybe_unused]] const int owned =
                ::fchown(m_partialLock.descriptor(), original.st_uid, original.st_gid);
        }
        const QString unchanged = QStringLiteral("；原文件未改动");
        if (output == source) {
            const Result<QString> inTrash = moveToTrash(source);
            if (!inTrash)
                return fail(inTrash.error(), inTrash.error().description() + unchanged);
            if (!renameWithoutReplacing(partial, source)) {
                const int reason = errno;
                restoreFromTrash(*inTrash, source);
                return fail(
                    fileSystemError(reason),
                    QStringLiteral("无法用转码结果替换原文件: %1").arg(systemErrorText(reason)) +
                        unchanged);
            }
        } else {
            if (!renameWithoutReplacing(partial, output))
                return fail(fileSystemError(errno), QStringLiteral("无法把转码结果放到“%1”: %2")
                                                            .arg(output, systemErrorText(errno)) +
                                                        unchanged);
            const Result<QString> inTrash = moveToTrash(source);
            if (!inTrash) {
                QFile::remove(output);
                return fail(inTrash.error(), inTrash.error().description() + unchanged);
            }
        }
    }
    m_leftovers.removeAll(partial);
    FileOutcome outcome{FileOutcome::Status::Converted};
    outcome.outputPath = output;
    outcome.replacedSource = m_file.replacesSource;
    outcome.outputSize = result.size;
    outcome.outputDuration = result.duration;
    outcome.encoder = m_encoder;
    outcome.result = result;
    outcome.result.url = QUrl::fromLocalFile(output);
    outcome.result.name = QFileInfo(output).fileName();
    end(outcome);
}

void FileTranscode::failWithStatus(int status, bool crashed)
{
    const PlannedCommand::Kind kind = m_commands.at(m_command).kind;
    Error error{QStringLiteral("FFmpegError"), status, QString()};
    QString what = QStringLiteral("ffmpeg 转码失败");
    if (kind == PlannedCommand::Kind::AlphaIntermediate) {
        what = QStringLiteral("ffmpeg 生成中间文件失败");
    } else if (kind == PlannedCommand::Kind::ProRes4444Stage) {
        what = QStringLiteral("FFmpeg转码失败");
        error = Error{QStringLiteral("FFmpegConversion"), status, what};
    } else if (kind == PlannedCommand::Kind::HevcAlphaExport) {
        what = QStringLiteral("HEVC Alpha 导出失败");
        error = Error{QStringLiteral("VideoConversion"), -3, QStringLiteral("导出失败")};
    }
    QString detail = crashed ? QStringLiteral("%1（被信号 %2 终止）").arg(what).arg(status)
                             : QStringLiteral("%1（退出代码 %2）").arg(what).arg(status);
    if (const QString reason = m_diagnosis.reason(); !reason.isEmpty())
        detail += QStringLiteral(": ") + reason;
    fail(error, detail);
}

void FileTranscode::fail(const Error &error, const QString &detail)
{
    FileOutcome outcome{FileOutcome::Status::Failed};
    outcome.encoder = m_encoder;
    outcome.error = error;
    outcome.reason = detail;
    end(outcome);
}

void FileTranscode::end(FileOutcome outcome)
{
    if (m_over)
        return;
    m_over = true;
    removeLeftovers();
    m_outputLock.release();
    m_partialLock.release();
    m_sourceLock.release();
    Q_EMIT finished(outcome);
}

void FileTranscode::removeLeftovers()
{
    for (const QString &path : std::exchange(m_leftovers, {}))
        QFile::remove(path);
}
