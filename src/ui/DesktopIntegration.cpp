#include "ui/DesktopIntegration.h"

#include "session/TranscodeViewModel.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QPointer>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

const QString PortalService = u"org.freedesktop.portal.Desktop"_s;
const QString SleepReason = u"正在转码视频"_s;

// Sends without a reply to wait for; with no bus there is no one to tell.
void post(const QDBusConnection &bus, const QDBusMessage &message)
{
    if (bus.isConnected())
        bus.send(message);
}

// Calls without waiting and hands the answer, reply or error, to `done` on the main thread,
// even once the caller is gone: a lock that arrives then still has to be let go.
template <typename Done>
void call(const QDBusConnection &bus, const QDBusMessage &message, Done done)
{
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(message));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, done] {
        watcher->deleteLater();
        done(watcher->reply());
    });
}

void closePortalRequest(const QString &request)
{
    post(QDBusConnection::sessionBus(),
         QDBusMessage::createMethodCall(PortalService, request, u"org.freedesktop.portal.Request"_s,
                                        u"Close"_s));
}

} // namespace

RunNotification runNotification(RunOutcome outcome, const JobQueue::Counts &outcomes,
                                const QString &reason)
{
    const QString counts = RunSummary::countsText(outcomes.done, outcomes.failed, outcomes.skipped);
    switch (outcome) {
    case RunOutcome::Cancelled:
        return {u"转码已取消"_s, counts};
    case RunOutcome::Failed:
        return {u"转码失败"_s, reason};
    case RunOutcome::Completed:
        break;
    }
    return {RunSummary::completedTitle(outcomes.failed), counts};
}

DesktopIntegration::DesktopIntegration(TranscodeViewModel &model,
                                       std::function<bool()> windowActive, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_windowActive(std::move(windowActive))
{
    connect(&model, &TranscodeViewModel::isTranscodingChanged, this,
            &DesktopIntegration::onTranscodingChanged);
    connect(&model, &TranscodeViewModel::transcodeProgressChanged, this,
            &DesktopIntegration::onProgress);
    connect(&model, &TranscodeViewModel::runFinished, this, &DesktopIntegration::onRunFinished);
}

DesktopIntegration::~DesktopIntegration()
{
    if (!m_model.isTranscoding())
        return;
    release();
    showProgress(false);
}

bool DesktopIntegration::holdsOffSleep() const
{
    return m_model.isTranscoding();
}

bool DesktopIntegration::holds(quint64 run) const
{
    return m_model.isTranscoding() && run == m_run;
}

void DesktopIntegration::onTranscodingChanged()
{
    if (m_model.isTranscoding()) {
        ++m_run;
        m_shownPercent = 0;
        showProgress(true);
        holdOffSleep();
    } else {
        release();
        showProgress(false);
    }
}

void DesktopIntegration::onProgress()
{
    // Whole percents are all a taskbar can show; ffmpeg reports far more often.
    const int percent = qRound(m_model.transcodeProgress() * 100);
    if (!m_model.isTranscoding() || percent == m_shownPercent)
        return;
    m_shownPercent = percent;
    showProgress(true);
}

void DesktopIntegration::onRunFinished(RunOutcome outcome)
{
    if (m_windowActive && m_windowActive())
        return;
    const auto [summary, body] =
        runNotification(outcome, m_model.queue().outcomes(), m_model.lastRunSummary().reason);
    QDBusMessage notify = QDBusMessage::createMethodCall(
        u"org.freedesktop.Notifications"_s, u"/org/freedesktop/Notifications"_s,
        u"org.freedesktop.Notifications"_s, u"Notify"_s);
    notify << u"Quillmere"_s << 0U << u"quillmere"_s << summary << body << QStringList()
           << QVariantMap{{u"desktop-entry"_s, u"quillmere"_s}} << -1;
    post(QDBusConnection::sessionBus(), notify);
}

void DesktopIntegration::holdOffSleep()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return holdOffSleepWithLogind(m_run);
    constexpr uint suspend = 4, idle = 8;
    QDBusMessage inhibit =
        QDBusMessage::createMethodCall(PortalService, u"/org/freedesktop/portal/desktop"_s,
                                       u"org.freedesktop.portal.Inhibit"_s, u"Inhibit"_s);
    inhibit << QString() << (suspend | idle) << QVariantMap{{u"reason"_s, SleepReason}};
    call(bus, inhibit, [self = QPointer(this), run = m_run](const QDBusMessage &reply) {
        if (reply.type() != QDBusMessage::ReplyMessage) {
            if (self)
                self->holdOffSleepWithLogind(run);
            return;
        }
        const QString request = reply.arguments().value(0).value<QDBusObjectPath>().path();
        if (self && self->holds(run))
            self->m_portalRequest = request;
        else if (!request.isEmpty())
            closePortalRequest(request);
    });
}

// Without the portal (no desktop portal, or one without this part) logind holds off sleep for
// as long as the descriptor it hands out stays open.
void DesktopIntegration::holdOffSleepWithLogind(quint64 run)
{
    if (!holds(run))
        return;
    const QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    QDBusMessage inhibit =
        QDBusMessage::createMethodCall(u"org.freedesktop.login1"_s, u"/org/freedesktop/login1"_s,
                                       u"org.freedesktop.login1.Manager"_s, u"Inhibit"_s);
    inhibit << u"sleep:idle"_s << u"Quillmere"_s << SleepReason << u"block"_s;
    // A late descriptor is closed with the reply that carries it.
    call(bus, inhibit, [self = QPointer(this), run](const QDBusMessage &reply) {
        if (self && self->holds(run) && reply.type() == QDBusMessage::ReplyMessage)
            self->m_logindLock = reply.arguments().value(0).value<QDBusUnixFileDescriptor>();
    });
}

void DesktopIntegration::release()
{
    if (!m_portalRequest.isEmpty())
        closePortalRequest(std::exchange(m_portalRequest, QString()));
    m_logindLock = QDBusUnixFileDescriptor();
}

void DesktopIntegration::showProgress(bool visible)
{
    QDBusMessage update =
        QDBusMessage::createSignal(u"/com/canonical/unity/launcherentry/quillmere"_s,
                                   u"com.canonical.Unity.LauncherEntry"_s, u"Update"_s);
    update << u"application://quillmere.desktop"_s
           << QVariantMap{{u"progress"_s, m_shownPercent / 100.0},
                          {u"progress-visible"_s, visible}};
    post(QDBusConnection::sessionBus(), update);
}
