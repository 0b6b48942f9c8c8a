#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTimer>

#include <chrono>

#include "model/Error.h"
#include "transcode/LineSplitter.h"

// Runs one external program, never through a shell, and reports its output and its end
// through signals, so the event loop keeps running while it works. The child dies with us,
// and sits in its own process group so that a Ctrl-C in the terminal reaches only us: the
// run decides how to stop it.
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
    // A child still running is stopped: asked first, killed after a grace period.
    ~ProcessRunner() override;

    void setStandardOutput(Output mode) { m_outputMode = mode; }
    void setStandardError(Output mode) { m_errorMode = mode; }

    // Reports failedToStart or, later, finished; never both.
    void start(const QString &program, const QStringList &arguments);

    // Asks the child to stop (SIGTERM) and kills it if it has not exited within `grace`.
    void stop(std::chrono::milliseconds grace = std::chrono::seconds(3));

    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    qint64 processId() const { return m_process.processId(); }

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
    void onFinished(int exitCode, QProcess::ExitStatus status);
    void onError(QProcess::ProcessError error);

    QProcess m_process;
    QTimer m_killTimer;
    Output m_outputMode = Output::Lines;
    Output m_errorMode = Output::Lines;
    LineSplitter m_outputLines;
    LineSplitter m_errorLines;
    QByteArray m_collectedOutput;
    QByteArray m_collectedError;
};

Q_DECLARE_METATYPE(Error)
