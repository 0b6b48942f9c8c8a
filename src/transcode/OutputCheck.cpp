#include "transcode/OutputCheck.h"

#include "probe/VideoProbe.h"
#include "process/ProcessRunner.h"

#include <QFileInfo>
#include <QTimer>

#include <cmath>
#include <memory>

namespace {

QString seconds(double value)
{
    return QString::number(value, 'f', 2);
}

// Reading a file to its end takes time in proportion to its size; a slow disk gets its due.
std::chrono::milliseconds readingTime(const QString &path)
{
    constexpr qint64 bytesPerSecond = 20 * 1000 * 1000;
    return std::chrono::milliseconds(VideoProbe::TimeLimit) +
           std::chrono::seconds(QFileInfo(path).size() / bytesPerSecond);
}

} // namespace

OutputCheck::OutputCheck(ToolLocator tools, QObject *parent)
    : QObject(parent)
    , m_tools(std::move(tools))
{}

std::optional<QString> OutputCheck::problemWith(const VideoFile &result,
                                                const OutputPromise &promise)
{
    if (result.videoStreams == 0)
        return QStringLiteral("转码结果中没有视频流");
    if (result.audioStreams != promise.audioStreams)
        return QStringLiteral("转码结果有 %1 条音轨，应有 %2 条")
            .arg(result.audioStreams)
            .arg(promise.audioStreams);
    if (result.packetsRead < 0)
        return QStringLiteral("无法读完转码结果，其长度无法确定");
    if (result.frameCount > 0 && result.packetsRead != result.frameCount)
        return QStringLiteral("转码结果不完整：索引记有 %1 帧，只读到 %2 帧")
            .arg(result.frameCount)
            .arg(result.packetsRead);
    if (result.packetsRead == 0)
        return QStringLiteral("转码结果中没有视频帧");
    if (promise.duration > 0 && result.duration <= 0)
        return QStringLiteral("转码结果的时长无法确定");
    if (promise.duration > 0 &&
        std::fabs(result.duration - promise.duration) > std::max(1.0, 0.02 * promise.duration))
        return QStringLiteral("转码结果时长 %1 秒，与原文件的 %2 秒不符")
            .arg(seconds(result.duration), seconds(promise.duration));
    // A track cut short is as lost as a picture cut short.
    for (qsizetype track = 0;
         track < promise.audioDurations.size() && track < result.audioDurations.size(); ++track) {
        const double promised = promise.audioDurations.at(track);
        const double made = result.audioDurations.at(track);
        if (promised > 0 && made > 0 && std::fabs(made - promised) > std::max(1.0, 0.02 * promised))
            return QStringLiteral("转码结果的第 %1 条音轨长 %2 秒，与原文件的 %3 秒不符")
                .arg(track + 1)
                .arg(seconds(made), seconds(promised));
    }
    if (promise.frames >= 0 && result.packetsRead != promise.frames)
        return QStringLiteral("转码结果有 %1 帧，原文件有 %2 帧")
            .arg(result.packetsRead)
            .arg(promise.frames);
    if (promise.videoDuration > 0 && result.videoDuration > 0 &&
        std::fabs(result.videoDuration - promise.videoDuration) > promise.frameSeconds + 0.001)
        return QStringLiteral("转码结果的视频长 %1 秒，与原文件的 %2 秒相差超过一帧")
            .arg(QString::number(result.videoDuration, 'f', 3),
                 QString::number(promise.videoDuration, 'f', 3));
    const double aspect = displayAspect(result);
    if (promise.displayAspect <= 0 || aspect <= 0)
        return std::nullopt;
    // Even sides may bend the shape of a small picture by up to a pixel each way.
    const double tolerance = std::max(0.01, 1.0 / result.shownWidth() + 1.0 / result.shownHeight());
    if (std::fabs(aspect / promise.displayAspect - 1) > tolerance)
        return QStringLiteral("转码结果的画面比例 %1 与原文件的 %2 不符")
            .arg(QString::number(aspect, 'f', 3), QString::number(promise.displayAspect, 'f', 3));
    return std::nullopt;
}

void OutputCheck::check(const Files &files, const OutputPromise &promise)
{
    m_files = files;
    m_promise = promise;
    if (m_promise.duration > 0 || m_files.source.isEmpty())
        return checkOutput();
    measureSource();
}

// ffmpeg copies the source's video to nowhere, which reads it whole without decoding it, and
// says at the end how far it got.
void OutputCheck::measureSource()
{
    const std::optional<QString> ffmpeg = m_tools.find(QStringLiteral("ffmpeg"));
    if (!ffmpeg) {
        QTimer::singleShot(
            0, this, [this] { Q_EMIT failed(QStringLiteral("找不到 ffmpeg，无法检查转码结果")); });
        return;
    }
    m_runner = new ProcessRunner(this);
    m_runner->setStandardError(ProcessRunner::Output::Discard);
    m_runner->setCollectLimit(VideoProbe::OutputLimit);
    m_runner->setTimeLimit(readingTime(m_files.source));
    m_runner->setInheritedDescriptors(m_files.descriptors);
    auto reached = std::make_shared<double>(0);
    connect(m_runner, &ProcessRunner::standardOutputLine, this, [reached](const QByteArray &line) {
        static const QByteArray key("out_time_us=");
        if (line.startsWith(key))
            *reached = std::max(*reached, line.mid(key.size()).toDouble() / 1e6);
    });
    const auto unknown = [this] {
        Q_EMIT failed(QStringLiteral("原文件的时长无法确定，无法证明转码结果完整"));
    };
    connect(m_runner, &ProcessRunner::failedToStart, this, unknown);
    connect(m_runner, &ProcessRunner::finished, this,
            [this, reached, unknown](int status, bool crashed) {
                const bool whole = status == 0 && !crashed && !m_runner->timedOut();
                m_runner->deleteLater();
                if (!whole || *reached <= 0)
                    return unknown();
                m_promise.duration = *reached;
                checkOutput();
            });
    m_runner->start(*ffmpeg,
                    {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-nostdin"),
                     QStringLiteral("-i"), m_files.source, QStringLiteral("-map"),
                     QStringLiteral("0:v:0"), QStringLiteral("-c"), QStringLiteral("copy"),
                     QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-progress"),
                     QStringLiteral("pipe:1"), QStringLiteral("-")});
}

void OutputCheck::checkOutput()
{
    m_probe = new VideoProbe(m_tools, this);
    m_probe->setReadToEnd(true);
    m_probe->setTimeLimit(readingTime(m_files.output));
    m_probe->setInheritedDescriptors(m_files.descriptors);
    connect(m_probe, &VideoProbe::finished, this, [this](const ProbeOutcome &outcome) {
        m_probe->deleteLater();
        if (!outcome.file)
            return Q_EMIT failed(QStringLiteral("转码结果无法读取（%1）").arg(outcome.failure));
        if (const std::optional<QString> problem = problemWith(*outcome.file, m_promise))
            return Q_EMIT failed(*problem);
        Q_EMIT passed(*outcome.file);
    });
    m_probe->getVideoInfo(QUrl::fromLocalFile(m_files.output));
}
