#pragma once

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>

#include <memory>

#include "cli/CliOptions.h"
#include "domain/JobRecord.h"
#include "domain/RunSummary.h"
#include "transcode/EncoderSupport.h"
#include "transcode/RunPlan.h"

class RunPlanner;
class TerminationSignals;
class TranscodeViewModel;
struct ProgressFigures;

// One command-line session: takes the PATHs in, then probes only, prints the plan, or converts
// with a live progress line on standard error (or JSON Lines events on standard output).
// SIGINT, SIGTERM and SIGHUP cancel cleanly.
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
    void printListing();
    void printPlan(const RunPlan &plan);
    void startRun();
    void onJobChanged(int row, JobRecord::Status previous);
    QString displayName(int row) const;
    void onRunFinished();
    void onSignal();
    void showProgress();
    // Clears the row and draws `line` on it, the live line or nothing.
    static void writeLiveLine(const QString &line);
    // Failures and the summary; note() for what --quiet leaves out.
    void say(const QString &text);
    void note(const QString &text);
    void emitEvent(const QString &event, QJsonObject fields) const;
    // The last event of every mode, with how many named paths were not taken in.
    void emitSummary(const QString &outcome, QJsonObject fields) const;
    // Named paths that were not taken in, each a failure of the run.
    int rejectedCount() const;
    int exitStatus(bool failed) const;
    // A signal before the run: nothing to undo, but scripts reading --json get their summary.
    void cancelBeforeRun();
    void finish(int exitStatus);

    TranscodeViewModel &m_model;
    CliOptions m_options;
    std::unique_ptr<TerminationSignals> m_signals;
    EncoderSupport m_encoders;
    std::unique_ptr<RunPlanner> m_planner;
    bool m_interrupted = false;
    bool m_progressIsLive = false;
    QString m_liveLine; // as drawn last; empty when none is showing
    QElapsedTimer m_sinceProgress;
    QElapsedTimer m_sinceEvent;
};
