#include "TestSupport.h"
#include "model/TranscodeViewModel.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {

// ffprobe's view of a converted file: the first video stream and the container.
struct Probed
{
    QString codec;
    QString size;
    QString rate;
    QString container;
    QString tag;
};

Probed probe(const QString &path)
{
    QProcess ffprobe;
    ffprobe.start(u"ffprobe"_s, {u"-v"_s, u"quiet"_s, u"-print_format"_s, u"json"_s,
                                 u"-show_format"_s, u"-show_streams"_s, path});
    ffprobe.waitForFinished(30000);
    const QJsonObject json = QJsonDocument::fromJson(ffprobe.readAllStandardOutput()).object();
    for (const QJsonValue &value : json.value(u"streams"_s).toArray()) {
        const QJsonObject stream = value.toObject();
        if (stream.value(u"codec_type"_s) != u"video"_s)
            continue;
        return {
            stream.value(u"codec_name"_s).toString(),
            u"%1x%2"_s.arg(stream.value(u"width"_s).toInt()).arg(stream.value(u"height"_s).toInt()),
            stream.value(u"r_frame_rate"_s).toString(),
            json.value(u"format"_s).toObject().value(u"format_name"_s).toString(),
            stream.value(u"codec_tag_string"_s).toString()};
    }
    return {};
}

QByteArray digest(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

// Every file below `root`, hidden ones included, relative to it.
QStringList filesBelow(const QString &root)
{
    QStringList found;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(root).relativeFilePath(it.next());
    found.sort();
    return found;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

// A stand-in for ffmpeg, steered by files beside it: "progress" and "stderr" are written out,
// inputs matching a line of "fail_for" end with the status in "status", "hang" makes it wait
// to be stopped, "encoders_ok" lists the encoders its test encodes accept, "x265_help" is what
// it says about libx265. It writes "converted" to its last argument and notes every call.
const QByteArray FakeFFmpeg = R"SH(
dir=$(dirname "$0")
printf '%s\n' "$*" >> "$dir/calls"
for last; do :; done
case "$*" in
*"-f null -"*)
    encoder=$(printf '%s' "$*" | sed 's/.*-c:v \([^ ]*\).*/\1/')
    grep -qx -- "$encoder" "$dir/encoders_ok" 2>/dev/null && exit 0
    echo "Unknown encoder '$encoder'" >&2
    exit 1 ;;
*"-h encoder=libx265"*)
    cat "$dir/x265_help" 2>/dev/null
    exit 0 ;;
esac
[ -e "$dir/progress" ] && cat "$dir/progress"
[ -e "$dir/stderr" ] && cat "$dir/stderr" >&2
if [ -e "$dir/fail_for" ] && printf '%s' "$*" | grep -qF -f "$dir/fail_for"; then
    exit "$(cat "$dir/status")"
fi
printf 'converted' > "$last"
[ -e "$dir/hang" ] && echo $$ > "$dir/pid" && exec sleep 30
exit 0
)SH";

} // namespace

class TestBatchTranscoder : public QObject
{
    Q_OBJECT

    QTemporaryDir m_media;
    QString m_clip;      // 160x120, 25 fps, with sound
    QString m_alphaClip; // ProRes 4444 with alpha, as Apple tags it

    // A fresh folder holding copies of the test clip under the given names.
    QString folderWith(const QStringList &names, const QString &source = QString())
    {
        static int count = 0;
        const QString folder = m_media.filePath(u"run%1"_s.arg(++count));
        for (const QString &name : names) {
            QDir().mkpath(QFileInfo(folder + u'/' + name).absolutePath());
            QFile::copy(source.isEmpty() ? m_clip : source, folder + u'/' + name);
        }
        return folder;
    }

    static void list(TranscodeViewModel &model, const QString &folder, const QStringList &names)
    {
        for (const QString &name : names) {
            VideoFile file;
            file.id = QUuid::createUuid();
            file.url = QUrl::fromLocalFile(folder + u'/' + name);
            file.name = QFileInfo(name).fileName();
            file.duration = 0.2;
            model.appendVideoFile(file);
        }
    }

    static RunOutcome run(TranscodeViewModel &model)
    {
        QSignalSpy finished(&model, &TranscodeViewModel::runFinished);
        model.startTranscoding();
        if (!finished.wait(120000))
            qFatal("the run did not end");
        return finished.first().first().value<RunOutcome>();
    }

    static QString fakeTools(const QTemporaryDir &dir)
    {
        writeTool(dir.path(), u"ffmpeg"_s, FakeFFmpeg);
        return dir.path();
    }

    static QStringList calls(const QTemporaryDir &tools)
    {
        QFile file(tools.filePath(u"calls"_s));
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    // The conversions among the calls, leaving out the questions about encoders.
    static QStringList passes(const QTemporaryDir &tools)
    {
        QStringList passes;
        for (const QString &call : calls(tools)) {
            if (call.startsWith(u"-i "_s))
                passes << call;
        }
        return passes;
    }

    // Converts `name` in `folder` with HEVC透明 and an ffmpeg that has an HEVC encoder keeping
    // alpha but no VideoToolbox; gives the progress the model published and its notice.
    struct AlphaRun
    {
        QList<double> progress;
        QString notice;
    };
    AlphaRun runAlphaRoute(const QTemporaryDir &tools, const QString &folder, const QString &name,
                           const QByteArray &progressStream)
    {
        fakeTools(tools);
        writeFile(tools.filePath(u"x265_help"_s),
                  "Encoder libx265 [libx265 H.265 / HEVC]:\n"
                  "    Supported pixel formats: yuv420p yuva420p yuv422p\n");
        writeFile(tools.filePath(u"encoders_ok"_s), "libx265\n");
        writeFile(tools.filePath(u"progress"_s), progressStream);
        TranscodeViewModel model;
        TraceCapture trace(model);
        model.setToolLocator(ToolLocator(tools.path()));
        model.applyPreset(model.presets().at(1)); // HEVC透明
        list(model, folder, {name});
        QList<double> progress;
        connect(&model, &TranscodeViewModel::transcodeProgressChanged, this,
                [&] { progress << model.transcodeProgress(); });
        if (run(model) != RunOutcome::Completed)
            qFatal("the alpha route failed: %s", qPrintable(model.lastError()));
        return {progress, model.runNotice()};
    }

private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<RunOutcome>();
        QVERIFY(m_media.isValid());
        m_clip = m_media.filePath(u"clip.mp4"_s);
        runFFmpeg({u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc2=size=160x120:rate=25"_s, u"-f"_s,
                   u"lavfi"_s, u"-i"_s, u"sine=frequency=440"_s, u"-t"_s, u"0.4"_s, u"-pix_fmt"_s,
                   u"yuv420p"_s, u"-c:a"_s, u"aac"_s, u"-shortest"_s, m_clip});
        m_alphaClip =
            makeClip(m_media.filePath(u"alpha.mov"_s),
                     {u"-c:v"_s, u"prores_ks"_s, u"-profile:v"_s, u"4"_s, u"-pix_fmt"_s,
                      u"yuva444p10le"_s, u"-metadata:s:v:0"_s, u"encoder=Apple ProRes 4444"_s});
        // Replaced sources go to a Trash of the test's own, temporary files to a folder of its
        // own, where nothing else comes and goes.
        qputenv("XDG_DATA_HOME", m_media.filePath(u"data"_s).toUtf8());
        QDir().mkpath(m_media.filePath(u"tmp"_s));
        qputenv("TMPDIR", m_media.filePath(u"tmp"_s).toUtf8());
    }

    void realConversions_data()
    {
        QTest::addColumn<int>("preset");           // applied first, unless -1
        QTest::addColumn<QStringList>("settings"); // property, value, property, value, ...
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QString>("container");

        const QString mp4 = u"mov,mp4,m4a,3gp,3g2,mj2"_s; // ffprobe's name for MP4 and QuickTime

        QTest::newRow("h264 software")
            << -1 << QStringList{u"selectedCodec"_s, u"H.264 (软件编码)"_s}
            << u"已转码_H.264 (软件编码)/a.mp4"_s << u"h264"_s << u"160x120"_s << u"25/1"_s << mp4;
        QTest::newRow("hevc software, mov, 720p, 30 fps")
            << -1 << QStringList{u"selectedCodec"_s,      u"HEVC (软件编码)"_s,
                                 u"selectedContainer"_s,  u"mov"_s,
                                 u"selectedResolution"_s, u"1280x720"_s,
                                 u"selectedFrameRate"_s,  u"30"_s}
            << u"已转码_HEVC (软件编码)/a.mov"_s << u"hevc"_s << u"1280x720"_s << u"30/1"_s << mp4;
        QTest::newRow("prores software with mp4 chosen")
            << -1
            << QStringList{u"selectedCodec"_s, u"ProRes (软件编码)"_s,     u"selectedContainer"_s,
                           u"mp4"_s,           u"selectedProResProfile"_s, u"422 HQ"_s}
            << u"已转码_ProRes (软件编码)/a.mov"_s << u"prores"_s << u"160x120"_s << u"25/1"_s
            << mp4;
        QTest::newRow("av1, 29.97")
            << -1
            << QStringList{u"selectedCodec"_s, u"AV1 (软件编码)"_s, u"selectedFrameRate"_s,
                           u"29.97"_s}
            << u"已转码_AV1 (软件编码)/a.mp4"_s << u"av1"_s << u"160x120"_s << u"2997/100"_s << mp4;
        QTest::newRow("h264 hardware falls back")
            << -1 << QStringList{u"selectedCodec"_s, u"H.264 (硬件加速)"_s}
            << u"已转码_H.264 (硬件加速)/a.mp4"_s << u"h264"_s << u"160x120"_s << u"25/1"_s << mp4;
        QTest::newRow("hevc hardware falls back")
            << -1 << QStringList{u"selectedCodec"_s, u"HEVC (硬件加速)"_s}
            << u"已转码_HEVC (硬件加速)/a.mp4"_s << u"hevc"_s << u"160x120"_s << u"25/1"_s << mp4;
        QTest::newRow("preset H264代理") << 0 << QStringList{} << u"已转码_H.264 (硬件加速)/a.mp4"_s
                                         << u"h264"_s << u"1280x720"_s << u"25/1"_s << mp4;
        QTest::newRow("preset ProRes代理")
            << 2 << QStringList{} << u"已转码_ProRes (硬件加速)/a.mov"_s << u"prores"_s
            << u"1280x720"_s << u"25/1"_s << mp4;
        QTest::newRow("preset 常规H264") << 3 << QStringList{} << u"已转码_H.264 (硬件加速)/a.mp4"_s
                                         << u"h264"_s << u"160x120"_s << u"25/1"_s << mp4;
        QTest::newRow("preset ProRes 4444透明")
            << 4 << QStringList{} << u"已转码_ProRes (硬件加速)/a.mov"_s << u"prores"_s
            << u"160x120"_s << u"25/1"_s << mp4;
        QTest::newRow("preset AV1极致压缩")
            << 5 << QStringList{} << u"已转码_AV1 (软件编码)/a.mp4"_s << u"av1"_s << u"160x120"_s
            << u"25/1"_s << mp4;
        QTest::newRow("prores hardware falls back")
            << -1 << QStringList{u"selectedCodec"_s, u"ProRes (硬件加速)"_s}
            << u"已转码_ProRes (硬件加速)/a.mov"_s << u"prores"_s << u"160x120"_s << u"25/1"_s
            << mp4;
    }

    void realConversions()
    {
        QFETCH(int, preset);
        QFETCH(QStringList, settings);
        const QString folder = folderWith({u"a.mp4"_s});
        TranscodeViewModel model;
        TraceCapture trace(model);
        if (preset >= 0)
            model.applyPreset(model.presets().at(preset));
        for (qsizetype i = 0; i + 1 < settings.size(); i += 2)
            model.setProperty(settings[i].toLatin1(), settings[i + 1]);
        model.settleCodecRules();
        list(model, folder, {u"a.mp4"_s});

        QCOMPARE(run(model), RunOutcome::Completed);
        QFETCH(QString, output);
        const Probed result = probe(folder + u'/' + output);
        QTEST(result.codec, "codec");
        QTEST(result.size, "size");
        QTEST(result.rate, "rate");
        QTEST(result.container, "container");
        QCOMPARE(model.transcodeCompleted(), true);
        QCOMPARE(model.isTranscoding(), false);
        QCOMPARE(model.transcodeProgress(), 1.0);
        QCOMPARE(model.currentFileIndex(), 1);
        QCOMPARE(model.currentFileName(), QString());
        QCOMPARE(model.lastOutputDirectory(), QFileInfo(folder + u'/' + output).absolutePath());
        QCOMPARE(model.lastError(), QString());
        // Nothing but the source and the result.
        QCOMPARE(filesBelow(folder), sorted({output, u"a.mp4"_s}));
        QVERIFY(model.ffmpegLog().contains(u"\n============= FFmpeg Command =============\n"_s));

        const bool hardware = model.selectedCodec().contains(u"硬件加速"_s);
        QCOMPARE(model.runNotice().contains(u"已改用软件编码器"_s), hardware);
        QCOMPARE(
            trace.text().contains(u"⚠️ [WARNING] 此 ffmpeg 不能使用硬件编码器"_s),
            hardware);
        QCOMPARE(model.ffmpegLog().contains(u"已改用软件编码器"_s), hardware);
        if (model.selectedCodec().contains(u"HEVC"_s))
            QCOMPARE(result.tag, u"hvc1"_s);
    }

    void hevcWithAlphaFailsCleanlyWithoutAnEncoder()
    {
        const QString folder = folderWith({u"a.mp4"_s, u"b.mp4"_s});
        const QByteArray before = digest(folder + u"/a.mp4"_s);
        TranscodeViewModel model;
        TraceCapture trace(model);
        model.applyPreset(model.presets().at(1)); // HEVC透明
        list(model, folder, {u"a.mp4"_s, u"b.mp4"_s});
        QCOMPARE(run(model), RunOutcome::Failed);
        QVERIFY(trace.lines().contains(u"转码错误: 无法创建导出会话"_s));
        QVERIFY2(model.lastError().startsWith(u"a.mp4: 无法创建导出会话"_s),
                 qPrintable(model.lastError()));
        QCOMPARE(model.isTranscoding(), false);
        QCOMPARE(model.transcodeCompleted(), false);
        // Not even the output folder stays.
        QCOMPARE(filesBelow(folder), (QStringList{u"a.mp4"_s, u"b.mp4"_s}));
        QCOMPARE(QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
        QCOMPARE(digest(folder + u"/a.mp4"_s), before);
    }

    void progressStatisticsAndLogFollowFFmpeg()
    {
        QTemporaryDir tools;
        fakeTools(tools);
        // Each file: statistics before any time has passed, then half, then the end.
        writeFile(tools.filePath(u"progress"_s),
                  "frame=5\nfps=29.97\nbitrate=1234.5kbits/s\nspeed=2.36x\nprogress=continue\n"
                  "out_time=00:00:00.100000\nprogress=continue\nframe=10\nprogress=end");
        const QString folder = folderWith({u"a.mp4"_s, u"b.mp4"_s});
        TranscodeViewModel model;
        TraceCapture trace(model);
        model.setToolLocator(ToolLocator(tools.path()));
        model.setSelectedCodec(u"AV1 (软件编码)"_s);
        list(model, folder, {u"a.mp4"_s, u"b.mp4"_s});
        QList<double> progress;
        bool secondFileWaitedForItsOwnTime = false;
        connect(&model, &TranscodeViewModel::transcodeProgressChanged, this, [&] {
            progress << model.transcodeProgress();
            // The second file is measured from its own first time line, not the first file's.
            if (model.transcodeProgress() == 0.75)
                secondFileWaitedForItsOwnTime =
                    model.ffmpegLog().endsWith(u"speed=2.36x\nprogress=continue\n"_s);
        });

        QCOMPARE(run(model), RunOutcome::Completed);
        // Per file half way, then its end; 1.0 at completion.
        QCOMPARE(progress, (QList<double>{0.25, 0.5, 0.75, 1.0}));
        QVERIFY(secondFileWaitedForItsOwnTime);
        QCOMPARE(model.currentFrame(), 10);
        QCOMPARE(model.currentFPS(), 29.97);
        QCOMPARE(model.currentBitrate(), 1.2345);
        QCOMPARE(model.currentSpeed(), 2.36);

        const QString command = tools.filePath(u"ffmpeg"_s) + u" -i "_s + folder +
                                u"/a.mp4 -y -progress pipe:1 -c:v libsvtav1 -b:v 10000k -preset 8 "
                                "-svtav1-params tune=0:fast-decode=1 -pix_fmt yuv420p -strict "
                                "experimental -f mp4 -c:a aac "_s +
                                folder + u"/已转码_AV1 (软件编码)/.a.mp4.partial"_s;
        const QString block = u"frame=5\nfps=29.97\nbitrate=1234.5kbits/s\nspeed=2.36x\n"
                              "progress=continue\nout_time=00:00:00.100000\nprogress=continue\n"
                              "frame=10\nprogress=end\n"_s;
        QVERIFY2(model.ffmpegLog().startsWith(u"\n============= FFmpeg Command =============\n"_s +
                                              command + u"\n"_s + QString(41, u'=') + u"\n"_s +
                                              block),
                 qPrintable(model.ffmpegLog()));
        const int banner = trace.lines().indexOf(u"============= FFmpeg Command ============="_s);
        QCOMPARE(trace.lines().at(banner + 1), command);
        QCOMPARE(trace.lines().at(banner + 2), QString(41, u'='));
    }

    void aFailingFileEndsTheRun()
    {
        QTemporaryDir tools;
        fakeTools(tools);
        writeFile(tools.filePath(u"fail_for"_s), "/b.mp4\n");
        writeFile(tools.filePath(u"status"_s), "1\n");
        writeFile(tools.filePath(u"stderr"_s),
                  "ffmpeg version 5.1\n[aac @ 0x1] Unknown encoder 'libfoo'\n\n");
        const QString folder = folderWith({u"a.mp4"_s, u"b.mp4"_s, u"c.mp4"_s});
        const QByteArray before = digest(folder + u"/b.mp4"_s);
        TranscodeViewModel model;
        TraceCapture trace(model);
        model.setToolLocator(ToolLocator(tools.path()));
        model.setSelectedCodec(u"HEVC (软件编码)"_s);
        list(model, folder, {u"a.mp4"_s, u"b.mp4"_s, u"c.mp4"_s});

        QCOMPARE(run(model), RunOutcome::Failed);
        QCOMPARE(model.isTranscoding(), false);
        QCOMPARE(model.transcodeCompleted(), false);
        QCOMPARE(model.currentFileIndex(), 2);
        QCOMPARE(model.currentFileName(), u"b.mp4"_s);
        QCOMPARE(model.lastOutputDirectory(), QString());
        QVERIFY(trace.lines().contains(
            u"转码错误: The operation couldn’t be completed. (FFmpegError error 1.)"_s));
        QVERIFY(trace.lines().contains(u"FFmpeg: [aac @ 0x1] Unknown encoder 'libfoo'"_s));
        QCOMPARE(model.lastError(),
                 u"b.mp4: ffmpeg 转码失败（退出代码 1）: [aac @ 0x1] Unknown encoder 'libfoo'"_s);
        // c.mp4 was never started; a.mp4's result stays; b.mp4 left nothing behind.
        QCOMPARE(calls(tools).size(), 2);
        QCOMPARE(filesBelow(folder), (QStringList{u"a.mp4"_s, u"b.mp4"_s, u"c.mp4"_s,
                                                  u"已转码_HEVC (软件编码)/a.mp4"_s}));
        QCOMPARE(digest(folder + u"/b.mp4"_s), before);
    }

    void namesakesFromTwoFoldersGiveTwoOutputs()
    {
        const QString folder = folderWith({u"A/x.mov"_s, u"B/x.mp4"_s});
        TranscodeViewModel model;
        TraceCapture trace(model);
        model.setSelectedCodec(u"H.264 (软件编码)"_s);
        list(model, folder, {u"A/x.mov"_s, u"B/x.mp4"_s});
        QCOMPARE(run(model), RunOutcome::Completed);
        QCOMPARE(filesBelow(folder), sorted({u"A/x.mov"_s, u"A/已转码_H.264 (软件编码)/x (2).mp4"_s,
                                             u"A/已转码_H.264 (软件编码)/x.mp4"_s, u"B/x.mp4"_s}));
    }

    void overwriteReplacesSourcesAndKeepsOriginalsInTheTrash()
    {
        const QString folder = folderWith({u"a.mp4"_s, u"片段 b.mov"_s});
        const QByteArray original = digest(folder + u"/a.mp4"_s);
        QVERIFY(QDir::tempPath().startsWith(m_media.path()));
        TranscodeViewModel model;
        TraceCapture trace(model);
        model.setSelectedCodec(u"HEVC (软件编码)"_s);
        model.setOverwriteOriginal(true);
        list(model, folder, {u"a.mp4"_s, u"片段 b.mov"_s});

        QCOMPARE(run(model), RunOutcome::Completed);
        QCOMPARE(model.lastOutputDirectory(), QString());
        QCOMPARE(filesBelow(folder), (QStringList{u"a.mp4"_s, u"片段 b.mov"_s}));
        QCOMPARE(probe(folder + u"/a.mp4"_s).codec, u"hevc"_s);
        QCOMPARE(probe(folder + u"/片段 b.mov"_s).codec, u"hevc"_s);
        const QString trash = m_media.filePath(u"data/Trash/files/"_s);
        QCOMPARE(digest(trash + u"a.mp4"_s), original);
        QVERIFY(QFile::exists(trash + u"片段 b.mov"_s));
        QCOMPARE(QDir::temp().entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void overwriteNeverReplacesWithABrokenResult()
    {
        // ffmpeg says it succeeded but wrote no video: the check catches it.
        QTemporaryDir tools;
        fakeTools(tools);
        const QString folder = folderWith({u"a.mp4"_s});
        const QByteArray original = digest(folder + u"/a.mp4"_s);
        TranscodeViewModel model;
        TraceCapture trace(model);
        model.setToolLocator(ToolLocator(tools.path()));
        model.setSelectedCodec(u"H.264 (软件编码)"_s);
        model.setOverwriteOriginal(true);
        list(model, folder, {u"a.mp4"_s});
        QCOMPARE(run(model), RunOutcome::Failed);
        QCOMPARE(digest(folder + u"/a.mp4"_s), original);
        QCOMPARE(filesBelow(folder), QStringList{u"a.mp4"_s});
        QVERIFY2(model.lastError().contains(u"原文件未改动"_s), qPrintable(model.lastError()));
    }

    void cancelStopsFFmpegAndLeavesNothing()
    {
        QTemporaryDir tools;
        fakeTools(tools);
        writeFile(tools.filePath(u"hang"_s), "");
        writeFile(tools.filePath(u"progress"_s), "out_time=00:00:00.100000\n");
        const QString folder = folderWith({u"a.mp4"_s, u"b.mp4"_s});
        const QByteArray original = digest(folder + u"/a.mp4"_s);
        TranscodeViewModel model;
        TraceCapture trace(model);
        model.setToolLocator(ToolLocator(tools.path()));
        model.setSelectedCodec(u"H.264 (软件编码)"_s);
        model.setOverwriteOriginal(true);
        list(model, folder, {u"a.mp4"_s, u"b.mp4"_s});

        QSignalSpy finished(&model, &TranscodeViewModel::runFinished);
        model.startTranscoding();
        // Wait until ffmpeg is at work on the first file, its partial output written.
        QTRY_VERIFY(QFile::exists(folder + u"/.a.mp4.partial"_s));
        QTRY_COMPARE(model.transcodeProgress(), 0.25);
        model.cancelTranscoding();
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.first().first().value<RunOutcome>(), RunOutcome::Cancelled);
        QCOMPARE(model.isTranscoding(), false);
        QCOMPARE(model.transcodeCompleted(), false);
        QVERIFY(trace.lines().contains(u"转码已取消"_s));
        QCOMPARE(filesBelow(folder), (QStringList{u"a.mp4"_s, u"b.mp4"_s}));
        QCOMPARE(digest(folder + u"/a.mp4"_s), original);
        QCOMPARE(calls(tools).size(), 1);
    }

    void destroyingTheModelStopsTheRun()
    {
        QTemporaryDir tools;
        fakeTools(tools);
        writeFile(tools.filePath(u"hang"_s), "");
        const QString folder = folderWith({u"a.mp4"_s});
        auto model = std::make_unique<TranscodeViewModel>();
        TraceCapture trace(*model);
        model->setToolLocator(ToolLocator(tools.path()));
        model->setSelectedCodec(u"H.264 (软件编码)"_s);
        list(*model, folder, {u"a.mp4"_s});
        model->startTranscoding();
        QTRY_VERIFY(QFile::exists(tools.filePath(u"pid"_s)));
        model.reset();
        QCOMPARE(filesBelow(folder), QStringList{u"a.mp4"_s});
        QVERIFY(trace.lines().contains(u"转码已取消"_s));
        // The stand-in, still waiting when the model went, is gone.
        QFile pid(tools.filePath(u"pid"_s));
        QVERIFY(pid.open(QIODevice::ReadOnly));
        QCOMPARE(::kill(static_cast<pid_t>(pid.readAll().trimmed().toLongLong()), 0), -1);
    }

    void unwritableBitrateRefusesTheRun()
    {
        const QString folder = folderWith({u"a.mp4"_s});
        TranscodeViewModel model;
        TraceCapture trace(model);
        model.setSelectedCodec(u"H.264 (软件编码)"_s);
        model.setSelectedBitrate(qInf());
        list(model, folder, {u"a.mp4"_s});
        model.startTranscoding();
        QCOMPARE(model.isTranscoding(), false);
        QVERIFY(model.lastError().contains(u"码率无效"_s));
        QVERIFY(trace.lines().last().startsWith(u"转码错误: 码率无效"_s));
        QTest::qWait(50);
        QCOMPARE(filesBelow(folder), QStringList{u"a.mp4"_s});
        QCOMPARE(QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
    }

    void anEmptyListStartsNothing()
    {
        TranscodeViewModel model;
        QSignalSpy running(&model, &TranscodeViewModel::isTranscodingChanged);
        model.startTranscoding();
        QTest::qWait(20);
        QCOMPARE(running.size(), 0);
        QCOMPARE(model.totalFiles(), 0);
    }

    void missingFFmpeg()
    {
        QTemporaryDir resources;
        QTemporaryDir emptyPath;
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", emptyPath.path().toUtf8());
        const QString folder = folderWith({u"a.mp4"_s});
        TranscodeViewModel model;
        TraceCapture trace(model);
        model.setToolLocator(ToolLocator(resources.path()));
        list(model, folder, {u"a.mp4"_s});
        const RunOutcome outcome = run(model);
        qputenv("PATH", oldPath);
        QCOMPARE(outcome, RunOutcome::Failed);
        QVERIFY(trace.lines().contains(u"转码错误: FFmpeg not found"_s));
        QVERIFY(!trace.text().contains(u"FFmpeg Command"_s));
        QVERIFY(model.lastError().startsWith(u"a.mp4: 找不到 ffmpeg"_s));
        QCOMPARE(model.ffmpegLog(), QString());
        QCOMPARE(filesBelow(folder), QStringList{u"a.mp4"_s});
    }

    void alphaRouteThroughAnIntermediatePass()
    {
        QTemporaryDir tools;
        const QString folder = folderWith({u"a.mp4"_s});
        const AlphaRun result =
            runAlphaRoute(tools, folder, u"a.mp4"_s, "out_time=00:00:00.100000\nprogress=end\n");
        const QStringList passes = TestBatchTranscoder::passes(tools);
        QCOMPARE(passes.size(), 3);
        const QString source = folder + u"/a.mp4"_s;
        QVERIFY2(passes[0].startsWith(u"-i "_s + source +
                                      u" -y -progress pipe:1 -c:v prores_ks -profile:v 4 "
                                      "-pix_fmt bgra -f mov "_s +
                                      QDir::tempPath()),
                 qPrintable(passes[0]));
        QVERIFY2(passes[1].contains(u" -c:v prores_ks -profile:v 4444 -alpha_bits 16 -y "_s),
                 qPrintable(passes[1]));
        QVERIFY2(passes[2].contains(u" -map 0:v:0 -c:v libx265 -pix_fmt yuva420p "_s),
                 qPrintable(passes[2]));
        QVERIFY(passes[2].endsWith(u"/已转码_HEVC (硬件加速)/.a.mov.partial"_s));
        QCOMPARE(filesBelow(folder), sorted({u"a.mp4"_s, u"已转码_HEVC (硬件加速)/a.mov"_s}));
        QCOMPARE(QDir::temp().entryList(QDir::Files | QDir::Hidden), QStringList());
        // Past half way only once the intermediate file is done; then up to the end.
        QCOMPARE(result.progress, (QList<double>{0.75, 0.875, 1.0}));
        QVERIFY(result.notice.contains(u"prores_videotoolbox"_s));
    }

    void alphaRouteForAProRes4444Source()
    {
        QTemporaryDir tools;
        const QString folder = folderWith({u"a.mov"_s}, m_alphaClip);
        const AlphaRun result =
            runAlphaRoute(tools, folder, u"a.mov"_s, "out_time=00:00:00.100000\n");
        const QStringList passes = TestBatchTranscoder::passes(tools);
        QCOMPARE(passes.size(), 1);
        QVERIFY(passes[0].contains(u"-c:v libx265 -pix_fmt yuva420p"_s));
        QCOMPARE(result.progress, (QList<double>{0.5, 1.0}));
    }
};

QTEST_GUILESS_MAIN(TestBatchTranscoder)
#include "tst_batchtranscoder.moc"
