#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>

#include "cli/CliOptions.h"
#include "model/RunOutcome.h"

class TranscodeViewModel;

// One command-line session: takes the PATHs in, then probes only, prints the planned commands,
// or converts with a live progress line on standard error. Ctrl-C and SIGTERM cancel cleanly.
class CliSession : public QObject
{
    Q_OBJECT

public:
    CliSession(TranscodeViewModel &model, CliOptions options);
    ~CliSession() override;

    // Starts the work; the exit status comes with `done`.
    void start();

Q_SIGNALS:
    void done(int exitStatus);

private:
    void onIntakeFinished();
    void printDryRun();
    void onRunFinished(RunOutcome outcome);
    void onSignal();
    void showProgress();
    void finish(int exitStatus);

    TranscodeViewModel &m_model;
    CliOptions m_options;
    QSocketNotifier *m_signals = nullptr;
    bool m_interrupted = false;
    bool m_progressIsLive = false;
    QElapsedTimer m_sinceProgress;
    int m_shownFile = 0;
};
