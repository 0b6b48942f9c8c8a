#include "transcode/FileTranscode.h"

#include "model/Choices.h"
#include "model/FileUrls.h"
#include "model/TranscodeViewModel.h"
#include "probe/ProbeOutput.h"
#include "transcode/EncoderSupport.h"
#include "transcode/OutputNaming.h"
#include "transcode/ProgressParser.h"
#include "transcode/Trash.h"
#include "transcode/VideoFormatChecker.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QUuid>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

const QString FFmpegErrorDomain = QStringLiteral("FFmpegError");

QString systemErrorText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Puts `from` in the place of `to`, replacing what is there, in one step.
bool renameReplacing(const QString &from, const QString &to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

} // namespace

FileTranscode::FileTranscode(FileJob job, TranscodeViewModel &model, EncoderSupport &encoders,
                             ProgressParser &progress, QObject *parent)
    : QObject(parent)
    , m_job(std::move(job))
    , m_model(model)
    , m_encoders(encoders)
    , m_progress(progress)
{}

FileTranscode::~FileTranscode()
{
    // The child must be gone before its half-written files are removed.
    delete m_runner;
    removeLeftovers();
}

bool FileTranscode::takesAlphaRoute(const QString &codec, bool enableAlpha)
{
    return codec == Codec::HevcHardware && enableAlpha;
}

QStringList FileTranscode::mainRouteArguments(const QString &input, const QStringList &settings,
                                              const QString &format, const QString &output)
{
    return QStringList{QStringLiteral("-i"), input, QStringLiteral("-y"),
                       QStringLiteral("-progress"), QStringLiteral("pipe:1")} +
           settings +
           QStringList{QStringLiteral("-f"), format, QStringLiteral("-c:a"), QStringLiteral("aac"),
                       output};
}

void FileTranscode::start()
{
    // Looked up for every file: ffmpeg may have been installed or removed meanwhile.
    const std::optional<QString> ffmpeg = m_model.toolLocator().find(QStringLiteral("ffmpeg"));
    if (!ffmpeg) {
        fail(Error{FFmpegErrorDomain, -1, QStringLiteral("FFmpeg not found")},
             QStringLiteral("找不到 ffmpeg（程序旁的 resources 文件夹和 PATH 中都没有）"));
        return;
    }
    m_ffmpeg = *ffmpeg;
    // Both routes first keep the progress of the last file from leaking into this one.
    m_progress.reset();
    if (takesAlphaRoute(m_job.codec, m_job.enableAlpha))
        startAlphaRoute();
    else
        startMainRoute();
}

void FileTranscode::cancel()
{
    if (m_over || m_cancelling)
        return;
    m_cancelling = true;
    if (m_runner && m_runner->isRunning())
        m_runner->stop(); // its end reports the cancel
    else
        QTimer::singleShot(0, this, &FileTranscode::endCancelled);
}

// Main route

void FileTranscode::startMainRoute()
{
    withAvailableEncoders(m_job.settingsArguments, [this](const QStringList &settings) {
        const QString partial = OutputNaming::partialPath(m_job.outputPath);
        m_leftovers << partial;
        const QStringList arguments =
            mainRouteArguments(filePath(m_job.file.url), settings, m_job.format, partial);

        const QString command = m_ffmpeg + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
        const QString banner = QStringLiteral("============= FFmpeg Command =============");
        const QString rule = QString(41, QLatin1Char('='));
        m_model.trace(banner);
        m_model.trace(command);
        m_model.trace(rule);
        m_model.appendToFfmpegLog(QLatin1Char('\n') + banner + QLatin1Char('\n'));
        m_model.appendToFfmpegLog(command + QLatin1Char('\n'));
        m_model.appendToFfmpegLog(rule + QLatin1Char('\n'));

        run(
            m_ffmpeg, arguments, [this](const QByteArray &line) { onProgressLine(line); },
            [this, partial](int status, bool crashed) {
                if (status != 0 || crashed) {
                    failWithStatus(Error{FFmpegErrorDomain, status, QString()},
                                   QStringLiteral("ffmpeg 转码失败"), status, crashed);
                    return;
                }
                finishOutput(partial);
            },
            true);
    });
}

void FileTranscode::onProgressLine(const QByteArray &bytes)
{
    const QString line = QString::fromUtf8(bytes);
    if (const std::optional<double> done =
            m_progress.parseProgressLine(line, m_job.file.duration)) {
        m_model.setTranscodeProgress((m_job.index + *done) / m_job.count);
        m_model.setCurrentFrame(m_progress.frame);
        m_model.setCurrentFPS(m_progress.fps);
        m_model.setCurrentBitrate(m_progress.bitrate);
        m_model.setCurrentSpeed(m_progress.speed);
    }
    m_model.appendToFfmpegLog(line + QLatin1Char('\n'));
}

// HEVC with alpha

void FileTranscode::startAlphaRoute()
{
    m_encoders.checkHevcAlpha(m_ffmpeg, this, [this](bool available) {
        if (m_cancelling)
            return endCancelled();
        if (!available) {
            fail(Error{QStringLiteral("VideoConversion"), -2, QStringLiteral("无法创建导出会话")},
                 QStringLiteral("无法创建导出会话：此 ffmpeg 没有能保留 Alpha 通道的 HEVC 编码器"));
            return;
        }
        const QString source = filePath(m_job.file.url);
        checkProRes4444(source, [this, source](bool isProRes4444) {
            const int index = m_job.index;
            const int count = m_job.count;
            if (isProRes4444)
                convertToHevcWithAlpha(source, [this, index, count](double p) {
                    m_model.setTranscodeProgress((index + p) / count);
                });
            else
                intermediatePass();
        });
    });
}

void FileTranscode::checkProRes4444(const QString &path, std::function<void(bool)> then)
{
    const std::optional<QString> ffprobe = m_model.toolLocator().find(QStringLiteral("ffprobe"));
    if (!ffprobe) {
        // Without a description the file is simply not taken for ProRes 4444.
        QTimer::singleShot(0, this, [then] { then(false); });
        return;
    }
    auto output = std::make_shared<QByteArray>();
    run(
        *ffprobe, VideoFormatChecker::probeArguments(path),
        [output](const QByteArray &line) { *output += line + '\n'; },
        [output, then](int, bool) { then(VideoFormatChecker::isProRes4444(*output)); });
}

void FileTranscode::intermediatePass()
{
    const QString intermediate = newTemporaryMov();
    const QStringList arguments =
        VideoFormatChecker::intermediatePassArguments(filePath(m_job.file.url), intermediate);
    withAvailableEncoders(arguments, [this, intermediate](const QStringList &arguments) {
        run(m_ffmpeg, arguments, nullptr, [this, intermediate](int status, bool crashed) {
            if (status != 0 || crashed) {
                failWithStatus(Error{FFmpegErrorDomain, status, QString()},
                               QStringLiteral("ffmpeg 生成中间文件失败"), status, crashed);
                return;
            }
            const int index = m_job.index;
            const int count = m_job.count;
            convertToHevcWithAlpha(intermediate, [this, index, count](double p) {
                m_model.setTranscodeProgress((index + 0.5 + 0.5 * p) / count);
            });
        });
    });
}

void FileTranscode::convertToHevcWithAlpha(const QString &input, Progress progress)
{
    checkProRes4444(input, [this, input, progress](bool isProRes4444) {
        if (isProRes4444)
            return exportHevcWithAlpha(input, progress);
        const QString stage = newTemporaryMov();
        const QStringList arguments = VideoFormatChecker::proRes4444Arguments(input, stage);
        withAvailableEncoders(arguments, [this, stage, progress](const QStringList &arguments) {
            run(m_ffmpeg, arguments, nullptr, [this, stage, progress](int status, bool crashed) {
                progress(0.5);
                if (status != 0 || crashed) {
                    failWithStatus(Error{QStringLiteral("FFmpegConversion"), status,
                                         QStringLiteral("FFmpeg转码失败")},
                                   QStringLiteral("FFmpeg转码失败"), status, crashed);
                    return;
                }
                exportHevcWithAlpha(stage, [progress](double p) { progress(0.5 + 0.5 * p); });
            });
        });
    });
}

void FileTranscode::exportHevcWithAlpha(const QString &input, Progress progress)
{
    const QString partial = OutputNaming::partialPath(m_job.outputPath);
    m_leftovers << partial;
    run(
        m_ffmpeg, VideoFormatChecker::hevcAlphaExportArguments(input, partial),
        [this, progress](const QByteArray &line) {
            if (const std::optional<double> done =
                    m_progress.parseProgressLine(QString::fromUtf8(line), m_job.file.duration))
                progress(*done);
        },
        [this, partial](int status, bool crashed) {
            if (status != 0 || crashed) {
                failWithStatus(
                    Error{QStringLiteral("VideoConversion"), -3, QStringLiteral("导出失败")},
                    QStringLiteral("HEVC Alpha 导出失败"), status, crashed);
                return;
            }
            finishOutput(partial);
        });
}

// Shared steps

void FileTranscode::withAvailableEncoders(const QStringList &arguments,
                                          std::function<void(const QStringList &)> then)
{
    m_encoderCheck = EncoderCheck{
        arguments, EncoderFallback::hardwareEncodersIn(arguments), {}, std::move(then)};
    checkNextEncoder();
}

void FileTranscode::checkNextEncoder()
{
    if (m_cancelling)
        return endCancelled();
    EncoderCheck &check = m_encoderCheck;
    if (check.remaining.isEmpty()) {
        for (const QString &encoder : check.unavailable)
            Q_EMIT notice(EncoderFallback::notice(encoder));
        const auto then = std::exchange(check.then, nullptr);
        then(EncoderFallback::substitute(check.arguments, check.unavailable));
        return;
    }
    // Usually one encoder; ask about each in turn.
    const QString encoder = check.remaining.takeFirst();
    m_encoders.checkEncoder(m_ffmpeg, encoder, this, [this, encoder](bool works) {
        if (!works)
            m_encoderCheck.unavailable << encoder;
        checkNextEncoder();
    });
}

void FileTranscode::finishOutput(const QString &partial)
{
    if (m_job.overwriteOriginal)
        return replaceSource(partial);
    if (!renameReplacing(partial, m_job.outputPath)) {
        fail(Error{QStringLiteral("FileSystem"), errno, systemErrorText()},
             QStringLiteral("无法把转码结果放到“%1”: %2").arg(m_job.outputPath, systemErrorText()));
        return;
    }
    m_leftovers.removeAll(partial);
    succeed();
}

void FileTranscode::replaceSource(const QString &partial)
{
    // The result takes the source's place only once ffprobe has seen a whole video in it.
    const std::optional<QString> ffprobe = m_model.toolLocator().find(QStringLiteral("ffprobe"));
    if (!ffprobe) {
        fail(Error{QStringLiteral("Verification"), 1, QStringLiteral("ffprobe not found")},
             QStringLiteral("找不到 ffprobe，无法校验转码结果；原文件未改动"));
        return;
    }
    auto output = std::make_shared<QByteArray>();
    run(
        *ffprobe, probeArguments(partial),
        [output](const QByteArray &line) { *output += line + '\n'; },
        [this, partial, output](int, bool) {
            const QString source = filePath(m_job.file.url);
            const ProbeOutcome result =
                interpretProbeOutput(*output, QUrl::fromLocalFile(partial), 0);
            const double expected = m_job.file.duration;
            const bool durationsKnown = expected > 0 && result.file && result.file->duration > 0;
            if (!result.file ||
                (durationsKnown && std::fabs(result.file->duration - expected) > 1.0)) {
                fail(Error{QStringLiteral("Verification"), 2,
                           QStringLiteral("converted file failed its check")},
                     result.file ? QStringLiteral("转码结果时长与原文件不符；原文件未改动")
                                 : QStringLiteral("转码结果中没有视频流；原文件未改动"));
                return;
            }
            const Result<QString> inTrash = moveToTrash(source);
            if (!inTrash) {
                fail(inTrash.error(),
                     inTrash.error().description() + QStringLiteral("；原文件未改动"));
                return;
            }
            if (!renameReplacing(partial, source)) {
                const QString reason = systemErrorText();
                renameReplacing(*inTrash, source); // the original comes back
                fail(Error{QStringLiteral("FileSystem"), errno, reason},
                     QStringLiteral("无法用转码结果替换原文件: %1；原文件未改动").arg(reason));
                return;
            }
            m_leftovers.removeAll(partial);
            succeed();
        });
}

void FileTranscode::run(const QString &program, const QStringList &arguments,
                        LineHandler outputLine, ExitHandler onExit, bool echoErrors)
{
    if (m_runner)
        m_runner->deleteLater();
    m_lastErrorLine.clear();
    m_runner = new ProcessRunner(this);
    m_runner->setStandardOutput(outputLine ? ProcessRunner::Output::Lines
                                           : ProcessRunner::Output::Discard);
    if (outputLine)
        connect(m_runner, &ProcessRunner::standardOutputLine, this, outputLine);
    connect(m_runner, &ProcessRunner::standardErrorLine, this,
            [this, echoErrors](const QByteArray &line) {
                if (!line.trimmed().isEmpty())
                    m_lastErrorLine = line.trimmed();
                if (echoErrors)
                    m_model.trace(QStringLiteral("FFmpeg: ") + QString::fromUtf8(line));
            });
    connect(m_runner, &ProcessRunner::failedToStart, this, [this, program](const Error &error) {
        if (m_cancelling)
            return endCancelled();
        fail(error, QStringLiteral("无法启动 %1: %2").arg(program, error.description()));
    });
    connect(m_runner, &ProcessRunner::finished, this, [this, onExit](int status, bool crashed) {
        if (m_cancelling)
            return endCancelled();
        onExit(status, crashed);
    });
    m_runner->start(program, arguments);
}

void FileTranscode::failWithStatus(const Error &error, const QString &what, int status,
                                   bool crashed)
{
    QString detail = crashed ? QStringLiteral("%1（被信号 %2 终止）").arg(what).arg(status)
                             : QStringLiteral("%1（退出代码 %2）").arg(what).arg(status);
    if (!m_lastErrorLine.isEmpty())
        detail += QStringLiteral(": ") + QString::fromUtf8(m_lastErrorLine);
    fail(error, detail);
}

void FileTranscode::succeed()
{
    if (m_over)
        return;
    m_over = true;
    removeLeftovers();
    Q_EMIT succeeded();
}

void FileTranscode::fail(const Error &error, const QString &detail)
{
    if (m_over)
        return;
    m_over = true;
    removeLeftovers();
    Q_EMIT failed(FileFailure{error, detail});
}

void FileTranscode::endCancelled()
{
    if (m_over)
        return;
    m_over = true;
    removeLeftovers();
    Q_EMIT cancelled();
}

void FileTranscode::removeLeftovers()
{
    for (const QString &path : std::exchange(m_leftovers, {}))
        QFile::remove(path);
}

QString FileTranscode::newTemporaryMov()
{
    const QString path =
        QDir(QDir::tempPath())
            .filePath(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() +
                      QStringLiteral(".mov"));
    m_leftovers << path;
    return path;
}
