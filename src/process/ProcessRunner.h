#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <optional>

#include "domain/Error.h"
#include "process/LineSplitter.h"

// Runs one external program, never through a shell, and reports its output and its end
// through signals, so the event loop keeps running while it works.
//
// The program runs in a process group of its own with a small watchdog beside it: stopping
// signals the whole group, so a wrapper script and the real program it started both stop, and
// if we die, even by kill -9, the watchdog kills the group. A Ctrl-C in the terminal reaches
// only us; we decide how the program stops. What leaves the group (a daemon started with
// setsid) is handed to us, not to init, when its parent ends, and is ended with the program.
class ProcessRunner : public QObject
{
    Q_OBJECT

public:
    enum class Output {
        Lines,   // reported line by line as it arrives
        Collect, // kept whole until the end
        Discard, // not read at all
    };

    explicit ProcessRunner(QObject *parent = nullptr);
    // A program still running is stopped: asked first, killed after a grace period.
    ~ProcessRunner() override;

    void setStandardOutput(Output mode) { m_outputMode = mode; }
    void setStandardError(Output mode) { m_errorMode = mode; }
    // Collected output, or an output line, beyond this many bytes stops the program; see
    // `overflowed`.
    void setCollectLimit(qint64 bytes);

    // A program that takes requests on its standard input gets a pipe to it, for `write`; the
    // others read an empty one.
    void setWritableStandardInput(bool writable) { m_writableInput = writable; }

    // Open files of ours that the program gets too, under the same numbers, so that it can be
    // handed a file we hold rather than a name someone may have pointed elsewhere meanwhile.
    void setInheritedDescriptors(const QList<int> &descriptors) { m_inherited = descriptors; }
    // The name under which a program started with `descriptor` inherited opens that very file;
    // none where the system offers no such names.
    static std::optional<QString> inheritedPath(int descriptor);

    // Ends what the programs left running that escaped their group and our tag (a daemon that
    // cleared its environment): for a program about to exit, whose runners are all gone.
    static void endLeftBehind();

    // A program still running after `limit` is stopped as by `stop`; `timedOut` tells so.
    void setTimeLimit(std::chrono::milliseconds limit) { m_timeLimit = limit; }

    // Reports failedToStart or, later, finished; never both.
    void start(const QString &program, const QStringList &arguments);

    // Asks the group to stop (SIGTERM) and kills it if it has not ended within `grace`.
    void stop(std::chrono::milliseconds grace = std::chrono::seconds(3));

    // With a writable standard input: bytes for the program, sent as the event loop runs.
    void write(const QByteArray &bytes);

    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    bool overflowed() const { return m_overflowed; }
    bool timedOut() const { return m_timedOut; }

    QByteArray collectedStandardOutput() const { return m_collectedOutput; }
    QByteArray collectedStandardError() const { return m_collectedError; }

Q_SIGNALS:
    void standardOutputLine(const QByteArray &line);
    void standardErrorLine(const QByteArray &line);
    // Every output line has been reported before this. `exitStatus` is the signal number
    // when `crashed`.
    void finished(int exitStatus, bool crashed);
    void failedToStart(const Error &error);

private:
    using LineSignal = void (ProcessRunner::*)(const QByteArray &);

    void readOutput();
    void readError();
    void deliver(const QByteArray &chunk, Output mode, LineSplitter &lines, QByteArray &collected,
                 LineSignal lineSignal);
    void signalGroup(int signal);
    void overflow();
    void onFinished(int exitCode, QProcess::ExitStatus status);
    void onError(QProcess::ProcessError error);

    QProcess m_process;
    QTimer m_killTimer;
    QTimer m_timeLimitTimer;
    std::chrono::milliseconds m_timeLimit{0};
    bool m_timedOut = false;
    qint64 m_group = 0;
    QByteArray m_tag; // in the program's environment, and so in every descendant's
    QList<int> m_inherited;
    Output m_outputMode = Output::Lines;
    Output m_errorMode = Output::Lines;
    qint64 m_collectLimit = -1;
    bool m_overflowed = false;
    bool m_writableInput = false;
    LineSplitter m_outputLines;
    LineSplitter m_errorLines;
    QByteArray m_collectedOutput;
    QByteArray m_collectedError;
};
