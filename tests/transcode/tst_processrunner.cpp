#include "transcode/LineSplitter.h"
#include "transcode/ProcessRunner.h"
#include "transcode/ToolLocator.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

QString writeScript(const QTemporaryDir &dir, const QString &name, const QByteArray &body,
                    bool executable = true)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    file.write("#!/bin/sh\n" + body);
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    return path;
}

bool processExists(qint64 pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) == 0;
}

} // namespace

class TestProcessRunner : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void splitsLinesAcrossChunks_data()
    {
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<QByteArrayList>("lines");
        QTest::newRow("one line per chunk")
            << QByteArrayList{"a\n", "b\n"} << QByteArrayList{"a", "b"};
        QTest::newRow("line split over chunks")
            << QByteArrayList{"fra", "me=1", "2\nfps="} << QByteArrayList{"frame=12", "fps="};
        QTest::newRow("crlf") << QByteArrayList{"a\r\nb\r\n"} << QByteArrayList{"a", "b"};
        QTest::newRow("crlf split") << QByteArrayList{"a\r", "\nb"} << QByteArrayList{"a", "b"};
        QTest::newRow("carriage returns alone")
            << QByteArrayList{"frame= 1\rframe= 2\r"} << QByteArrayList{"frame= 1", "frame= 2"};
        QTest::newRow("empty lines kept")
            << QByteArrayList{"a\n\n\nb"} << QByteArrayList{"a", "", "", "b"};
        QTest::newRow("cr cr") << QByteArrayList{"\r\r"} << QByteArrayList{"", ""};
        QTest::newRow("no end") << QByteArrayList{"progress=end"} << QByteArrayList{"progress=end"};
        QTest::newRow("nothing") << QByteArrayList{} << QByteArrayList{};
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

    void everyLineArrivesInOrderBeforeTheEnd()
    {
        // Far more than a pipe holds, written at once, with an unterminated last line and a
        // child that exits the moment it has written.
        ProcessRunner runner;
        QByteArrayList out;
        QByteArrayList err;
        bool finishedSeen = false;
        int exitStatus = -1;
        connect(&runner, &ProcessRunner::standardOutputLine, this, [&](const QByteArray &line) {
            QVERIFY(!finishedSeen);
            out << line;
        });
        connect(&runner, &ProcessRunner::standardErrorLine, this,
                [&](const QByteArray &line) { err << line; });
        connect(&runner, &ProcessRunner::finished, this, [&](int status, bool crashed) {
            finishedSeen = true;
            exitStatus = status;
            QVERIFY(!crashed);
        });
        runner.start(u"/bin/sh"_s,
                     {u"-c"_s, u"seq 1 50000; printf 'tail'; echo oops >&2; exit 3"_s});
        QTRY_VERIFY_WITH_TIMEOUT(finishedSeen, 20000);
        QCOMPARE(exitStatus, 3);
        QCOMPARE(out.size(), 50001);
        QCOMPARE(out.first(), QByteArray("1"));
        QCOMPARE(out.at(49999), QByteArray("50000"));
        QCOMPARE(out.last(), QByteArray("tail"));
        QCOMPARE(err, QByteArrayList{"oops"});
    }

    void collectsWholeOutput()
    {
        ProcessRunner runner;
        runner.setStandardOutput(ProcessRunner::Output::Collect);
        runner.setStandardError(ProcessRunner::Output::Discard);
        QSignalSpy finished(&runner, &ProcessRunner::finished);
        QSignalSpy lines(&runner, &ProcessRunner::standardOutputLine);
        runner.start(u"/bin/sh"_s, {u"-c"_s, u"head -c 300000 /dev/zero; echo noise >&2"_s});
        QVERIFY(finished.wait(20000));
        QCOMPARE(runner.collectedStandardOutput().size(), 300000);
        QCOMPARE(lines.size(), 0);
    }

    void argumentsPassUntouched()
    {
        // No shell between us and the program: quotes, dollars and dashes arrive as written.
        const QStringList arguments{u"-i"_s, u"a b \"c\" $HOME 'd' -x 名字.mp4"_s, QString()};
        ProcessRunner runner;
        QByteArrayList out;
        connect(&runner, &ProcessRunner::standardOutputLine, this,
                [&](const QByteArray &line) { out << line; });
        QSignalSpy finished(&runner, &ProcessRunner::finished);
        runner.start(u"/usr/bin/printf"_s, QStringList{u"%s\\n"_s} + arguments);
        QVERIFY(finished.wait(10000));
        QByteArrayList expected;
        for (const QString &argument : arguments)
            expected << argument.toUtf8();
        QCOMPARE(out, expected);
    }

    void missingProgramFailsToStart()
    {
        ProcessRunner runner;
        QSignalSpy failed(&runner, &ProcessRunner::failedToStart);
        QSignalSpy finished(&runner, &ProcessRunner::finished);
        runner.start(u"/nonexistent/ffmpeg"_s, {});
        QTRY_COMPARE(failed.size(), 1);
        QTest::qWait(50);
        QCOMPARE(finished.size(), 0);
        QVERIFY(!failed.first().first().value<Error>().description().isEmpty());
    }

    void stopAsksThenKills()
    {
        QTemporaryDir dir;
        // Ignores the polite request; only the kill ends it.
        const QString stubborn = writeScript(
            dir, u"stubborn"_s, "trap '' TERM\necho ready\nwhile :; do sleep 0.1; done\n");
        ProcessRunner runner;
        QSignalSpy ready(&runner, &ProcessRunner::standardOutputLine);
        QSignalSpy finished(&runner, &ProcessRunner::finished);
        runner.start(stubborn, {});
        QVERIFY(ready.wait(10000));
        runner.stop(std::chrono::milliseconds(300));
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.first().at(1).toBool(), true);
        QCOMPARE(finished.first().at(0).toInt(), SIGKILL);
    }

    void destroyingTheRunnerEndsTheChild()
    {
        auto runner = std::make_unique<ProcessRunner>();
        QSignalSpy ready(runner.get(), &ProcessRunner::standardOutputLine);
        runner->start(u"/bin/sh"_s, {u"-c"_s, u"echo ready; exec sleep 60"_s});
        QVERIFY(ready.wait(10000));
        const qint64 pid = runner->processId();
        QVERIFY(processExists(pid));
        runner.reset();
        QVERIFY(!processExists(pid));
    }

    void locatorPrefersResourcesThenPath()
    {
        QTemporaryDir resources;
        QTemporaryDir pathDir;
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", pathDir.path().toUtf8() + ':' + oldPath);
        const ToolLocator locator(resources.path());

        QVERIFY(!locator.find(u"quillmere-test-tool"_s).has_value());

        const QString onPath = writeScript(pathDir, u"quillmere-test-tool"_s, "exit 0\n");
        QCOMPARE(locator.find(u"quillmere-test-tool"_s).value_or(QString()), onPath);

        // Not executable: not a program.
        writeScript(resources, u"quillmere-test-tool"_s, "exit 0\n", false);
        QCOMPARE(locator.find(u"quillmere-test-tool"_s).value_or(QString()), onPath);

        QFile::remove(resources.filePath(u"quillmere-test-tool"_s));
        const QString bundled = writeScript(resources, u"quillmere-test-tool"_s, "exit 0\n");
        QCOMPARE(locator.find(u"quillmere-test-tool"_s).value_or(QString()), bundled);

        QFile::remove(bundled);
        QFile::remove(onPath);
        QVERIFY(!locator.find(u"quillmere-test-tool"_s).has_value());
        qputenv("PATH", oldPath);
    }
};

QTEST_GUILESS_MAIN(TestProcessRunner)
#include "tst_processrunner.moc"
