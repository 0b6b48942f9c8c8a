#include "cli/CliSession.h"

#include "intake/IntakeUrls.h"
#include "model/FileUrls.h"
#include "model/TranscodeViewModel.h"
#include "transcode/BatchTranscoder.h"
#include "transcode/FileTranscode.h"
#include "transcode/OutputNaming.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

// Only writes a byte: all else happens on the event loop.
void forwardSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

void printError(const QString &text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace

CliSession::CliSession(TranscodeViewModel &model, CliOptions options)
    : m_model(model)
    , m_options(std::move(options))
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        m_signals = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
        connect(m_signals, &QSocketNotifier::activated, this, &CliSession::onSignal);
        struct sigaction action = {};
        action.sa_handler = forwardSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &action, nullptr);
        ::sigaction(SIGTERM, &action, nullptr);
    }
    m_progressIsLive = ::isatty(STDERR_FILENO) == 1;
    connect(&m_model, &TranscodeViewModel::intakeFinished, this, &CliSession::onIntakeFinished);
    connect(&m_model, &TranscodeViewModel::runFinished, this, &CliSession::onRunFinished);
    connect(&m_model, &TranscodeViewModel::transcodeProgressChanged, this,
            &CliSession::showProgress);
    // The file's name is set just after its index: show both once both are there.
    connect(&m_model, &TranscodeViewModel::currentFileIndexChanged, this, &CliSession::showProgress,
            Qt::QueuedConnection);
    connect(&m_model, &TranscodeViewModel::runNoticeChanged, this, [this] {
        if (!m_model.runNotice().isEmpty())
            printError(QStringLiteral("quillmere-cli: ") + m_model.runNotice());
    });
}

CliSession::~CliSession()
{
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
}

void CliSession::start()
{
    QList<QUrl> urls;
    for (const QString &path : m_options.paths)
        urls << intakeUrlFromPath(path);
    m_model.processSelectedFiles(urls);
}

void CliSession::onIntakeFinished()
{
    if (m_interrupted)
        return finish(130);
    if (m_model.videoFiles().isEmpty()) {
        printError(QStringLiteral("quillmere-cli: no video could be listed"));
        return finish(1);
    }
    switch (m_options.mode) {
    case CliOptions::Mode::Probe:
        return finish(0);
    case CliOptions::Mode::DryRun:
        printDryRun();
        return;
    default:
        m_model.startTranscoding();
        // A run refused at the start (a bitrate that cannot be written) never begins.
        if (!m_model.isTranscoding()) {
            printError(QStringLiteral("quillmere-cli: 转码失败: ") + m_model.lastError());
            finish(1);
        }
    }
}

void CliSession::printDryRun()
{
    const std::optional<QString> ffmpeg = m_model.toolLocator().find(QStringLiteral("ffmpeg"));
    if (!ffmpeg) {
        printError(QStringLiteral("quillmere-cli: ffmpeg not found (neither in resources/ beside "
                                  "the program nor on PATH)"));
        return finish(1);
    }
    const QList<VideoFile> files = m_model.videoFiles();
    OutputPlanner planner(
        files, OutputNaming::outputDirectory(files.first().url, m_model.selectedCodec()));
    for (int i = 0; i < files.size(); ++i) {
        const Result<FileJob> job = BatchTranscoder::jobFor(m_model, files, i, planner);
        if (!job) {
            printError(QStringLiteral("quillmere-cli: ") + job.error().description());
            return finish(1);
        }
        const QString input = filePath(job->file.url);
        QString line;
        if (FileTranscode::takesAlphaRoute(job->codec, job->enableAlpha)) {
            line =
                QStringLiteral("[HEVC Alpha] ") + input + QStringLiteral(" -> ") + job->outputPath;
        } else {
            // The run writes to a hidden partial name first when it replaces the source.
            const QString output = job->overwriteOriginal
                                       ? OutputNaming::partialPath(job->outputPath)
                                       : job->outputPath;
            line = *ffmpeg + QLatin1Char(' ') +
                   FileTranscode::mainRouteArguments(input, job->settingsArguments, job->format,
                                                     output)
                       .join(QLatin1Char(' '));
        }
        m_model.trace(line);
    }
    finish(0);
}

void CliSession::onRunFinished(RunOutcome outcome)
{
    if (m_progressIsLive)
        std::fputs("\n", stderr);
    switch (outcome) {
    case RunOutcome::Completed:
        if (!m_model.lastOutputDirectory().isEmpty())
            printError(QStringLiteral("quillmere-cli: 转码完成: ") + m_model.lastOutputDirectory());
        return finish(0);
    case RunOutcome::Failed:
        printError(QStringLiteral("quillmere-cli: 转码失败: ") + m_model.lastError());
        return finish(1);
    case RunOutcome::Cancelled:
        return finish(130);
    }
}

void CliSession::onSignal()
{
    char bytes[16];
    while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    if (m_interrupted)
        return;
    m_interrupted = true;
    if (m_model.isTranscoding()) {
        printError(QStringLiteral("\nquillmere-cli: 正在取消…"));
        m_model.cancelTranscoding();
        return;
    }
    // Before the run nothing needs undoing; the model stops a probe under way on its way out.
    finish(130);
}

void CliSession::showProgress()
{
    if (!m_model.isTranscoding())
        return;
    const int file = m_model.currentFileIndex();
    const bool newFile = file != m_shownFile;
    if (!m_progressIsLive) {
        // Into a log: one line per file.
        if (newFile && file > 0)
            printError(QStringLiteral("[%1/%2] %3")
                           .arg(file)
                           .arg(m_model.totalFiles())
                           .arg(m_model.currentFileName()));
        m_shownFile = file;
        return;
    }
    if (!newFile && m_sinceProgress.isValid() && m_sinceProgress.elapsed() < 100)
        return;
    m_sinceProgress.start();
    m_shownFile = file;
    const int percent = static_cast<int>(std::clamp(m_model.transcodeProgress() * 100, 0.0, 100.0));
    const QString line = QString::asprintf("\r\x1b[K[%d/%d] %3d%%  %lld 帧  %.1f fps  %.1fx  ",
                                           file, m_model.totalFiles(), percent,
                                           static_cast<long long>(m_model.currentFrame()),
                                           m_model.currentFPS(), m_model.currentSpeed()) +
                         m_model.currentFileName();
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

void CliSession::finish(int exitStatus)
{
    Q_EMIT done(exitStatus);
}
