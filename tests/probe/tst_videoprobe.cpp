#include "TestSupport.h"
#include "probe/VideoProbe.h"

#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {

ProbeOutcome probe(const QString &path, const ToolLocator &tools = ToolLocator(QString()))
{
    VideoProbe probe(tools);
    QSignalSpy finished(&probe, &VideoProbe::finished);
    probe.getVideoInfo(QUrl::fromLocalFile(path));
    // Never synchronous: the caller connects first and the result comes later.
    if (!finished.isEmpty())
        qFatal("the probe finished before returning");
    if (!finished.wait(30000))
        qFatal("the probe did not finish");
    return finished.first().first().value<ProbeOutcome>();
}

} // namespace

Q_DECLARE_METATYPE(ProbeOutcome)

class TestVideoProbe : public QObject
{
    Q_OBJECT

    QTemporaryDir m_media;

private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<ProbeOutcome>();
        QVERIFY(m_media.isValid());
    }

    void realFiles_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("resolution");
        QTest::addColumn<QString>("frameRate");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("colorFormat");
        QTest::addColumn<QString>("bitDepth");
        QTest::addColumn<bool>("hasAlpha");

        const QDir dir(m_media.path());
        QTest::newRow("h264 ntsc")
            << makeClip(dir.filePath(u"ntsc clip.mp4"_s), {u"-pix_fmt"_s, u"yuv420p"_s},
                        u"320x240"_s, u"30000/1001"_s)
            << u"320x240"_s << u"29.97"_s << u"h264 (H.264 / AVC / MPEG-4 AVC / MPEG-4 part 10)"_s
            << u"yuv420p"_s << u"8bit"_s << false;
        // ffprobe states no bit depth for HEVC: the pixel format tells it.
        QTest::newRow("hevc 10 bit")
            << makeClip(dir.filePath(u"-hevc 片段.mkv"_s),
                        {u"-c:v"_s, u"libx265"_s, u"-pix_fmt"_s, u"yuv420p10le"_s,
                         u"-x265-params"_s, u"log-level=none"_s},
                        u"200x100"_s, u"60000/1001"_s)
            << u"200x100"_s << u"59.94"_s << u"hevc (H.265 / HEVC (High Efficiency Video Coding))"_s
            << u"yuv420p10le"_s << u"10bit"_s << false;
        QTest::newRow("prores 4444 with alpha")
            << makeClip(dir.filePath(u"alpha 'quoted'.mov"_s),
                        {u"-c:v"_s, u"prores_ks"_s, u"-profile:v"_s, u"4"_s, u"-pix_fmt"_s,
                         u"yuva444p10le"_s})
            << u"160x120"_s << u"25.00"_s << u"prores (Apple ProRes (iCodec Pro))"_s
            << u"yuva444p12le"_s << u"12bit"_s << true;
        QTest::newRow("mpeg4 avi")
            << makeClip(dir.filePath(u"old.avi"_s), {u"-c:v"_s, u"mpeg4"_s}, u"176x144"_s, u"24"_s)
            << u"176x144"_s << u"24.00"_s << u"mpeg4 (MPEG-4 part 2)"_s << u"yuv420p"_s << u"8bit"_s
            << false;
    }

    void realFiles()
    {
        QFETCH(QString, path);
        const ProbeOutcome outcome = probe(path);
        QVERIFY2(outcome.file.has_value(), qPrintable(outcome.trace.join(u'\n')));
        const VideoFile &file = *outcome.file;
        QTEST(file.resolution, "resolution");
        QTEST(file.frameRate, "frameRate");
        QTEST(file.codec, "codec");
        QTEST(file.colorFormat, "colorFormat");
        QTEST(file.bitDepth, "bitDepth");
        QTEST(file.hasAlpha, "hasAlpha");
        QCOMPARE(file.name, QFileInfo(path).fileName());
        QCOMPARE(file.size, QFileInfo(path).size());
        QVERIFY(file.duration > 0.1 && file.duration < 0.5);

        const QStringList head{
            u"🔍 [DEBUG] getVideoInfo 开始处理: "_s + path,
            u"🔍 [DEBUG] ffprobe 路径: "_s + QStandardPaths::findExecutable(u"ffprobe"_s),
            u"🔍 [DEBUG] 开始执行 ffprobe 进程"_s,
            u"🔍 [DEBUG] ffprobe 进程启动成功"_s,
            u"🔍 [DEBUG] ffprobe 进程执行完成，退出代码: 0"_s,
        };
        QCOMPARE(outcome.trace.mid(0, head.size()), head);
        QCOMPARE(outcome.trace.last().left(6), u"文件大小: "_s);
    }

    void filesThatAreNotVideos_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("exitLine");
        QTest::addColumn<QString>("lastLine");
        const QDir dir(m_media.path());
        const QString audio = dir.filePath(u"song.mp4"_s);
        runFFmpeg({u"-f"_s, u"lavfi"_s, u"-i"_s, u"sine=d=0.2"_s, u"-c:a"_s, u"aac"_s, audio});
        const QString text = dir.filePath(u"notes.mp4"_s);
        writeFile(text, "not a video at all\n");
        QTest::newRow("audio only") << audio << u"退出代码: 0"_s
                                    << u"Error: Required video information not found in JSON"_s;
        // ffprobe fails, yet writes an empty object: its status is printed, never judged.
        QTest::newRow("text named .mp4")
            << text << u"退出代码: 1"_s << u"Error: Required video information not found in JSON"_s;
        QTest::newRow("missing file") << dir.filePath(u"gone.mp4"_s) << u"退出代码: 1"_s
                                      << u"Error: Required video information not found in JSON"_s;
    }

    void filesThatAreNotVideos()
    {
        QFETCH(QString, path);
        const ProbeOutcome outcome = probe(path);
        QVERIFY(!outcome.file.has_value());
        QTEST(outcome.trace.last(), "lastLine");
        QFETCH(QString, exitLine);
        QVERIFY(outcome.trace.at(4).endsWith(exitLine));
    }

    void missingFFprobe()
    {
        QTemporaryDir emptyResources;
        QTemporaryDir emptyPath;
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", emptyPath.path().toUtf8());
        const ProbeOutcome outcome = probe(u"/videos/a.mp4"_s, ToolLocator(emptyResources.path()));
        qputenv("PATH", oldPath);
        QCOMPARE(outcome.trace, (QStringList{u"🔍 [DEBUG] getVideoInfo 开始处理: /videos/a.mp4"_s,
                                             u"❌ [ERROR] ffprobe not found in bundle"_s}));
        QVERIFY(!outcome.file.has_value());
    }

    void ffprobeThatCannotStart()
    {
        QTemporaryDir resources;
        const QString tool = writeTool(resources.path(), u"ffprobe"_s, "");
        writeFile(tool, "#!/nonexistent/interpreter\n");
        const ProbeOutcome outcome = probe(u"/videos/a.mp4"_s, ToolLocator(resources.path()));
        QCOMPARE(outcome.trace.size(), 4);
        QCOMPARE(outcome.trace.at(2), u"🔍 [DEBUG] 开始执行 ffprobe 进程"_s);
        QVERIFY(outcome.trace.at(3).startsWith(u"Error running FFprobe: "_s));
    }

    void outputLargerThanAPipeWithAFailingStatus()
    {
        // 2,000 streams with long tags, written in one go before a non-zero exit.
        QTemporaryDir resources;
        QByteArray streams;
        for (int i = 0; i < 2000; ++i)
            streams += "{\"codec_type\": \"data\", \"tags\": {\"comment\": \"" +
                       QByteArray(100, 'x') + "\"}}, ";
        const QByteArray json = "{\"streams\": [" + streams +
                                "{\"codec_type\": \"video\", \"width\": 64, \"height\": 48}], "
                                "\"format\": {\"bit_rate\": \"3000000\"}}";
        writeFile(resources.filePath(u"probe.json"_s), json);
        writeTool(resources.path(), u"ffprobe"_s, "cat \"$(dirname \"$0\")/probe.json\"\nexit 3\n");
        const ProbeOutcome outcome = probe(u"/videos/a.mp4"_s, ToolLocator(resources.path()));
        QVERIFY2(outcome.file.has_value(), qPrintable(outcome.trace.join(u'\n')));
        QCOMPARE(outcome.file->resolution, u"64x48"_s);
        QCOMPARE(outcome.file->bitrate, u"3Mbps"_s);
        QVERIFY(outcome.trace.contains(u"🔍 [DEBUG] ffprobe 进程执行完成，退出代码: 3"_s));
        QVERIFY(outcome.trace.contains(u"🔍 [DEBUG] FFprobe 输出数据长度: %1"_s.arg(json.size())));
    }

    void argumentsAsFfprobeGetsThem()
    {
        QTemporaryDir resources;
        writeTool(resources.path(), u"ffprobe"_s,
                  "for a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$(dirname \"$0\")/args\"; done\n"
                  "echo '{}'\n");
        const QString path = u"/videos/-a \"b\" $c 'd'.mp4"_s;
        probe(path, ToolLocator(resources.path()));
        QFile args(resources.filePath(u"args"_s));
        QVERIFY(args.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(args.readAll()),
                 u"-v\nquiet\n-print_format\njson\n-show_format\n-show_streams\n"_s + path +
                     u"\n"_s);
    }
};

QTEST_GUILESS_MAIN(TestVideoProbe)
#include "tst_videoprobe.moc"
