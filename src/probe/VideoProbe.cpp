#include "probe/VideoProbe.h"

#include "model/FileUrls.h"
#include "transcode/ProcessRunner.h"

#include <QFileInfo>
#include <QTimer>

VideoProbe::VideoProbe(ToolLocator tools, QObject *parent)
    : QObject(parent)
    , m_tools(std::move(tools))
{}

void VideoProbe::getVideoInfo(const QUrl &url)
{
    m_url = url;
    const QString path = filePath(url);
    m_trace << QStringLiteral("🔍 [DEBUG] getVideoInfo 开始处理: ") + path;

    const std::optional<QString> ffprobe = m_tools.find(QStringLiteral("ffprobe"));
    if (!ffprobe) {
        m_trace << QStringLiteral("❌ [ERROR] ffprobe not found in bundle");
        QTimer::singleShot(0, this, [this] { finish(); });
        return;
    }
    m_trace << QStringLiteral("🔍 [DEBUG] ffprobe 路径: ") + *ffprobe;

    m_runner = new ProcessRunner(this);
    m_runner->setStandardOutput(ProcessRunner::Output::Collect);
    m_runner->setStandardError(ProcessRunner::Output::Discard);
    connect(m_runner, &ProcessRunner::failedToStart, this, [this](const Error &error) {
        m_trace << QStringLiteral("Error running FFprobe: ") + error.description();
        finish();
    });
    connect(m_runner, &ProcessRunner::finished, this, [this](int exitStatus, bool) {
        m_trace << QStringLiteral("🔍 [DEBUG] ffprobe 进程启动成功")
                << QStringLiteral("🔍 [DEBUG] ffprobe 进程执行完成，退出代码: %1").arg(exitStatus);
        // ffprobe's exit status is never judged: its output alone decides.
        const ProbeOutcome outcome = interpretProbeOutput(m_runner->collectedStandardOutput(),
                                                          m_url, QFileInfo(filePath(m_url)).size());
        m_trace += outcome.trace;
        finish(outcome.file);
    });

    m_trace << QStringLiteral("🔍 [DEBUG] 开始执行 ffprobe 进程");
    m_runner->start(*ffprobe, probeArguments(path));
}

void VideoProbe::finish(std::optional<VideoFile> file)
{
    Q_EMIT finished(ProbeOutcome{std::move(file), m_trace});
}
