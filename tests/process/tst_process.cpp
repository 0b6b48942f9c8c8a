#include "TestSupport.h"
#include "process/CommandText.h"
#include "process/LineSplitter.h"
#include "process/ProcessRunner.h"

#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {

bool isAlive(qint64 pid)
{
    // A zombie has not been reaped by init yet but is no longer running.
    const QByteArray stat = contents(u"/proc/%1/stat"_s.arg(pid));
    return !stat.isEmpty() && !stat.contains(") Z ");
}

qint64 pidIn(const QString &path)
{
    if (!QTest::qWaitFor([&] { return !contents(path).trimmed().isEmpty(); }, 10000))
        qFatal("no pid in %s", qPrintable(path));
    return contents(path).trimmed().toLongLong();
}

} // namespace

class TestProcess : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void splitsLinesAcrossChunks_data()
    {
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<QByteArrayList>("lines");
        QTest::newRow("newlines") << QByteArrayList{"a\nb", "c\n"} << QByteArrayList{"a", "bc"};
        QTest::newRow("carriage returns")
            << QByteArrayList{"frame=1\rframe=2\r"} << QByteArrayList{"frame=1", "frame=2"};
        QTest::newRow("crlf split") << QByteArrayList{"a\r", "\nb\r\n"} << QByteArrayList{"a", "b"};
        QTest::newRow("empty line kept")
            << QByteArrayList{"a\n\nb"} << QByteArrayList{"a", "", "b"};
        const QByteArray endless(LineSplitter::LongestLine, 'x');
        QTest::newRow("a line without end")
            << QByteArrayList{endless, "yz"} << QByteArrayList{endless, "yz"};
    }

    void splitsLinesAcrossChunks()
    {
        QFETCH(QByteArrayList, chunks);
        LineSplitter splitter;
        QByteArrayList lines;
        for (const QByteArray &chunk : chunks)
            lines += splitter.feed(chunk);
        lines += splitter.finish();
        QTEST(lines, "lines");
    }

    // Arguments reach the program untouched, lines come in order before the end, and the
    // exit status is the program's.
    void runsWithoutAShell()
    {
        const QString echo = writeTool(m_dir.path(), u"echo-args"_s,
                                       "for a; do printf '%s\\n' \"$a\"; done\necho oops >&2\n"
                                       "printf 'no end'\nexit 3\n");
        const QStringList arguments{u"$HOME"_s, u"a b"_s,  u"'q' \"d\""_s,
                                    u"-x"_s,    u"片段"_s, u""_s};
        ProcessRunner runner;
        QByteArrayList out, err;
        connect(&runner, &ProcessRunner::standardOutputLine, this,
                [&](const QByteArray &line) { out << line; });
        connect(&runner, &ProcessRunner::standardErrorLine, this,
                [&](const QByteArray &line) { err << line; });
        QSignalSpy finished(&runner, &ProcessRunner::finished);
        runner.start(echo, arguments);
        QVERIFY(finished.wait(10000));
        QByteArrayList expected;
        for (const QString &argument : arguments)
            expected << argument.toUtf8();
        QCOMPARE(out, expected << "no end");
        QCOMPARE(err, QByteArrayList{"oops"});
        QCOMPARE(finished.first().at(0).toInt(), 3);
        QCOMPARE(finished.first().at(1).toBool(), false);
    }

    void collectsUpToItsLimit()
    {
        ProcessRunner runner;
        runner.setStandardOutput(ProcessRunner::Output::Collect);
        runner.setCollectLimit(1 << 20);
        QSignalSpy finished(&runner, &ProcessRunner::finished);
        runner.start(u"yes"_s, {});
        QVERIFY(finished.wait(10000));
        QVERIFY(runner.overflowed());
        QCOMPARE(runner.collectedStandardOutput().size(), 1 << 20);
    }

    void missingProgramFailsToStart()
    {
        ProcessRunner runner;
        QSignalSpy failed(&runner, &ProcessRunner::failedToStart);
        QSignalSpy finished(&runner, &ProcessRunner::finished);
        runner.start(m_dir.filePath(u"nothing here"_s), {});
        QTRY_COMPARE(failed.size(), 1);
        QTest::qWait(50);
        QCOMPARE(finished.size(), 0);
    }

    // A wrapper that starts the real program as a child of its own, and one that ignores
    // SIGTERM: stopping ends both programs and everything they started.
    void stopEndsTheWholeGroup_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("grace");
        // The real program, started by a wrapper that waits for it, is asked to stop before
        // anything is killed.
        QTest::newRow("wrapper")
            << QByteArray("trap 'wait' TERM\n"
                          "sh -c 'trap \"touch $0.asked; exit\" TERM; echo $$ > \"$0\"; "
                          "while :; do sleep 0.1; done' \"$1\" &\nwait\n")
            << 20000;

        QTest::newRow("ignores TERM")
            << QByteArray("trap '' TERM\nsleep 30 &\necho $! > \"$1\"\nwhile :; do sleep 1; done\n")
            << 300;
    }

    void stopEndsTheWholeGroup()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, grace);

        const QString tool = writeTool(
            m_dir.path(), QString::fromLatin1(QTest::currentDataTag()).remove(u' '), body);
        const QString pidFile =
            m_dir.filePath(u"pid-"_s + QString::fromLatin1(QTest::currentDataTag()));
        ProcessRunner runner;
        QSignalSpy finished(&runner, &ProcessRunner::finished);
        runner.start(tool, {pidFile});
        const qint64 grandchild = pidIn(pidFile);
        runner.stop(std::chrono::milliseconds(grace));

        QVERIFY(finished.wait(10000));
        QTRY_VERIFY_WITH_TIMEOUT(!isAlive(grandchild), 5000);
        if (QTest::currentDataTag() == QByteArray("wrapper"))
            QVERIFY(QFile::exists(pidFile + u".asked"_s));
    }

    void destroyingTheRunnerEndsTheGroup()
    {
        const QString tool =
            writeTool(m_dir.path(), u"wrapper"_s, "sleep 30 &\necho $! > \"$1\"\nwait\n");
        const QString pidFile = m_dir.filePath(u"pid-destroyed"_s);
        auto runner = std::make_unique<ProcessRunner>();
        runner->start(tool, {pidFile});
        const qint64 grandchild = pidIn(pidFile);
        runner.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!isAlive(grandchild), 5000);
    }

    // A daemon a wrapper starts with setsid leaves the group, and still ends with the program:
    // when the wrapper exits, when it is stopped, and when the daemon starts one of its own.
    void descendantsThatLeaveTheGroupEnd_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("stopped");
        QTest::newRow("wrapper exits")
            << QByteArray("setsid sleep 1000 &\necho $! > \"$1\"\n") << false;
        QTest::newRow("wrapper stopped")
            << QByteArray("setsid sleep 1000 &\necho $! > \"$1\"\nwait\n") << true;
        QTest::newRow("two deep") << QByteArray("setsid sh -c 'sleep 1000 & echo $! > \"$0\"; "
                                                "wait' \"$1\" &\nwait\n")
                                  << true;
    }

    void descendantsThatLeaveTheGroupEnd()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, stopped);
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).remove(u' ');
        const QString tool = writeTool(m_dir.path(), u"daemon-"_s + tag, body);
        const QString pidFile = m_dir.filePath(u"pid-daemon-"_s + tag);
        ProcessRunner runner;
        QSignalSpy finished(&runner, &ProcessRunner::finished);
        runner.start(tool, {pidFile});
        const qint64 daemon = pidIn(pidFile);
        if (stopped)
            runner.stop(std::chrono::milliseconds(200));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000); // perhaps already, the wrapper quick
        QTRY_VERIFY_WITH_TIMEOUT(!isAlive(daemon), 5000);
    }

    void aProgramPastItsTimeLimitIsStopped()
    {
        ProcessRunner runner;
        runner.setTimeLimit(std::chrono::milliseconds(100));
        QSignalSpy finished(&runner, &ProcessRunner::finished);
        runner.start(u"sleep"_s, {u"60"_s});
        QVERIFY(finished.wait(20000));
        QVERIFY(runner.timedOut());
    }

    void locatorPrefersResourcesThenPath()
    {
        const QDir resources(m_dir.filePath(u"resources"_s));
        writeTool(resources, u"ffprobe"_s, "exit 0\n");
        writeFile(resources.filePath(u"ffmpeg"_s), "not executable");
        const ToolLocator tools(resources.path());
        QCOMPARE(tools.find(u"ffprobe"_s), resources.filePath(u"ffprobe"_s));
        QCOMPARE(tools.find(u"ffmpeg"_s), QStandardPaths::findExecutable(u"ffmpeg"_s));
        QCOMPARE(tools.find(u"no-such-tool"_s), std::nullopt);

        // Installed, the helper folder is found from the executable's own folder, any prefix.
        const QDir prefix(m_dir.filePath(u"prefix"_s));
        writeTool(prefix.filePath(u"lib/quillmere"_s), u"ffprobe"_s, "exit 0\n");
        writeTool(prefix.filePath(u"lib/quillmere"_s), u"quillmere-probe"_s, "exit 0\n");
        writeTool(prefix.filePath(u"bin/resources"_s), u"quillmere-probe"_s, "exit 0\n");
        const ToolLocator installed(ToolLocator::directoriesBeside(prefix.filePath(u"bin"_s)));
        QCOMPARE(installed.find(u"ffprobe"_s), prefix.filePath(u"lib/quillmere/ffprobe"_s));
        QCOMPARE(installed.find(u"quillmere-probe"_s),
                 prefix.filePath(u"bin/resources/quillmere-probe"_s));
    }

    // What the dry run prints runs, pasted into bash, with exactly these arguments.
    void commandTextRoundTripsThroughBash()
    {
        const QStringList arguments{u"-i"_s,
                                    u"/a b/片段 'x'.mp4"_s,
                                    u"$(id) `id` \\ \"q\""_s,
                                    u"scale=1280x720"_s,
                                    u""_s,
                                    u"-tag:v"_s};
        QCOMPARE(shellQuoted(u"scale=1280x720,format=nv12"_s), u"scale=1280x720,format=nv12"_s);
        QProcess bash;
        bash.start(u"bash"_s,
                   {u"-c"_s, commandText(u"printf"_s, QStringList{u"[%s]\\n"_s} + arguments)});
        QVERIFY(bash.waitForFinished(5000));
        QString expected;
        for (const QString &argument : arguments)
            expected += u'[' + argument + u"]\n"_s;
        QCOMPARE(QString::fromUtf8(bash.readAllStandardOutput()), expected);
    }
};

QTEST_GUILESS_MAIN(TestProcess)
#include "tst_process.moc"
