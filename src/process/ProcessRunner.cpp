#include "process/ProcessRunner.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Both ends stay with us; only our death closes the last write end, and the watchdog of every
// child waits to read that end of file.
int lifeline[2] = {-1, -1};

// Everything below runs in the child before exec, where Qt may share our memory (vfork), so
// only async-signal-safe calls are allowed, and no fork handlers may run.

[[noreturn]] void killGroupAndExit(int)
{
    ::kill(-::getpgrp(), SIGKILL);
    ::_exit(0);
}

// Waits beside the program, in its group, until the program ends or we do, then kills what is
// left of the group: wrapper scripts and whatever they started included.
[[noreturn]] void watch(pid_t program)
{
    struct sigaction action = {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = SIG_IGN;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE})
        ::sigaction(signal, &action, nullptr);
    action.sa_handler = killGroupAndExit;
    ::sigaction(SIGUSR1, &action, nullptr);
    ::prctl(PR_SET_PDEATHSIG, SIGUSR1);
    if (::getppid() != program)
        killGroupAndExit(0);
    const int end = lifeline[0];
    // Nothing of the program's pipes may stay open here, or their readers would wait for us.
    if (::syscall(SYS_close_range, 0U, static_cast<unsigned>(end) - 1, 0U) != 0 ||
        ::syscall(SYS_close_range, static_cast<unsigned>(end) + 1, ~0U, 0U) != 0) {
        for (int fd = 0; fd < 65536; ++fd) {
            if (fd != end)
                ::close(fd);
        }
    }
    char byte;
    while (::read(end, &byte, 1) != 0) {
        if (errno != EINTR)
            break;
    }
    killGroupAndExit(0);
}

void startInOwnGroup(pid_t parent)
{
    ::setpgid(0, 0);
    if (lifeline[0] >= 0) {
        const pid_t program = ::getpid();
        if (::_Fork() == 0)
            watch(program);
    }
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) // we died before the line above took effect
        ::_exit(127);
}

} // namespace

ProcessRunner::ProcessRunner(QObject *parent)
    : QObject(parent)
{
    m_killTimer.setSingleShot(true);
    connect(&m_killTimer, &QTimer::timeout, this, [this] { signalGroup(SIGKILL); });
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &ProcessRunner::readOutput);
    connect(&m_process, &QProcess::readyReadStandardError, this, &ProcessRunner::readError);
    connect(&m_process, &QProcess::finished, this, &ProcessRunner::onFinished);
    connect(&m_process, &QProcess::errorOccurred, this, &ProcessRunner::onError);
}

ProcessRunner::~ProcessRunner()
{
    if (!isRunning())
        return;
    // Nobody listens any more; only make sure the group is gone.
    m_process.disconnect(this);
    signalGroup(SIGTERM);
    if (!m_process.waitForFinished(3000)) {
        signalGroup(SIGKILL);
        m_process.waitForFinished(1000);
    }
    signalGroup(SIGKILL);
}

void ProcessRunner::start(const QString &program, const QStringList &arguments)
{
    m_process.setProgram(program);
    m_process.setArguments(arguments);
    // A child must never read the user's terminal (ffmpeg takes keys from it).
    if (!m_writableInput)
        m_process.setStandardInputFile(QProcess::nullDevice());
    if (m_outputMode == Output::Discard)
        m_process.setStandardOutputFile(QProcess::nullDevice());
    if (m_errorMode == Output::Discard)
        m_process.setStandardErrorFile(QProcess::nullDevice());
    if (lifeline[0] < 0 && ::pipe2(lifeline, O_CLOEXEC) != 0)
        lifeline[0] = lifeline[1] = -1;
    const pid_t parent = ::getpid();
    m_process.setChildProcessModifier([parent] { startInOwnGroup(parent); });
    m_process.start(m_writableInput ? QIODevice::ReadWrite : QIODevice::ReadOnly);
    // The program leads its group; its id names the group until the last member is gone.
    m_group = m_process.processId();
}

void ProcessRunner::stop(std::chrono::milliseconds grace)
{
    if (!isRunning() || m_killTimer.isActive())
        return;
    signalGroup(SIGTERM);
    m_killTimer.start(grace);
}

void ProcessRunner::setCollectLimit(qint64 bytes)
{
    m_collectLimit = bytes;
    if (bytes < 0)
        return;
    // A line one byte over the limit comes out as a piece of its own, and is seen as too long.
    m_outputLines.setLongestLine(bytes + 1);
    m_errorLines.setLongestLine(bytes + 1);
}

void ProcessRunner::write(const QByteArray &bytes)
{
    if (m_writableInput && isRunning())
        m_process.write(bytes);
}

void ProcessRunner::signalGroup(int signal)
{
    if (m_group > 0)
        ::kill(static_cast<pid_t>(-m_group), signal);
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
    if (m_overflowed)
        return;
    if (mode == Output::Collect) {
        collected += chunk;
        if (m_collectLimit >= 0 && collected.size() > m_collectLimit) {
            collected.truncate(m_collectLimit);
            overflow();
        }
        return;
    }
    for (const QByteArray &line : lines.feed(chunk)) {
        if (m_collectLimit >= 0 && line.size() > m_collectLimit)
            return overflow();
        Q_EMIT(this->*lineSignal)(line);
    }
}

// A program that writes without end is stopped, not followed into exhaustion.
void ProcessRunner::overflow()
{
    m_overflowed = true;
    signalGroup(SIGKILL);
}

void ProcessRunner::onFinished(int exitCode, QProcess::ExitStatus status)
{
    m_killTimer.stop();
    readOutput();
    readError();
    // Whatever the program left running in its group goes with it.
    signalGroup(SIGKILL);
    m_group = 0;
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
    m_group = 0;
    Q_EMIT failedToStart(
        Error{QStringLiteral("QProcess"), static_cast<int>(error), m_process.errorString()});
}
