#include "TestSupport.h"
#include "session/TranscodeViewModel.h"
#include "ui/DesktopIntegration.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtDBus>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace TestSupport;

// The test plays the desktop, on a connection of its own to the private bus: its services,
// answering as the real ones do, and an ear for taskbar updates.
class TestDesktop : public QDBusVirtualObject
{
    Q_OBJECT

    QDBusConnection bus{QString()};
    bool portal = true; // false: a portal without the sleep part
    bool answerLater = false;
    QStringList notes, updates, requests; // updates as "visible progress"
    QSet<QString> closed;
    QList<int> lockEnds;
    QList<QDBusMessage> later;

    void standIn()
    {
        bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"desk"_s);
        for (const char *name : {"org.freedesktop.Notifications", "org.freedesktop.portal.Desktop",
                                 "org.freedesktop.login1"})
            bus.registerService(QString::fromLatin1(name));
        bus.registerVirtualObject(u"/org/freedesktop"_s, this, QDBusConnection::SubPath);
        bus.connect({}, {}, u"com.canonical.Unity.LauncherEntry"_s, u"Update"_s, this,
                    SLOT(noteUpdate(QDBusMessage)));
    }

    qsizetype held() const // sleep locks handed out and not let go
    {
        qsizetype count = requests.size() - closed.size();
        char byte;
        for (int end : lockEnds)
            count += ::read(end, &byte, 1) != 0; // end of file once every copy is closed
        return count;
    }

    bool handleMessage(const QDBusMessage &call, const QDBusConnection &) override
    {
        if (!portal && call.interface() == u"org.freedesktop.portal.Inhibit")
            bus.send(call.createErrorReply(QDBusError::UnknownInterface, {}));
        else if (answerLater && call.member() == u"Inhibit")
            later << call;
        else
            answer(call);
        return true;
    }
    QString introspect(const QString &) const override { return {}; }
    void answer(const QDBusMessage &call)
    {
        QVariantList reply;
        if (call.member() == u"Notify") {
            notes << QVariant(call.arguments().mid(0, 5)).toStringList().join(u'/');
        } else if (call.interface() == u"org.freedesktop.portal.Inhibit") {
            requests << u"/org/freedesktop/portal/desktop/request/r%1"_s.arg(requests.size());
            reply << QVariant::fromValue(QDBusObjectPath(requests.last()));
        } else if (call.member() == u"Inhibit") { // logind's, a descriptor held open
            int ends[2];
            QCOMPARE(::pipe2(ends, O_NONBLOCK), 0);
            reply << QVariant::fromValue(QDBusUnixFileDescriptor(ends[1]));
            ::close(ends[1]);
            lockEnds << ends[0];
        } else if (call.member() == u"Close") {
            closed << call.path();
        }
        bus.send(call.createReply(reply));
    }

public Q_SLOTS:
    void noteUpdate(const QDBusMessage &update)
    {
        const auto properties = qdbus_cast<QVariantMap>(update.arguments().value(1));
        QCOMPARE(update.arguments().value(0), u"application://quillmere.desktop"_s);
        updates << u"%1 %2"_s.arg(properties[u"progress-visible"_s].toBool())
                       .arg(properties[u"progress"_s].toDouble());
    }

private Q_SLOTS:
    void aRunAsTheDesktopSeesIt()
    {
        // logind is looked for on the private bus too, where only a stand-in answers; set before
        // the first connection, which reads the addresses once.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", qgetenv("DBUS_SESSION_BUS_ADDRESS"));
        QTemporaryDir dir;
        fakeFFmpeg(dir.path());
        writeFile(dir.filePath(u"result"_s), contents(clip(Clip::Plain)));
        TranscodeViewModel model(RunContext{ToolLocator(dir.path()), [](const QString &) {}});
        model.setSelectedCodec(u"H.264 (软件编码)"_s);
        const VideoFile file = probed(copyTo(clip(Clip::Plain), dir.filePath(u"in/a.mp4"_s)));
        // A fresh list each time: a file converted once is not converted again.
        const auto start = [&] {
            model.clearAll();
            model.appendVideoFiles({file});
            model.startTranscoding();
        };

        // With nobody on the bus to answer, a run ends as usual, without a word.
        QTest::failOnWarning(QRegularExpression(u"."_s));
        bool active = true;
        auto integration = std::make_unique<DesktopIntegration>(model, [&] { return active; });
        QSignalSpy finished(&model, &TranscodeViewModel::runFinished);
        start();
        QVERIFY(finished.wait(60000));
        QVERIFY(!integration->holdsOffSleep()); // nothing answered, nothing waited for

        standIn();
        start();
        QVERIFY(finished.wait(60000));
        QTRY_COMPARE(updates, (QStringList{u"1 0"_s, u"1 1"_s, u"0 1"_s}));
        QTRY_COMPARE(held(), 0);

        // Unseen: a run that cannot start and a stopped one are announced. A sleep lock that
        // comes after its run has ended, from the portal or from logind, is let go at once.
        active = false;
        answerLater = true;
        model.setEnableAlpha(true); // HEVC with alpha: this ffmpeg has no encoder for it
        model.setSelectedCodec(u"HEVC (软件编码)"_s);
        start();
        QVERIFY(finished.wait(60000));
        const QString reason = model.lastRunSummary().reason;
        QTRY_COMPARE(later.size(), 1);
        answer(later.takeFirst());
        QTRY_COMPARE(held(), 0);
        portal = false;
        model.setSelectedCodec(u"H.264 (软件编码)"_s);
        writeFile(dir.filePath(u"hang"_s), "");
        start();
        QTRY_COMPARE(later.size(), 1);
        model.cancelTranscoding();
        QVERIFY(finished.wait(60000));
        answer(later.takeFirst());
        QTRY_COMPARE(held(), 0);
        const QString app = u"Quillmere/0/quillmere/"_s;
        QTRY_COMPARE(notes, (QStringList{app + u"转码失败/"_s + reason,
                                         app + u"转码已取消/已转码 0 个，失败 0 个，跳过 0 个"_s}));

        // logind's lock is let go when the run ends.
        answerLater = false;
        start();
        QTRY_COMPARE(held(), 1);
        model.cancelTranscoding();
        QVERIFY(finished.wait(60000));
        QTRY_COMPARE(held(), 0);

        // The window closed during a run.
        start();

        QTRY_COMPARE(held(), 1);
        integration.reset();
        QTRY_COMPARE(held(), 0);
        QTRY_VERIFY(updates.last().startsWith(u"0 "_s));
    }
};

QTEST_GUILESS_MAIN(TestDesktop)
#include "tst_desktop.moc"
