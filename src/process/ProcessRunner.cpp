#include "process/ProcessRunner.h"

#include <QProcessEnvironment>

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// In every program's environment, so that what it started can be told apart from what the
// desktop was asked to open, even once it has left the program's group.
constexpr char TagVariable[] = "QUILLMERE_RUNNER";

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

QByteArray readSmallFile(const QByteArray &path, qsizetype limit)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray bytes;
    char buffer[4096];
    ssize_t count = 0;
    while (bytes.size() < limit && (count = ::read(fd, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, count);
    ::close(fd);
    return bytes;
}

QList<pid_t> ourChildren()
{
    QList<pid_t> children;
    DIR *tasks = ::opendir("/proc/self/task");
    if (!tasks)
        return children;
    while (const dirent *task = ::readdir(tasks)) {
        if (task->d_name[0] == '.')
            continue;
        const QByteArray listed =
            readSmallFile(QByteArray("/proc/self/task/") + task->d_name + "/children", 1 << 20);
        for (const QByteArray &pid : listed.split(' ')) {
            if (const pid_t child = static_cast<pid_t>(pid.trimmed().toInt()); child > 0)
                children << child;
        }
    }
    ::closedir(tasks);
    return children;
}

// Whether our child `pid` was started, at any depth, by the program of `group` tagged `tag`.
bool startedFor(pid_t pid, qint64 group, const QByteArray &tag)
{
    const QByteArray proc = "/proc/" + QByteArray::number(pid);
    const QByteArray stat = readSmallFile(proc + "/stat", 4096);
    // "pid (name) state ppid pgrp ...": the name may hold anything but the last ')'.
    const qsizetype nameEnd = stat.lastIndexOf(')');
    const QList<QByteArray> fields = stat.mid(nameEnd + 2).split(' ');
    if (nameEnd >= 0 && fields.size() > 2 && fields.at(2).toLongLong() == group)
        return true;
    return readSmallFile(proc + "/environ", 1 << 20)
        .split('\0')
        .contains(QByteArray(TagVariable) + '=' + tag);
}

// We adopt what the programs leave behind (PR_SET_CHILD_SUBREAPER): whatever of them `ours`
// picks was handed to us is killed and reaped, round after round, since the children of what
// is killed are handed to us in turn.
template <typename Picks> void endAdopted(Picks ours)
{
    for (int round = 0; round < 32; ++round) {
        QList<pid_t> found;
        for (const pid_t child : ourChildren()) {
            if (ours(child))
                found << child;
        }
        if (found.isEmpty())
            return;
        for (const pid_t pid : std::as_const(found))
            ::kill(pid, SIGKILL);
        // A killed process is gone at once unless the kernel holds it in a wait (a hung
        // network mount); then it is left, rather than the event loop held.
        for (const pid_t pid : std::as_const(found)) {
            for (int tries = 0; tries < 100 && ::waitpid(pid, nullptr, WNOHANG) == 0; ++tries)
                ::usleep(2000);
        }
    }
}

// What the program of `group` left behind; `program` is Qt's own child, never reaped here.
void endDescendants(qint64 group, const QByteArray &tag, qint64 program)
{
    endAdopted([&](pid_t child) { return child != program && startedFor(child, group, tag); });
}

} // namespace

ProcessRunner::ProcessRunner(QObject *parent)
    : QObject(parent)
{
    m_killTimer.setSingleShot(true);
    connect(&m_killTimer, &QTimer::timeout, this, [this] { signalGroup(SIGKILL); });
    m_timeLimitTimer.setSingleShot(true);
    connect(&m_timeLimitTimer, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        stop(std::chrono::seconds(2));
    });
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
    endDescendants(m_group, m_tag, m_process.processId());
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
    static const bool adopting = ::prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
    if (adopting) {
        static quint64 started = 0;
        m_tag = QByteArray::number(parent) + '.' + QByteArray::number(++started);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(TagVariable), QString::fromLatin1(m_tag));
        m_process.setProcessEnvironment(environment);
    }
    m_process.setChildProcessModifier([parent, inherited = m_inherited] {
        startInOwnGroup(parent);
        for (const int descriptor : inherited)
            ::fcntl(descriptor, F_SETFD, 0);
    });
    m_timedOut = false;
    m_process.start(m_writableInput ? QIODevice::ReadWrite : QIODevice::ReadOnly);
    // The program leads its group; its id names the group until the last member is gone.
    m_group = m_process.processId();
    if (m_timeLimit.count() > 0 && m_group > 0)
        m_timeLimitTimer.start(m_timeLimit);
}

void ProcessRunner::endLeftBehind()
{
    int adopting = 0;
    if (::prctl(PR_GET_CHILD_SUBREAPER, &adopting) == 0 && adopting != 0)
        endAdopted([](pid_t) { return true; });
}

std::optional<QString> ProcessRunner::inheritedPath(int descriptor)
{
    static const bool named = ::access("/proc/self/fd", X_OK) == 0;
    if (!named || descriptor < 0)
        return std::nullopt;
    return QStringLiteral("/proc/self/fd/%1").arg(descriptor);
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
    m_timeLimitTimer.stop();
    readOutput();
    readError();
    // Whatever the program left running, in its group or not, goes with it.
    signalGroup(SIGKILL);
    endDescendants(m_group, m_tag, 0);
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
    m_timeLimitTimer.stop();
    m_group = 0;
    Q_EMIT failedToStart(
        Error{QStringLiteral("QProcess"), static_cast<int>(error), m_process.errorString()});
}
