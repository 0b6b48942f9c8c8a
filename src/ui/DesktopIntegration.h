#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

#include <functional>

#include "domain/RunSummary.h"
#include "session/JobQueue.h"

class TranscodeViewModel;

// The notification at the end of a run: its title and its text, from every file's outcome as
// the list holds it, and why a run that could not start did not.
struct RunNotification
{
    QString summary;
    QString body;

    friend bool operator==(const RunNotification &, const RunNotification &) = default;
};
RunNotification runNotification(RunOutcome outcome, const JobQueue::Counts &outcomes,
                                const QString &reason);

// What the window tells the desktop over D-Bus while a run goes on: sleep is held off, the
// taskbar entry shows the progress, and a run that ends while the window is not active is
// announced in a notification. Every call is sent without waiting; a missing bus or service
// is passed over in silence, so the run never notices.
class DesktopIntegration : public QObject
{
    Q_OBJECT

public:
    DesktopIntegration(TranscodeViewModel &model, std::function<bool()> windowActive,
                       QObject *parent = nullptr);
    // Lets go of whatever is still held: the window may close during a run.
    ~DesktopIntegration() override;

    // Sleep is held off, or asked to be, from the start of a run to its end.
    bool holdsOffSleep() const;

private:
    void onTranscodingChanged();
    void onProgress();
    void onRunFinished(RunOutcome outcome);
    void holdOffSleep();
    void holdOffSleepWithLogind(quint64 run);
    bool holds(quint64 run) const;
    void release();
    void showProgress(bool visible);

    TranscodeViewModel &m_model;
    std::function<bool()> m_windowActive;
    // Counts runs, so that a reply that comes after its run has ended is let go at once.
    quint64 m_run = 0;
    QString m_portalRequest;
    QDBusUnixFileDescriptor m_logindLock;
    int m_shownPercent = -1;
};
