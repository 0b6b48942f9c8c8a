#include "probe/VideoProbe.h"

#include "domain/FileUrls.h"
#include "probe/ProbeTrace.h"
#include "process/ProcessRunner.h"

VideoProbe::VideoProbe(ToolLocator tools, QObject *parent)
    : QObject(parent)
    , m_tools(std::move(tools))
{
    m_timeLimit.setSingleShot(true);
    m_timeLimit.setInterval(TimeLimit);
    connect(&m_timeLimit, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        m_runner->stop(std::chrono::milliseconds(500));
    });
}

VideoProbe::~VideoProbe() = default;

void VideoProbe::getVideoInfo(const QUrl &url)
{
    m_url = url;
    const QString path = filePath(url);
    m_trace << ProbeTrace::starting(path);

    const std::optional<QString> ffprobe = m_tools.find(QStringLiteral("ffprobe"));
    if (!ffprobe) {
        m_trace << QStringLiteral("❌ [ERROR] ffprobe not found in bundle");
        QTimer::singleShot(0, this, [this] { finish({}, QStringLiteral("找不到 ffprobe")); });
        return;
    }
    m_program = *ffprobe;
    m_trace << ProbeTrace::toolPath(m_program);

    m_runner = new ProcessRunner(this);
    m_runner->setStandardOutput(ProcessRunner::Output::Collect);
    m_runner->setStandardError(ProcessRunner::Output::Discard);
    m_runner->setCollectLimit(OutputLimit);
    m_runner->setInheritedDescriptors(m_inherited);
    connect(m_runner, &ProcessRunner::failedToStart, this, [this](const Error &error) {
        m_trace << QStringLiteral("Error running FFprobe: ") + error.description();
        finish({}, QStringLiteral("无法启动 ffprobe: ") + error.description());
    });
    connect(m_runner, &ProcessRunner::finished, this, &VideoProbe::onExit);

    m_trace << ProbeTrace::running();
    m_timeLimit.start();
    m_runner->start(m_program, probeArguments(path, m_readToEnd));
}

void VideoProbe::onExit(int exitStatus)
{
    m_timeLimit.stop();
    m_trace << ProbeTrace::ended(exitStatus);
    if (m_timedOut || m_runner->overflowed()) {
        const QString why = m_timedOut
                                ? ProbeTrace::tooSlow(m_program, m_timeLimit.intervalAsDuration())
                                : ProbeTrace::tooMuchOutput(m_program);
        Q_EMIT finished(ProbeTrace::failure(m_trace, why));
        return;
    }
    // ffprobe's exit status is never judged: its output alone decides.
    ProbeOutcome outcome = interpretProbeOutput(m_runner->collectedStandardOutput(), m_url,
                                                fileFactsAt(filePath(m_url)));
    m_trace += outcome.trace;
    finish(outcome.file, outcome.failure);
}

void VideoProbe::finish(std::optional<VideoFile> file, const QString &failure)
{
    Q_EMIT finished(ProbeOutcome{std::move(file), m_trace, failure});
}
