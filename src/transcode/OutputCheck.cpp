#include "transcode/OutputCheck.h"

#include "probe/VideoProbe.h"
#include "process/ProcessRunner.h"

#include <QTimer>

#include <cmath>

namespace {

QString seconds(double value)
{
    return QString::number(value, 'f', 2);
}

} // namespace

OutputCheck::OutputCheck(ToolLocator tools, QObject *parent)
    : QObject(parent)
    , m_tools(std::move(tools))
{}

std::optional<QString> OutputCheck::problemWith(const VideoFile &result, const VideoFile &source,
                                                int expectedAudioStreams)
{
    if (result.videoStreams == 0)
        return QStringLiteral("转码结果中没有视频流");
    if (result.audioStreams != expectedAudioStreams)
        return QStringLiteral("转码结果有 %1 条音轨，应有 %2 条")
            .arg(result.audioStreams)
            .arg(expectedAudioStreams);
    if (source.duration > 0 && result.duration > 0 &&
        std::fabs(result.duration - source.duration) > std::max(1.0, 0.02 * source.duration))
        return QStringLiteral("转码结果时长 %1 秒，与原文件的 %2 秒不符")
            .arg(seconds(result.duration), seconds(source.duration));
    return std::nullopt;
}

void OutputCheck::check(const QString &path, const VideoFile &source, int expectedAudioStreams)
{
    m_path = path;
    m_probe = new VideoProbe(m_tools, this);
    connect(m_probe, &VideoProbe::finished, this,
            [this, source, expectedAudioStreams](const ProbeOutcome &outcome) {
                m_probe->deleteLater();
                if (!outcome.file)
                    return Q_EMIT failed(
                        QStringLiteral("转码结果无法读取（%1）").arg(outcome.failure));
                if (const std::optional<QString> problem =
                        problemWith(*outcome.file, source, expectedAudioStreams))
                    return Q_EMIT failed(*problem);
                if (source.duration > 0)
                    return Q_EMIT passed(*outcome.file);
                checkDecoding(*outcome.file);
            });
    m_probe->getVideoInfo(QUrl::fromLocalFile(path));
}

void OutputCheck::checkDecoding(const VideoFile &result)
{
    const std::optional<QString> ffmpeg = m_tools.find(QStringLiteral("ffmpeg"));
    if (!ffmpeg)
        return Q_EMIT failed(QStringLiteral("找不到 ffmpeg，无法检查转码结果"));
    m_decoder = new ProcessRunner(this);
    m_decoder->setStandardOutput(ProcessRunner::Output::Discard);
    m_decoder->setStandardError(ProcessRunner::Output::Discard);
    connect(m_decoder, &ProcessRunner::failedToStart, this,
            [this] { Q_EMIT failed(QStringLiteral("无法启动 ffmpeg 检查转码结果")); });
    connect(m_decoder, &ProcessRunner::finished, this, [this, result](int status, bool crashed) {
        m_decoder->deleteLater();
        if (status != 0 || crashed)
            return Q_EMIT failed(QStringLiteral("转码结果的视频无法解码"));
        Q_EMIT passed(result);
    });
    m_decoder->start(*ffmpeg, {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"),
                               m_path, QStringLiteral("-map"), QStringLiteral("0:v:0"),
                               QStringLiteral("-frames:v"), QStringLiteral("1"),
                               QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
}
