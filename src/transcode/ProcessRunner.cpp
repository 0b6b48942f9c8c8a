#include "transcode/ProcessRunner.h"

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

ProcessRunner::ProcessRunner(QObject *parent)
    : QObject(parent)
{
    m_killTimer.setSingleShot(true);
    connect(&m_killTimer, &QTimer::timeout, &m_process, &QProcess::kill);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &ProcessRunner::readOutput);
    connect(&m_process, &QProcess::readyReadStandardError, this, &ProcessRunner::readError);
    connect(&m_process, &QProcess::finished, this, &ProcessRunner::onFinished);
    connect(&m_process, &QProcess::errorOccurred, this, &ProcessRunner::onError);
}

ProcessRunner::~ProcessRunner()
{
    if (!isRunning())
        return;
    // Nobody listens any more; only make sure the child is gone.
    m_process.disconnect(this);
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(1000);
    }
}

void ProcessRunner::start(const QString &program, const QStringList &arguments)
{
    m_process.setProgram(program);
    m_process.setArguments(arguments);
    // A child must never read the user's terminal (ffmpeg takes keys from it).
    m_process.setStandardInputFile(QProcess::nullDevice());
    if (m_outputMode == Output::Discard)
        m_process.setStandardOutputFile(QProcess::nullDevice());
    if (m_errorMode == Output::Discard)
        m_process.setStandardErrorFile(QProcess::nullDevice());
    const pid_t parent = ::getpid();
    m_process.setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) // we died before the line above took effect
            ::_exit(127);
        ::setpgid(0, 0);
    });
    m_process.start(QIODevice::ReadOnly);
}

void ProcessRunner::stop(std::chrono::milliseconds grace)
{
    if (!isRunning() || m_killTimer.isActive())
        return;
    m_process.terminate();
    m_killTimer.start(grace);
}

void ProcessRunner::readOutput()
{
    if (m_outputMode == Output::Discard)
        return;
    deliver(m_process.readAllStandardOutput(), m_outputMode, m_outputLines, m_collectedOutput,
            &ProcessRunner::standardOutputLine);
}

void ProcessRunner::readError()
{
    if (m_errorMode == Output::Discard)
        return;
    deliver(m_process.readAllStandardError(), m_errorMode, m_errorLines, m_collectedError,
            &ProcessRunner::standardErrorLine);
}

void ProcessRunner::deliver(const QByteArray &chunk, Output mode, LineSplitter &lines,
                            QByteArray &collected, LineSignal lineSignal)
{
    if (mode == Output::Discard)
        return;
    if (mode == Output::Collect) {
        collected += chunk;
        return;
    }
    for (const QByteArray &line : lines.feed(chunk))
        Q_EMIT(this->*lineSignal)(line);
}

void ProcessRunner::onFinished(int exitCode, QProcess::ExitStatus status)
{
    m_killTimer.stop();
    readOutput();
    readError();
    for (const QByteArray &line : m_outputLines.finish())
        Q_EMIT standardOutputLine(line);
    for (const QByteArray &line : m_errorLines.finish())
        Q_EMIT standardErrorLine(line);
    Q_EMIT finished(exitCode, status == QProcess::CrashExit);
}

void ProcessRunner::onError(QProcess::ProcessError error)
{
    if (error != QProcess::FailedToStart)
        return; // the other errors end in finished()
    Q_EMIT failedToStart(
        Error{QStringLiteral("QProcess"), static_cast<int>(error), m_process.errorString()});
}
