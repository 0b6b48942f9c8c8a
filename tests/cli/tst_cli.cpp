#include "TestSupport.h"
#include "cli/CliOptions.h"
#include "session/TranscodeViewModel.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {

struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

CliRun runCli(const QStringList &arguments,
              const QString &program = QStringLiteral(QUILLMERE_CLI_PATH))
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        qFatal("quillmere-cli did not finish");
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// A copy of the CLI in `dir`, so that tools in "resources" beside it are the ones it uses.
QString installCopy(const QTemporaryDir &dir)
{
    const QString cli = dir.filePath(u"quillmere-cli"_s);
    QFile::copy(QStringLiteral(QUILLMERE_CLI_PATH), cli);
    QFile::setPermissions(cli, QFile::permissions(cli) | QFileDevice::ExeOwner);
    return cli;
}

QStringList settingsAfter(const QStringList &options)
{
    const Result<CliOptions> parsed =
        parseCliArguments(QStringList{u"--print-arguments"_s} + options);
    if (!parsed)
        return {parsed.error().description()};
    TranscodeViewModel model;
    applyCliSettings(model, *parsed);
    return *model.buildFFmpegArguments();
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    // Settings apply in a fixed order whatever the order given, each followed by its rules.
    void optionsApplyInAFixedOrder_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("arguments");
        QTest::newRow("codec after preset")
            << QStringList{u"--codec"_s, u"HEVC (软件编码)"_s, u"--preset"_s, u"ProRes代理"_s}
            << u"-c:v libx265 -b:v 0k -tag:v hvc1 -vf scale=1280x720"_s;
        QTest::newRow("profile after codec") << QStringList{u"--prores-profile"_s, u"4444 XQ"_s,
                                                            u"--codec"_s, u"ProRes (软件编码)"_s}
                                             << u"-c:v prores_ks -profile:v 5"_s;
        QTest::newRow("leaving prores keeps alpha")
            << QStringList{u"--preset"_s, u"ProRes 4444透明"_s, u"--prores-profile"_s,
                           u"422 HQ"_s,   u"--codec"_s,         u"HEVC (硬件加速)"_s}
            << u"-c:v hevc_videotoolbox -allow_sw 1 -pix_fmt bgra -alpha_quality 0.9 -b:v 0k "
               "-tag:v hvc1"_s;
        QTest::newRow("last value wins, equals form")
            << QStringList{u"--frame-rate"_s, u"24"_s, u"--frame-rate=23.98"_s,
                           u"--codec=AV1 (软件编码)"_s, u"--bitrate=2.5"_s}
            << u"-c:v libsvtav1 -b:v 2500k -preset 8 -svtav1-params tune=0:fast-decode=1 -pix_fmt "
               "yuv420p -strict experimental -r 23.98"_s;
    }

    void optionsApplyInAFixedOrder()
    {
        QFETCH(QStringList, options);
        QTEST(settingsAfter(options).join(u' '), "arguments");
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown codec") << QStringList{u"--codec"_s, u"H.264"_s, u"a"_s}
                                       << u"\"H.264 (硬件加速)\", \"HEVC (硬件加速)\""_s;
        QTest::newRow("unknown preset")
            << QStringList{u"--preset"_s, u"h264代理"_s, u"a"_s} << u"\"H264代理\", \"HEVC透明\""_s;
        QTest::newRow("frame rate 119.88")
            << QStringList{u"--frame-rate"_s, u"119.88"_s, u"a"_s} << u"\"119.98\""_s;
        QTest::newRow("decimal comma")
            << QStringList{u"--bitrate"_s, u"2,5"_s, u"a"_s} << u"--bitrate"_s;
        QTest::newRow("zero bitrate")
            << QStringList{u"--bitrate"_s, u"0"_s, u"a"_s} << u"greater than zero"_s;
        QTest::newRow("negative bitrate")
            << QStringList{u"--bitrate"_s, u"-2.5"_s, u"a"_s} << u"greater than zero"_s;
        QTest::newRow("too large")
            << QStringList{u"--bitrate"_s, u"99999999999999999999.0"_s, u"a"_s} << u"too large"_s;
        QTest::newRow("empty path") << QStringList{u"--overwrite"_s, u""_s} << u"empty PATH"_s;
        QTest::newRow("no path") << QStringList{u"--probe"_s} << u"no PATH"_s;
        QTest::newRow("two modes")
            << QStringList{u"--probe"_s, u"--dry-run"_s, u"a"_s} << u"at most one"_s;
        QTest::newRow("both ways")
            << QStringList{u"--alpha"_s, u"--no-alpha"_s, u"a"_s} << u"--alpha and --no-alpha"_s;
        QTest::newRow("shard beyond count")
            << QStringList{u"--shard"_s, u"2/2"_s, u"a"_s} << u"--shard"_s;
        QTest::newRow("jobs not a number")
            << QStringList{u"--jobs"_s, u"two"_s, u"a"_s} << u"--jobs"_s;
        QTest::newRow("unknown option") << QStringList{u"--fast"_s, u"a"_s} << u"fast"_s;
    }

    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const Result<CliOptions> parsed = parseCliArguments(arguments);
        QVERIFY(!parsed);
        QVERIFY2(parsed.error().description().contains(message),
                 qPrintable(parsed.error().description()));
    }

    void pathsAfterDoubleDashAreNotOptions()
    {
        const Result<CliOptions> parsed = parseCliArguments(
            {u"--jobs"_s, u"0"_s, u"--shard"_s, u"1/3"_s, u"--"_s, u"--codec"_s, u"-x.mp4"_s});
        QCOMPARE(parsed->paths, (QStringList{u"--codec"_s, u"-x.mp4"_s}));
        QCOMPARE((QList<int>{parsed->jobs, parsed->shard->index, parsed->shard->count}),
                 (QList<int>{0, 1, 3}));
    }

    // The same choices made in the window, with the event loop running between them.
    void windowAndCliAgree()
    {
        const QStringList options{u"--preset"_s,          u"H264代理"_s,         u"--codec"_s,
                                  u"ProRes (硬件加速)"_s, u"--prores-profile"_s, u"4444"_s,
                                  u"--alpha"_s,           u"--bitrate"_s,        u"7.25"_s};
        const Result<CliOptions> parsed =
            parseCliArguments(QStringList{u"--print-arguments"_s} + options);
        TranscodeViewModel viaCli, viaWindow;
        applyCliSettings(viaCli, *parsed);
        for (const TranscodePreset &preset : viaWindow.presets()) {
            if (preset.name == u"H264代理")
                viaWindow.applyPreset(preset);
        }
        const std::function<void()> clicks[] = {
            [&] { viaWindow.setSelectedCodec(u"ProRes (硬件加速)"_s); },
            [&] { viaWindow.setSelectedProResProfile(u"4444"_s); },
            [&] { viaWindow.setSelectedBitrate(7.25); }, [&] { viaWindow.setEnableAlpha(true); }};
        for (const auto &click : clicks) {
            QTest::qWait(5);
            click();
        }
        QTest::qWait(5);
        QCOMPARE(viaCli.settings(), viaWindow.settings());
    }

    // Exit statuses, the summary, JSON Lines and the plan, through the program itself.
    void aRunFromTheCommandLine()
    {
        const QString folder = m_dir.filePath(u"run"_s);
        copyTo(clip(Clip::Plain), folder + u"/a.mp4"_s);
        copyTo(clip(Clip::Truncated), folder + u"/b.mp4"_s);
        copyTo(clip(Clip::Odd), folder + u"/c d.mpg"_s);
        const QStringList settings{u"--codec"_s, u"H.264 (硬件加速)"_s};

        const CliRun dry = runCli(QStringList{u"--dry-run"_s} + settings + QStringList{folder});
        QCOMPARE(dry.exitCode, 0);
        QVERIFY(dry.err.contains(u"已改用软件编码器 libx264"_s));
        const QStringList planned =
            dry.out.split(u'\n', Qt::SkipEmptyParts).filter(u" -progress pipe:1 "_s);
        QCOMPARE(planned.size(), 3);
        QCOMPARE(filesBelow(folder).size(), 3); // nothing made

        const CliRun run =
            runCli(settings + QStringList{u"--json"_s, u"--jobs"_s, u"2"_s, u"--"_s, folder});
        QCOMPARE(run.exitCode, 1);
        QList<QJsonObject> events;
        for (const QString &line : run.out.split(u'\n', Qt::SkipEmptyParts)) {
            const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8());
            QVERIFY2(document.isObject(), qPrintable(line));
            events << document.object();
        }
        QCOMPARE(events.first().value(u"event"_s), u"run-start"_s);
        QCOMPARE(events.first().value(u"settings"_s).toObject().value(u"codec"_s),
                 u"H.264 (硬件加速)"_s);
        QCOMPARE(events.last().value(u"event"_s), u"summary"_s);
        QCOMPARE(events.last().value(u"converted"_s).toInt(), 2);
        QCOMPARE(events.last().value(u"failed"_s).toInt(), 1);
        QStringList ends;
        for (const QJsonObject &event : events) {
            if (event.value(u"event"_s) == u"file-failed"_s)
                QVERIFY(event.value(u"reason"_s).toString().contains(u"4.00 秒"_s));
            if (event.value(u"event"_s).toString().startsWith(u"file-d"_s))
                QCOMPARE(event.value(u"encoder"_s), u"libx264"_s);
            if (event.value(u"event"_s).toString().startsWith(u"file-"_s) &&
                event.value(u"event"_s) != u"file-start"_s)
                ends << event.value(u"event"_s).toString();
        }
        QCOMPARE(ends.size(), 3);
        QVERIFY2(run.err.contains(u"失败 b.mp4: 转码结果时长"_s), qPrintable(run.err));
        // The run's commands, written in its trace (here on standard error), are the plan's.
        for (const QString &command : planned)
            QVERIFY2(run.err.contains(u'\n' + command + u'\n'), qPrintable(command));
    }

    // A reader that goes away (`| head`) costs the trace, not the run.
    void aClosedOutputDoesNotStopTheRun()
    {
        const QString video = copyTo(clip(Clip::Plain), m_dir.filePath(u"piped/a.mp4"_s));
        QProcess process;
        process.start(QStringLiteral(QUILLMERE_CLI_PATH),
                      {u"--codec"_s, u"H.264 (软件编码)"_s, video});
        QVERIFY(process.waitForReadyRead(20000));
        process.closeReadChannel(QProcess::StandardOutput);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(QFile::exists(m_dir.filePath(u"piped/已转码_H.264 (软件编码)/a.mp4"_s)));
    }

    void refusalsAndMissingPaths()

    {
        const QString video = copyTo(clip(Clip::Plain), m_dir.filePath(u"refused/a.mp4"_s));
        const CliRun alpha = runCli({u"--dry-run"_s, u"--preset"_s, u"HEVC透明"_s, video});
        QCOMPARE(alpha.exitCode, 1);
        QVERIFY(alpha.err.contains(u"ProRes 4444"_s));
        const CliRun missing = runCli({u"--probe"_s, video, m_dir.filePath(u"nowhere.mp4"_s)});
        QCOMPARE(missing.exitCode, 0);
        QVERIFY(missing.err.contains(u"无法添加 "_s + m_dir.filePath(u"nowhere.mp4"_s) +
                                     u": 文件不存在"_s));
        QVERIFY(missing.err.contains(u"已列出 1 个视频，1 个无法添加"_s));
        QCOMPARE(runCli({u"--probe"_s, m_dir.filePath(u"nowhere.mp4"_s)}).exitCode, 1);
        QCOMPARE(runCli({u"--overwrite"_s, u""_s}).exitCode, 2);
        QCOMPARE(filesBelow(m_dir.filePath(u"refused"_s)), QStringList{u"a.mp4"_s});
    }

    // SIGTERM, SIGHUP and SIGINT cancel cleanly; kill -9 leaves no ffmpeg behind either, even
    // one started by a wrapper.
    void signalsCancelCleanly_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("TERM") << SIGTERM;
        QTest::newRow("HUP") << SIGHUP;
        QTest::newRow("KILL") << SIGKILL;
    }

    void signalsCancelCleanly()
    {
        QFETCH(int, signal);
        QTemporaryDir install;
        const QString cli = installCopy(install);
        writeTool(install.filePath(u"resources"_s), u"ffmpeg"_s,
                  "for last; do :; done\nprintf partial > \"$last\"\n"
                  "sleep 60 &\necho $! > \"$(dirname \"$0\")/grandchild\"\nwait\n");
        const QString folder = m_dir.filePath(u"signal"_s + QString::number(signal));
        const QString video = copyTo(clip(Clip::Plain), folder + u"/a.mp4"_s);
        QProcess process;
        process.start(cli, {u"--codec"_s, u"AV1 (软件编码)"_s, u"--overwrite"_s, video});
        const QString grandchild = install.filePath(u"resources/grandchild"_s);
        QTRY_VERIFY_WITH_TIMEOUT(!contents(grandchild).isEmpty(), 20000);
        ::kill(static_cast<pid_t>(process.processId()), signal);
        QVERIFY(process.waitForFinished(20000));
        if (signal != SIGKILL) {
            QCOMPARE(process.exitCode(), 130);
            QVERIFY(QString::fromUtf8(process.readAllStandardOutput()).contains(u"转码已取消\n"_s));
            QCOMPARE(filesBelow(folder), QStringList{u"a.mp4"_s});
        }
        const pid_t pid = contents(grandchild).trimmed().toInt();
        QTRY_VERIFY_WITH_TIMEOUT(
            ::kill(pid, 0) != 0 || contents(u"/proc/%1/stat"_s.arg(pid)).contains(") Z "), 5000);
        QCOMPARE(contents(video), contents(clip(Clip::Plain)));
    }

    // COUNT shards side by side under GNU parallel make what one run makes, name clashes
    // included; a run killed midway resumes with --skip-existing.
    void shardsAndResume()
    {
        const auto tree = [this](const QString &name) {
            const QString root = m_dir.filePath(name);
            copyTo(clip(Clip::Plain), root + u"/A/x.mov"_s);
            copyTo(clip(Clip::Plain), root + u"/B/x.mp4"_s);
            copyTo(clip(Clip::Odd), root + u"/B/y.mpg"_s);
            copyTo(clip(Clip::Plain), root + u"/C/x.mkv"_s);
            return root;
        };
        const QStringList settings{u"--codec"_s, u"H.264 (软件编码)"_s};
        const QString single = tree(u"single"_s);
        QCOMPARE(runCli(settings + QStringList{single}).exitCode, 0);
        const QString sharded = tree(u"sharded"_s);
        QProcess parallel;
        parallel.start(u"parallel"_s, QStringList{u"-q"_s, QStringLiteral(QUILLMERE_CLI_PATH),
                                                  u"--shard"_s, u"{}/3"_s} +
                                          settings +
                                          QStringList{sharded, u":::"_s, u"0"_s, u"1"_s, u"2"_s});
        QVERIFY(parallel.waitForFinished(60000));
        QCOMPARE(parallel.exitCode(), 0);
        QCOMPARE(filesBelow(sharded), filesBelow(single));
        QCOMPARE(filesBelow(single).filter(u"已转码"_s).size(), 4); // x.mp4, x (2), x (3), y

        QTemporaryDir install;
        const QString cli = installCopy(install);
        const QByteArray ffmpeg = QStandardPaths::findExecutable(u"ffmpeg"_s).toUtf8();
        writeTool(install.filePath(u"resources"_s), u"ffmpeg"_s,
                  "case \"$*\" in *C/x.mkv*) sleep 30;; esac\nexec '" + ffmpeg + "' \"$@\"\n");
        const QString resumed = tree(u"resumed"_s);
        QProcess killed;
        killed.start(cli, settings + QStringList{resumed});
        // Killed while the last file is at work, the first three done.
        QTRY_VERIFY_WITH_TIMEOUT(!filesBelow(resumed).filter(u".x (3).mp4.partial"_s).isEmpty(),
                                 30000);
        killed.kill();
        QVERIFY(killed.waitForFinished(10000));
        const CliRun again =
            runCli(settings + QStringList{u"--skip-existing"_s, u"--json"_s, resumed});
        QCOMPARE(again.exitCode, 0);
        QVERIFY(again.out.contains(u"\"converted\":1"_s) && again.out.contains(u"\"skipped\":3"_s));
        QCOMPARE(filesBelow(resumed), filesBelow(single));
    }

    // A file's shard follows from its path below the named folder: the same tree at another
    // place, with a file added, puts every file that was there in the same shard.
    void shardsFollowTheFileNotItsPlace()
    {
        const QStringList names{u"a.mp4"_s, u"b/c.mp4"_s, u"d.mp4"_s, u"e/f.mp4"_s, u"g.mp4"_s};
        QList<QHash<QString, int>> shardOf;
        for (const QString &root : {m_dir.filePath(u"here"_s), m_dir.filePath(u"there/deep"_s)}) {
            for (const QString &name : names)
                copyTo(clip(Clip::Plain), root + u'/' + name);
            if (!shardOf.isEmpty())
                copyTo(clip(Clip::Plain), root + u"/added.mp4"_s);
            QHash<QString, int> shards;
            for (int index = 0; index < 2; ++index) {
                const CliRun dry =
                    runCli({u"--dry-run"_s, u"--shard"_s, u"%1/2"_s.arg(index), root});
                for (const QString &line : dry.out.split(u'\n').filter(u" -progress pipe:1 "_s))
                    shards.insert(
                        line.section(u" -i "_s, 1).section(u" -y "_s, 0, 0).mid(root.size() + 1),
                        index);
            }
            shards.remove(u"added.mp4"_s);
            QCOMPARE(shards.size(), names.size());
            shardOf << shards;
        }
        QCOMPARE(shardOf.first(), shardOf.last());
    }

    void twoRunsOnOneFile()
    {
        QTemporaryDir install;
        const QString cli = installCopy(install);
        // An ffmpeg slow enough for the second run to meet the first at work.
        writeTool(install.filePath(u"resources"_s), u"ffmpeg"_s,
                  "for last; do :; done\nsleep 2\ncat '" + clip(Clip::Plain).toUtf8() +
                      "' > \"$last\"\n");
        const QString video = copyTo(clip(Clip::TenBit), m_dir.filePath(u"twice/a.mkv"_s));
        const EnvironmentGuard trash("XDG_DATA_HOME", m_dir.filePath(u"data"_s).toUtf8());
        QProcess first, second;
        const QStringList arguments{u"--overwrite"_s, u"--codec"_s, u"HEVC (软件编码)"_s,
                                    u"--container"_s, u"mov"_s,     video};
        first.start(cli, arguments);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_dir.filePath(u"twice/.a.mov.partial"_s)), 20000);
        second.start(cli, arguments);
        QVERIFY(first.waitForFinished(60000) && second.waitForFinished(60000));
        QCOMPARE(first.exitCode(), 0);
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(QString::fromUtf8(second.readAllStandardError())
                    .contains(u"正在被另一个转码任务使用"_s));
        QCOMPARE(filesBelow(m_dir.filePath(u"twice"_s)), QStringList{u"a.mov"_s});
        QCOMPARE(contents(m_dir.filePath(u"twice/a.mov"_s)), contents(clip(Clip::Plain)));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
