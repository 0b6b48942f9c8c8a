#include "TestSupport.h"
#include "cli/CliOptions.h"
#include "model/TranscodeViewModel.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

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
    if (!process.waitForFinished(30000))
        qFatal("quillmere-cli did not finish");
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// A copy of the CLI in `dir`, so that a "resources" folder beside it holds its tools.
QString installCopy(const QTemporaryDir &dir)
{
    const QString cli = dir.filePath(u"quillmere-cli"_s);
    if (!QFile::copy(QStringLiteral(QUILLMERE_CLI_PATH), cli))
        qFatal("cannot copy the CLI");
    QFile::setPermissions(cli, QFile::permissions(cli) | QFileDevice::ExeOwner);
    return cli;
}

QString lines(const QStringList &arguments)
{
    return arguments.join(u'\n') + u'\n';
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void printArguments_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("expected");

        const QStringList h264Tail{u"-movflags"_s, u"+faststart"_s, u"-c:a"_s,
                                   u"aac"_s,       u"-strict"_s,    u"experimental"_s};
        const QStringList av1{
            u"-c:v"_s,     u"libsvtav1"_s, u"-b:v"_s,           u"1000k"_s,
            u"-preset"_s,  u"8"_s,         u"-svtav1-params"_s, u"tune=0:fast-decode=1"_s,
            u"-pix_fmt"_s, u"yuv420p"_s,   u"-strict"_s,        u"experimental"_s};

        QTest::newRow("defaults") << QStringList{}
                                  << QStringList{u"-c:v"_s, u"h264_videotoolbox"_s, u"-b:v"_s,
                                                 u"10000k"_s} +
                                         h264Tail;
        QTest::newRow("H264代理") << QStringList{u"--preset"_s, u"H264代理"_s}
                                  << QStringList{u"-c:v"_s, u"h264_videotoolbox"_s, u"-b:v"_s,
                                                 u"5000k"_s} +
                                         h264Tail + QStringList{u"-vf"_s, u"scale=1280x720"_s};
        QTest::newRow("HEVC透明") << QStringList{u"--preset"_s, u"HEVC透明"_s}
                                  << QStringList{u"-c:v"_s,           u"hevc_videotoolbox"_s,
                                                 u"-allow_sw"_s,      u"1"_s,
                                                 u"-pix_fmt"_s,       u"bgra"_s,
                                                 u"-alpha_quality"_s, u"0.9"_s,
                                                 u"-b:v"_s,           u"20000k"_s,
                                                 u"-tag:v"_s,         u"hvc1"_s};
        QTest::newRow("ProRes代理")
            << QStringList{u"--preset"_s, u"ProRes代理"_s}
            << QStringList{u"-c:v"_s, u"prores_videotoolbox"_s, u"-profile:v"_s, u"0"_s,
                           u"-vf"_s,  u"scale=1280x720"_s};
        QTest::newRow("常规H264") << QStringList{u"--preset"_s, u"常规H264"_s}
                                  << QStringList{u"-c:v"_s, u"h264_videotoolbox"_s, u"-b:v"_s,
                                                 u"10000k"_s} +
                                         h264Tail;
        QTest::newRow("ProRes 4444透明")
            << QStringList{u"--preset"_s, u"ProRes 4444透明"_s}
            << QStringList{u"-c:v"_s, u"prores_videotoolbox"_s, u"-profile:v"_s, u"4"_s};
        QTest::newRow("AV1极致压缩") << QStringList{u"--preset"_s, u"AV1极致压缩"_s} << av1;

        // Options are applied in a fixed order whatever their order here: the codec after the
        // preset, so the preset's resolution stays and the codec's rules win.
        QTest::newRow("codec after preset")
            << QStringList{u"--codec"_s, u"HEVC (软件编码)"_s, u"--preset"_s, u"ProRes代理"_s}
            << QStringList{u"-c:v"_s,   u"libx265"_s, u"-b:v"_s, u"0k"_s,
                           u"-tag:v"_s, u"hvc1"_s,    u"-vf"_s,  u"scale=1280x720"_s};
        // The codec rule resets the profile to "422" before the profile option is applied.
        QTest::newRow("profile after codec")
            << QStringList{u"--prores-profile"_s, u"4444 XQ"_s, u"--codec"_s,
                           u"ProRes (软件编码)"_s}
            << QStringList{u"-c:v"_s, u"prores_ks"_s, u"-profile:v"_s, u"5"_s};
        QTest::newRow("preset profile reset by a later codec")
            << QStringList{u"--preset"_s, u"ProRes 4444透明"_s, u"--codec"_s,
                           u"ProRes (软件编码)"_s}
            << QStringList{u"-c:v"_s, u"prores_ks"_s, u"-profile:v"_s, u"4"_s};
        // Leaving ProRes keeps the preset's alpha; a profile outside ProRes falls back.
        QTest::newRow("alpha kept when leaving prores")
            << QStringList{u"--preset"_s, u"ProRes 4444透明"_s, u"--prores-profile"_s,
                           u"422 HQ"_s,   u"--codec"_s,         u"HEVC (硬件加速)"_s}
            << QStringList{u"-c:v"_s,           u"hevc_videotoolbox"_s,
                           u"-allow_sw"_s,      u"1"_s,
                           u"-pix_fmt"_s,       u"bgra"_s,
                           u"-alpha_quality"_s, u"0.9"_s,
                           u"-b:v"_s,           u"0k"_s,
                           u"-tag:v"_s,         u"hvc1"_s};
        QTest::newRow("hardware prores profile without 4444 drops alpha")
            << QStringList{u"--preset"_s, u"ProRes 4444透明"_s, u"--prores-profile"_s, u"422 HQ"_s}
            << QStringList{u"-c:v"_s, u"prores_videotoolbox"_s, u"-profile:v"_s, u"3"_s};
        QTest::newRow("alpha with software hevc")
            << QStringList{u"--codec"_s, u"HEVC (软件编码)"_s, u"--alpha"_s,   u"--bitrate"_s,
                           u"2.5"_s,     u"--resolution"_s,    u"1920x1080"_s, u"--frame-rate"_s,
                           u"119.98"_s}
            << QStringList{u"-c:v"_s,
                           u"libx265"_s,
                           u"-pix_fmt"_s,
                           u"bgra"_s,
                           u"-alpha_quality"_s,
                           u"0.9"_s,
                           u"-b:v"_s,
                           u"2500k"_s,
                           u"-tag:v"_s,
                           u"hvc1"_s,
                           u"-vf"_s,
                           u"scale=1920x1080"_s,
                           u"-r"_s,
                           u"119.98"_s};
        QTest::newRow("alpha off after the HEVC preset")
            << QStringList{u"--preset"_s, u"HEVC透明"_s, u"--no-alpha"_s}
            << QStringList{u"-c:v"_s, u"hevc_videotoolbox"_s, u"-b:v"_s, u"20000k"_s, u"-tag:v"_s,
                           u"hvc1"_s};
        QTest::newRow("bitrate truncation, container does not matter")
            << QStringList{u"--codec"_s, u"H.264 (软件编码)"_s, u"--container"_s,
                           u"mov"_s,     u"--bitrate"_s,        u"1.005"_s}
            << QStringList{u"-c:v"_s, u"libx264"_s, u"-b:v"_s, u"1004k"_s} + h264Tail;
        QTest::newRow("negative bitrate")
            << QStringList{u"--bitrate"_s, u"-2.5"_s}
            << QStringList{u"-c:v"_s, u"h264_videotoolbox"_s, u"-b:v"_s, u"-2500k"_s} + h264Tail;
        QTest::newRow("last value wins")
            << QStringList{u"--frame-rate"_s, u"24"_s,       u"--frame-rate"_s,
                           u"23.98"_s,        u"--preset"_s, u"AV1极致压缩"_s}
            << av1 + QStringList{u"-r"_s, u"23.98"_s};
        QTest::newRow("equals form")
            << QStringList{u"--codec=AV1 (软件编码)"_s, u"--bitrate=1"_s} << av1;
    }

    void printArguments()
    {
        QFETCH(QStringList, options);
        QFETCH(QStringList, expected);
        const CliRun run = runCli(QStringList{u"--print-arguments"_s} + options);
        QCOMPARE(run.err, QString());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, lines(expected));
    }

    // The same choices made in the window, one after the other with the event loop running
    // between them, reach the same settings as the CLI.
    void windowAndCliAgree_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("preset and codec")
            << QStringList{u"--preset"_s, u"ProRes 4444透明"_s, u"--codec"_s, u"HEVC (硬件加速)"_s};
        QTest::newRow("codec and profile") << QStringList{
            u"--codec"_s, u"ProRes (硬件加速)"_s, u"--prores-profile"_s, u"4444"_s, u"--alpha"_s};
        QTest::newRow("everything") << QStringList{
            u"--preset"_s,     u"H264代理"_s,  u"--codec"_s,          u"ProRes (软件编码)"_s,
            u"--container"_s,  u"mp4"_s,       u"--prores-profile"_s, u"422 LT"_s,
            u"--resolution"_s, u"2560x1440"_s, u"--frame-rate"_s,     u"60"_s,
            u"--bitrate"_s,    u"7.25"_s,      u"--alpha"_s,          u"--overwrite"_s};
    }

    void windowAndCliAgree()
    {
        QFETCH(QStringList, options);
        const Result<CliOptions> parsed =
            parseCliArguments(QStringList{u"--print-arguments"_s} + options);
        QVERIFY(parsed.ok());
        TranscodeViewModel viaCli;
        applyCliSettings(viaCli, *parsed);

        TranscodeViewModel viaWindow;
        const CliOptions &o = *parsed;
        const auto click = [](auto apply) {
            apply();
            QTest::qWait(5);
        };
        if (o.preset) {
            for (const TranscodePreset &preset : viaWindow.presets()) {
                if (preset.name == *o.preset)
                    click([&] { viaWindow.applyPreset(preset); });
            }
        }
        if (o.codec)
            click([&] { viaWindow.setSelectedCodec(*o.codec); });
        if (o.container)
            click([&] { viaWindow.setSelectedContainer(*o.container); });
        if (o.proResProfile)
            click([&] { viaWindow.setSelectedProResProfile(*o.proResProfile); });
        if (o.resolution)
            click([&] { viaWindow.setSelectedResolution(*o.resolution); });
        if (o.frameRate)
            click([&] { viaWindow.setSelectedFrameRate(*o.frameRate); });
        if (o.bitrate)
            click([&] { viaWindow.setSelectedBitrate(*o.bitrate); });
        if (o.enableAlpha)
            click([&] { viaWindow.setEnableAlpha(*o.enableAlpha); });
        if (o.overwriteOriginal)
            click([&] { viaWindow.setOverwriteOriginal(*o.overwriteOriginal); });

        for (const char *property :
             {"selectedCodec", "selectedContainer", "selectedProResProfile", "selectedResolution",
              "selectedFrameRate", "selectedBitrate", "enableAlpha", "overwriteOriginal"})
            QCOMPARE(viaCli.property(property), viaWindow.property(property));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message"); // part of what stderr must say
        QTest::newRow("unknown codec")
            << QStringList{u"--print-arguments"_s, u"--codec"_s, u"H.264"_s}
            << u"\"H.264 (硬件加速)\", \"HEVC (硬件加速)\", \"ProRes (硬件加速)\", "
               "\"H.264 (软件编码)\", \"HEVC (软件编码)\", \"ProRes (软件编码)\", \"AV1 (软件编码)\""_s;
        QTest::newRow("unknown preset")
            << QStringList{u"--print-arguments"_s, u"--preset"_s, u"h264代理"_s}
            << u"\"H264代理\", \"HEVC透明\", \"ProRes代理\", \"常规H264\", \"ProRes 4444透明\", "
               "\"AV1极致压缩\""_s;
        QTest::newRow("unknown container")
            << QStringList{u"--print-arguments"_s, u"--container"_s, u"MP4"_s}
            << u"\"mov\", \"mp4\""_s;
        QTest::newRow("unknown profile")
            << QStringList{u"--print-arguments"_s, u"--prores-profile"_s, u"HQ"_s}
            << u"\"422 Proxy\", \"422 LT\", \"422\", \"422 HQ\", \"4444\", \"4444 XQ\""_s;
        QTest::newRow("unknown resolution")
            << QStringList{u"--print-arguments"_s, u"--resolution"_s, u"1920×1080"_s}
            << u"\"原始分辨率\", \"3840x2160\""_s;
        QTest::newRow("frame rate 119.88")
            << QStringList{u"--print-arguments"_s, u"--frame-rate"_s, u"119.88"_s}
            << u"\"119.98\""_s;
        QTest::newRow("decimal comma")
            << QStringList{u"--print-arguments"_s, u"--bitrate"_s, u"2,5"_s} << u"--bitrate"_s;
        QTest::newRow("not a number")
            << QStringList{u"--print-arguments"_s, u"--bitrate"_s, u"nan"_s} << u"--bitrate"_s;
        QTest::newRow("exponent") << QStringList{u"--print-arguments"_s, u"--bitrate"_s, u"1e3"_s}
                                  << u"--bitrate"_s;
        QTest::newRow("too large")
            << QStringList{u"--print-arguments"_s, u"--bitrate"_s, u"99999999999999999999.0"_s}
            << u"too large"_s;
        QTest::newRow("missing value")
            << QStringList{u"--print-arguments"_s, u"--codec"_s} << u"codec"_s;
        QTest::newRow("unknown option") << QStringList{u"--fast"_s, u"a.mp4"_s} << u"fast"_s;
        QTest::newRow("alpha both ways")
            << QStringList{u"--print-arguments"_s, u"--alpha"_s, u"--no-alpha"_s}
            << u"--alpha and --no-alpha"_s;
        QTest::newRow("two modes")
            << QStringList{u"--probe"_s, u"--dry-run"_s, u"a.mp4"_s} << u"at most one"_s;
        QTest::newRow("no path") << QStringList{u"--codec"_s, u"AV1 (软件编码)"_s} << u"no PATH"_s;
        QTest::newRow("path with print-arguments")
            << QStringList{u"--print-arguments"_s, u"a.mp4"_s} << u"takes no PATH"_s;
    }

    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const CliRun run = runCli(arguments);
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.out, QString());
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
    }

    void helpNamesEveryChoice()
    {
        const CliRun run = runCli({u"--help"_s});
        QCOMPARE(run.exitCode, 0);
        for (const QString &codec : Choices::codecs())
            QVERIFY(run.out.contains(codec));
        QVERIFY(run.out.contains(u"--print-arguments"_s));
        QVERIFY(run.out.contains(u"AV1极致压缩"_s));
    }

    void probeUsesTheFFprobeBesideTheProgram()
    {
        // The fake ffprobe beside the program wins over the one on PATH.
        QTemporaryDir install;
        const QString cli = installCopy(install);
        writeTool(install.filePath(u"resources"_s), u"ffprobe"_s,
                  "echo '{\"streams\": [{\"codec_type\": \"video\", \"width\": 7, "
                  "\"height\": 5, \"pix_fmt\": \"rgba\"}], \"format\": {}}'\n");
        const QString video = install.filePath(u"-odd name.mp4"_s);
        writeFile(video, "anything");

        const CliRun run = runCli({u"--probe"_s, u"--"_s, video, u"not-there.txt"_s}, cli);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.contains(u"🔍 [DEBUG] ffprobe 路径: "_s +
                                  install.filePath(u"resources/ffprobe"_s)),
                 qPrintable(run.out));
        QVERIFY(run.out.contains(u"分辨率: 7x5\n"_s));
        QVERIFY(run.out.contains(u"Alpha通道: 是\n"_s));
        QVERIFY(run.out.contains(u"⚠️ [WARNING] 不支持的文件类型: txt\n"_s));
    }

    void probeExitsWithOneWhenNothingIsListed()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath(u"a.mp4"_s), "not a video");
        const CliRun run = runCli({u"--probe"_s, dir.path()});
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.out.contains(u"❌ [ERROR] 获取视频信息失败: a.mp4"_s));
        QVERIFY(run.out.endsWith(u"🔍 [DEBUG] 文件夹处理完成，共处理 1 个视频文件\n"_s));
        QVERIFY(run.err.contains(u"no video"_s));
    }

    void dryRunPrintsTheCommandOfEachFile_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("middle"); // between "-progress pipe:1" and the output path
        QTest::addColumn<QString>("output"); // in the folder beside the first file

        const QString h264 = u"-movflags +faststart -c:a aac -strict experimental"_s;
        QTest::newRow("H264代理") << QStringList{u"--preset"_s, u"H264代理"_s}
                                  << u"-c:v h264_videotoolbox -b:v 5000k "_s + h264 +
                                         u" -vf scale=1280x720 -f mp4"_s
                                  << u"已转码_H.264 (硬件加速)/a b.mp4"_s;
        QTest::newRow("ProRes代理")
            << QStringList{u"--preset"_s, u"ProRes代理"_s}
            << u"-c:v prores_videotoolbox -profile:v 0 -vf scale=1280x720 -f mov"_s
            << u"已转码_ProRes (硬件加速)/a b.mov"_s;
        QTest::newRow("常规H264") << QStringList{u"--preset"_s, u"常规H264"_s}
                                  << u"-c:v h264_videotoolbox -b:v 10000k "_s + h264 + u" -f mp4"_s
                                  << u"已转码_H.264 (硬件加速)/a b.mp4"_s;
        QTest::newRow("ProRes 4444透明") << QStringList{u"--preset"_s, u"ProRes 4444透明"_s}
                                         << u"-c:v prores_videotoolbox -profile:v 4 -f mov"_s
                                         << u"已转码_ProRes (硬件加速)/a b.mov"_s;
        QTest::newRow("AV1极致压缩")
            << QStringList{u"--preset"_s, u"AV1极致压缩"_s}
            << u"-c:v libsvtav1 -b:v 1000k -preset 8 -svtav1-params tune=0:fast-decode=1 "
               "-pix_fmt yuv420p -strict experimental -f mp4"_s
            << u"已转码_AV1 (软件编码)/a b.mp4"_s;
        QTest::newRow("hevc in mov")
            << QStringList{u"--codec"_s, u"HEVC (软件编码)"_s, u"--container"_s, u"mov"_s}
            << u"-c:v libx265 -b:v 10000k -tag:v hvc1 -f mov"_s
            << u"已转码_HEVC (软件编码)/a b.mov"_s;
        QTest::newRow("prores ignores mp4")
            << QStringList{u"--codec"_s, u"ProRes (软件编码)"_s, u"--container"_s, u"mp4"_s}
            << u"-c:v prores_ks -profile:v 2 -f mov"_s << u"已转码_ProRes (软件编码)/a b.mov"_s;
        QTest::newRow("h264 in mp4 after a mov preset")
            << QStringList{u"--preset"_s,         u"HEVC透明"_s,    u"--codec"_s,
                           u"H.264 (软件编码)"_s, u"--container"_s, u"mp4"_s}
            << u"-c:v libx264 -b:v 20000k "_s + h264 + u" -f mp4"_s
            << u"已转码_H.264 (软件编码)/a b.mp4"_s;
    }

    void dryRunPrintsTheCommandOfEachFile()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, middle);
        QFETCH(QString, output);
        QTemporaryDir dir;
        const QString clip = makeClip(dir.filePath(u"a b.mp4"_s));
        const QString ffmpeg = QStandardPaths::findExecutable(u"ffmpeg"_s);
        const CliRun run = runCli(QStringList{u"--dry-run"_s} + options + QStringList{clip});
        QCOMPARE(run.exitCode, 0);
        const QString expected = ffmpeg + u" -i "_s + clip + u" -y -progress pipe:1 "_s + middle +
                                 u" -c:a aac "_s + dir.filePath(output) + u"\n"_s;
        QVERIFY2(run.out.endsWith(expected), qPrintable(run.out.right(400)));
        // Nothing is made.
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{u"a b.mp4"_s});
    }

    void dryRunNamesTheAlphaRoute()
    {
        QTemporaryDir dir;
        const QString clip = makeClip(dir.filePath(u"a.mp4"_s));
        const CliRun run = runCli({u"--dry-run"_s, u"--preset"_s, u"HEVC透明"_s, clip});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.out.endsWith(u"[HEVC Alpha] "_s + clip + u" -> "_s +
                                 dir.filePath(u"已转码_HEVC (硬件加速)/a.mov"_s) + u"\n"_s));
    }

    void convertsAndReportsTheEnd()
    {
        QTemporaryDir dir;
        const QString clip = makeClip(dir.filePath(u"a.mp4"_s));
        const CliRun done = runCli({u"--codec"_s, u"H.264 (软件编码)"_s, clip});
        QCOMPARE(done.exitCode, 0);
        QVERIFY(QFile::exists(dir.filePath(u"已转码_H.264 (软件编码)/a.mp4"_s)));
        QVERIFY2(done.err.contains(u"[1/1] a.mp4"_s), qPrintable(done.err));

        // A codec this ffmpeg lacks fails the run with ffmpeg's own words.
        const CliRun failed = runCli({u"--codec"_s, u"HEVC (硬件加速)"_s, u"--alpha"_s, clip});
        QCOMPARE(failed.exitCode, 1);
        QVERIFY2(failed.err.contains(u"转码失败: a.mp4: 无法创建导出会话"_s),
                 qPrintable(failed.err));
    }

    void sigtermCancelsCleanly()
    {
        QTemporaryDir install;
        const QString cli = installCopy(install);
        writeTool(install.filePath(u"resources"_s), u"ffmpeg"_s,
                  "for last; do :; done\nprintf partial > \"$last\"\nexec sleep 30\n");
        QTemporaryDir dir;
        const QString clip = makeClip(dir.filePath(u"a.mp4"_s));
        const QByteArray before = [&] {
            QFile f(clip);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();

        QProcess process;
        process.start(cli, {u"--codec"_s, u"AV1 (软件编码)"_s, u"--overwrite"_s, clip});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath(u".a.mp4.partial"_s)), 20000);
        process.terminate();
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), 130);
        QVERIFY(QString::fromUtf8(process.readAllStandardOutput()).contains(u"转码已取消\n"_s));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{u"a.mp4"_s});
        QFile after(clip);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), before);
    }

    void pathsAfterDoubleDashAreNotOptions()
    {
        const Result<CliOptions> parsed =
            parseCliArguments({u"--dry-run"_s, u"--"_s, u"--codec"_s, u"-x.mp4"_s});
        QVERIFY(parsed.ok());
        QCOMPARE(parsed->paths, (QStringList{u"--codec"_s, u"-x.mp4"_s}));
        QVERIFY(!parsed->codec.has_value());
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
