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
    void printPlan(const RunPlan &plan);
    void startRun();
    void onJobChanged(int row, JobRecord::Status previous);
    QString displayName(int row) const;
    void onRunFinished();
    void onSignal();
    void showProgress();
    void say(const QString &text) const;
    void emitEvent(const QString &event, QJsonObject fields) const;
    void finish(int exitStatus);

    TranscodeViewModel &m_model;
    CliOptions m_options;
    std::unique_ptr<TerminationSignals> m_signals;
    EncoderSupport m_encoders;
    std::unique_ptr<RunPlanner> m_planner;
    bool m_interrupted = false;
    bool m_progressIsLive = false;
    QElapsedTimer m_sinceProgress;
    QElapsedTimer m_sinceEvent;
};
