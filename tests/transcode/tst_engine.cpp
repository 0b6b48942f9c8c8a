#include "TestSupport.h"
#include "transcode/EncoderSupport.h"
#include "transcode/Encoders.h"
#include "transcode/FileLock.h"
#include "transcode/FileTranscode.h"
#include "transcode/OutputNaming.h"
#include "transcode/Trash.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <QStorageInfo>

#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace TestSupport;

Q_DECLARE_METATYPE(Clip)
Q_DECLARE_METATYPE(TranscodeSettings)

namespace {

int permissionBits(const QString &path)
{
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : -1;
}

TranscodeSettings settingsFor(const QString &codec, const QString &profile = u"422"_s,
                              bool alpha = false, const QString &rate = OriginalFrameRate)
{
    TranscodeSettings settings;
    settings.codec = codec;
    settings.container = codec.contains(u"ProRes") ? u"mov"_s : u"mp4"_s;
    settings.proResProfile = profile;
    settings.enableAlpha = alpha;
    settings.frameRate = rate;
    return settings;
}

QString streamSummary(const VideoFile &file)
{
    return u"%1x%2 %3 %4 audio %5 other %6"_s.arg(file.width)
        .arg(file.height)
        .arg(file.codec.section(u' ', 0, 0), file.colorFormat)
        .arg(file.audioStreams)
        .arg(file.otherStreams);
}

// The settings a preset leaves, with the software encoder of its family.
TranscodeSettings presetSettings(const QString &name)
{
    for (const TranscodePreset &preset : Choices::makePresets()) {
        if (preset.name != name)
            continue;
        TranscodeSettings settings =
            settingsFor(QString(preset.codec).replace(u"硬件加速"_s, u"软件编码"_s),
                        preset.proResProfile, preset.enableAlpha);
        settings.container = preset.container;
        settings.bitrate = preset.bitrate;
        settings.resolution = preset.resolution;
        return settings;
    }
    qFatal("no preset %s", qPrintable(name));
}

// What an editor and a viewer see of a file, read to its end: "size" as shown, "shape" of its
// pixels, "frames", "seconds" of video, "aspect" shown, tags, "brand", "timecode", "chapters",
// "audio" layouts, colour "primaries" and "range".
QMap<QString, QString> mediaFacts(const QString &path)
{
    QProcess ffprobe;
    ffprobe.start(u"ffprobe"_s,
                  {u"-v"_s, u"error"_s, u"-count_packets"_s, u"-show_format"_s, u"-show_streams"_s,
                   u"-show_chapters"_s, u"-of"_s, u"json"_s, path});
    ffprobe.waitForFinished(30000);
    const QJsonObject json = QJsonDocument::fromJson(ffprobe.readAllStandardOutput()).object();
    QMap<QString, QString> facts;
    QStringList audio;
    for (const QJsonValue &value : json.value(u"streams"_s).toArray()) {
        const QJsonObject stream = value.toObject();
        const QString timecode = stream.value(u"tags"_s).toObject().value(u"timecode"_s).toString();
        if (!timecode.isEmpty())
            facts.insert(u"timecode"_s, timecode);
        if (stream.value(u"codec_type"_s) == u"audio"_s)
            audio << stream.value(u"channel_layout"_s).toString();
        if (stream.value(u"codec_type"_s) != u"video"_s || facts.contains(u"size"_s))
            continue;
        const QJsonArray side = stream.value(u"side_data_list"_s).toArray();
        const bool turned =
            !side.isEmpty() && side.first().toObject().value(u"rotation"_s).toInt() % 180;
        const int width = stream.value(u"width"_s).toInt(),
                  height = stream.value(u"height"_s).toInt();
        QStringList shape = stream.value(u"sample_aspect_ratio"_s).toString(u"1:1"_s).split(u':');
        if (turned)
            std::swap(shape[0], shape[1]);
        const QSize shown = turned ? QSize(height, width) : QSize(width, height);
        facts.insert(u"size"_s, u"%1x%2"_s.arg(shown.width()).arg(shown.height()));
        facts.insert(u"shape"_s, shape.join(u':'));
        facts.insert(u"aspect"_s, QString::number(shown.width() * shape[0].toDouble() /
                                                  shape[1].toDouble() / shown.height()));
        facts.insert(u"frames"_s, stream.value(u"nb_read_packets"_s).toString());
        facts.insert(u"seconds"_s,
                     QString::number(stream.value(u"duration"_s).toString().toDouble(), 'f', 2));
        facts.insert(u"primaries"_s, stream.value(u"color_primaries"_s).toString());
        facts.insert(u"range"_s, stream.value(u"color_range"_s).toString());
    }
    facts.insert(u"audio"_s, audio.join(u' '));
    const QJsonObject tags = json.value(u"format"_s).toObject().value(u"tags"_s).toObject();
    facts.insert(u"brand"_s, tags.value(u"major_brand"_s).toString());
    facts.insert(u"created"_s, tags.value(u"creation_time"_s).toString().left(19));
    facts.insert(
        u"camera"_s,
        (tags.value(u"make"_s).toString() + u' ' + tags.value(u"model"_s).toString()).trimmed());
    facts.insert(u"chapters"_s, QString::number(json.value(u"chapters"_s).toArray().size()));
    return facts;
}

// How closely the first picture of `output` shows that of `source`, in dB of PSNR, each read
// as its tags say.
double likeness(const QString &output, const QString &source)
{
    QProcess ffmpeg;
    ffmpeg.start(u"ffmpeg"_s,
                 {u"-v"_s, u"error"_s, u"-i"_s, output, u"-i"_s, source, u"-filter_complex"_s,
                  u"[1:v][0:v]scale2ref[s][o];[s]format=rgb24[a];[o]format=rgb24[b];"
                  "[a][b]psnr=stats_file=-"_s,
                  u"-frames:v"_s, u"1"_s, u"-f"_s, u"null"_s, u"-"_s});
    ffmpeg.waitForFinished(30000);
    const QString stats = QString::fromUtf8(ffmpeg.readAllStandardOutput());
    return stats.section(u"psnr_avg:"_s, 1).section(u' ', 0, 0).toDouble();
}

qint64 modifiedTime(const QString &path)
{
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0
               ? qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec
               : -1;
}

bool setAttribute(const QString &path, const char *name, const QByteArray &value)
{
    return ::setxattr(QFile::encodeName(path).constData(), name, value.constData(),
                      static_cast<size_t>(value.size()), 0) == 0;
}

// A small file system of its own at `path` while it lives; only root may mount one.
struct SmallVolume
{
    QString path;
    bool mounted = false;

    explicit SmallVolume(const QString &where)
        : path(where)
    {
        QDir().mkpath(path);
        mounted = ::geteuid() == 0 &&
                  QProcess::execute(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=300k"_s,
                                                 u"tmpfs"_s, path}) == 0;
    }
    ~SmallVolume()
    {
        if (mounted)
            QProcess::execute(u"umount"_s, {u"-l"_s, path});
    }
};

bool alive(qint64 pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) == 0 &&
           !contents(u"/proc/%1/stat"_s.arg(pid)).contains(") Z ");
}

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<EnvironmentGuard> m_trash;
    std::unique_ptr<EnvironmentGuard> m_temp;
    int m_folders = 0;

    // A fresh folder with copies of `sources` under their names there.
    QString folderWith(const QList<std::pair<QString, QString>> &sources)
    {
        const QString folder = m_dir.filePath(u"run%1"_s.arg(++m_folders));
        for (const auto &[name, from] : sources)
            copyTo(from, folder + u'/' + name);
        return folder;
    }

    QList<VideoFile> listed(const QString &folder, const QStringList &names)
    {
        QList<VideoFile> files;
        for (const QString &name : names)
            files << probed(folder + u'/' + name);
        return files;
    }

private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<RunSummary>();
        // Replaced sources go to a Trash of the test's own, intermediates to a folder of its own.
        m_trash =
            std::make_unique<EnvironmentGuard>("XDG_DATA_HOME", m_dir.filePath(u"data"_s).toUtf8());
        QDir().mkpath(m_dir.filePath(u"tmp"_s));
        m_temp = std::make_unique<EnvironmentGuard>("TMPDIR", m_dir.filePath(u"tmp"_s).toUtf8());
    }

    // Real ffmpeg on files such as cameras and phones make: every output plays.
    void outputsThatPlay_data()
    {
        QTest::addColumn<Clip>("clip");
        QTest::addColumn<TranscodeSettings>("settings");
        QTest::addColumn<QString>("streams");
        QTest::newRow("odd mpeg-2 to h264") << Clip::Odd << settingsFor(Codec::H264Software)
                                            << u"160x90 h264 yuv420p audio 1 other 0"_s;
        QTest::newRow("10-bit hevc to h264, no vt")
            << Clip::TenBit << settingsFor(Codec::H264Hardware)
            << u"160x120 h264 yuv420p audio 1 other 0"_s;
        QTest::newRow("4:4:4 to hevc") << Clip::Yuv444 << settingsFor(Codec::HevcSoftware)
                                       << u"160x120 hevc yuv420p audio 0 other 0"_s;
        QTest::newRow("turned odd to hevc") << Clip::Rotated << settingsFor(Codec::HevcHardware)
                                            << u"90x160 hevc yuv420p audio 0 other 0"_s;
        QTest::newRow("two tracks and subtitles")
            << Clip::TwoAudio << settingsFor(Codec::H264Software)
            << u"160x120 h264 yuv420p audio 2 other 0"_s;
        QTest::newRow("4444 to 422 HQ")
            << Clip::Alpha << settingsFor(Codec::ProResSoftware, u"422 HQ"_s, true)
            << u"160x120 prores yuv422p10le audio 0 other 0"_s;
        QTest::newRow("4444 keeps alpha")
            << Clip::Alpha << settingsFor(Codec::ProResHardware, u"4444"_s, true)
            << u"160x120 prores yuva444p12le audio 0 other 0"_s;
        QTest::newRow("4444 without alpha")
            << Clip::Alpha << settingsFor(Codec::ProResSoftware, u"4444"_s)
            << u"160x120 prores yuv444p12le audio 0 other 0"_s;
        QTest::newRow("vp9 to av1 at 23.98")
            << Clip::Vp9 << settingsFor(Codec::Av1Software, {}, false, u"23.98"_s)
            << u"160x120 av1 yuv420p audio 1 other 0"_s;
    }

    void outputsThatPlay()
    {
        QFETCH(Clip, clip);
        QFETCH(TranscodeSettings, settings);
        const QString name = u"in."_s + QFileInfo(TestSupport::clip(clip)).suffix();
        const QString folder = folderWith({{name, TestSupport::clip(clip)}});
        const VideoFile source = probed(folder + u'/' + name);
        const EngineRun run = runEngine(settings, {source});
        QVERIFY2(run.only().status == FileOutcome::Status::Converted,
                 qPrintable(run.only().reason));
        const VideoFile output = probed(run.only().outputPath);
        QTEST(streamSummary(output), "streams");
        const double shown = static_cast<double>(source.shownWidth()) / source.shownHeight();
        const double aspect = [&] {
            QProcess ffprobe;
            ffprobe.start(u"ffprobe"_s, {u"-v"_s, u"error"_s, u"-select_streams"_s, u"v:0"_s,
                                         u"-show_entries"_s, u"stream=display_aspect_ratio"_s,
                                         u"-of"_s, u"csv=p=0"_s, run.only().outputPath});
            ffprobe.waitForFinished();
            const QStringList ratio =
                QString::fromUtf8(ffprobe.readAllStandardOutput()).trimmed().split(u':');
            return ratio.size() == 2 ? ratio[0].toDouble() / ratio[1].toDouble()
                                     : double(output.width) / output.height;
        }();
        QVERIFY2(std::fabs(aspect / shown - 1) < 0.01, qPrintable(QString::number(aspect)));
        if (settings.frameRate == u"23.98")
            QCOMPARE(output.frameRate, u"23.98"_s);
        QCOMPARE(run.summary.converted, 1);
        QCOMPARE(filesBelow(folder),
                 (QStringList{name, QDir(folder).relativeFilePath(run.only().outputPath)}));
        QCOMPARE(QDir(m_dir.filePath(u"tmp"_s)).entryList(QDir::Files | QDir::Hidden),
                 QStringList());
    }

    // Proxies an editor relinks: the picture fitted into the box with its shape and square
    // pixels, never enlarged; the source's frames; its tags, timecode, chapters, colour and
    // audio layout. Every output shows the source's picture shape within 1%.
    void proxiesKeepWhatTheSourceCarried_data()
    {
        QTest::addColumn<Clip>("clip");
        QTest::addColumn<QString>("preset");
        QTest::addColumn<QString>("facts"); // of the output, as `mediaFacts` names them
        const QString proxy = u"H264代理"_s, proRes = u"ProRes代理"_s, plain = u"常规H264"_s;
        const QString tagged = u"frames=10, created=2020-01-02T03:04:05, camera=Canon EOS R5, "
                               "timecode=01:00:00:00, chapters=2, audio=5.1, primaries=bt709"_s;
        QTest::newRow("4:3 square, proxy")
            << Clip::Square43 << proxy << u"size=960x720, frames=3"_s;
        QTest::newRow("4:3 square, prores proxy")
            << Clip::Square43 << proRes << u"size=960x720, shape=1:1, frames=3"_s;
        QTest::newRow("4:3 square, regular") << Clip::Square43 << plain << u"size=1440x1080"_s;
        QTest::newRow("no recorded shape") << Clip::NoShape << proxy << u"size=320x240, frames=3"_s;
        QTest::newRow("anamorphic, proxy")
            << Clip::Anamorphic << proxy << u"size=654x480, shape=1:1, frames=3"_s;
        QTest::newRow("anamorphic, prores proxy")
            << Clip::Anamorphic << proRes << u"size=654x480, shape=1:1"_s;
        QTest::newRow("anamorphic, regular")
            << Clip::Anamorphic << plain << u"size=720x480, shape=10:11"_s;
        QTest::newRow("portrait, proxy") << Clip::Portrait << proxy << u"size=404x720, frames=3"_s;
        QTest::newRow("portrait, regular") << Clip::Portrait << plain << u"size=720x1280"_s;
        QTest::newRow("smaller than the box")
            << Clip::Plain << proxy << u"size=160x120, frames=10"_s;
        QTest::newRow("variable rate") << Clip::Variable << proxy << u"frames=8, seconds=0.40"_s;
        QTest::newRow("dropped frames, proxy")
            << Clip::Gaps << proxy << u"frames=15, seconds=0.60"_s;
        QTest::newRow("dropped frames, prores proxy") << Clip::Gaps << proRes << u"frames=15"_s;
        QTest::newRow("packed B-frames, proxy")
            << Clip::Packed << proxy << u"frames=10, seconds=0.40"_s;
        QTest::newRow("23.976 Matroska, regular") << Clip::Film << plain << u"frames=10"_s;
        // Full range where the stream can say so, its values kept; ProRes has no such flag.
        QTest::newRow("full range, proxy") << Clip::FullRange << proxy << u"range=pc"_s;
        QTest::newRow("full range, regular")
            << Clip::FullRange << plain << u"range=pc, picture=source"_s;
        QTest::newRow("full range, av1") << Clip::FullRange << u"AV1极致压缩"_s << u"range=pc"_s;
        QTest::newRow("full range, prores proxy") << Clip::FullRange << proRes << u"range=tv"_s;
        QTest::newRow("low rate, proxy") << Clip::LowRate << proxy << u"frames=25"_s;
        // Written as an MP4, a QuickTime file's tags keep their values but not its brand.
        QTest::newRow("tags, proxy") << Clip::Tagged << proxy << tagged + u", brand=isom"_s;
        QTest::newRow("tags, prores proxy") << Clip::Tagged << proRes << tagged;
        QTest::newRow("tags, regular") << Clip::Tagged << plain << tagged + u", brand=isom"_s;
    }

    void proxiesKeepWhatTheSourceCarried()
    {
        const QString proxy = u"H264代理"_s;
        QFETCH(Clip, clip);
        QFETCH(QString, preset);
        const QString name = u"in."_s + QFileInfo(TestSupport::clip(clip)).suffix();
        const QString folder = folderWith({{name, TestSupport::clip(clip)}});
        const EngineRun run = runEngine(presetSettings(preset), listed(folder, {name}));
        QVERIFY2(run.only().status == FileOutcome::Status::Converted,
                 qPrintable(run.only().reason));
        QMap<QString, QString> output = mediaFacts(run.only().outputPath);
        QFETCH(QString, facts);
        // The first picture as the source's, each read as its range says: a range misread
        // costs 20 dB and more.
        if (facts.contains(u"picture="_s)) {
            const double psnr = likeness(run.only().outputPath, TestSupport::clip(clip));
            output.insert(u"picture"_s, psnr > 45 ? u"source"_s : QString::number(psnr));
        }
        for (const QString &fact : facts.split(u", "_s))
            QCOMPARE(fact.section(u'=', 0, 0) + u'=' + output.value(fact.section(u'=', 0, 0)),
                     fact);
        const double shown = mediaFacts(TestSupport::clip(clip)).value(u"aspect"_s).toDouble();
        QVERIFY2(std::fabs(output.value(u"aspect"_s).toDouble() / shown - 1) < 0.01,
                 qPrintable(output.value(u"aspect"_s)));
        // A proxy that spends a bitrate never takes more bytes than what it stands for.
        if (preset == proxy)
            QVERIFY2(QFileInfo(run.only().outputPath).size() <=
                         QFileInfo(TestSupport::clip(clip)).size(),
                     qPrintable(QString::number(QFileInfo(run.only().outputPath).size())));
    }

    // A result cut short whose index still claims its whole length is never kept as done: a
    // resumed run converts the file again.
    void anOutputCutShortIsNotKeptAsDone()
    {
        const QString folder = folderWith({{u"a.mp4"_s, clip(Clip::Plain)}});
        const QList<VideoFile> files = listed(folder, {u"a.mp4"_s});
        const TranscodeSettings settings = settingsFor(Codec::H264Software);
        const QString output = runEngine(settings, files).only().outputPath;
        const QByteArray whole = contents(output);
        QFile::remove(output);
        writeFile(output, whole.left(whole.size() / 2));
        const EngineRun again =
            runEngine(settings, files, RunOptions{1, {}, ExistingOutput::Skip, {}, {}});
        QCOMPARE((QList<int>{again.summary.converted, again.summary.skipped}), (QList<int>{1, 0}));
        QCOMPARE(mediaFacts(output).value(u"frames"_s), u"10"_s);
    }

    // An ffprobe that cannot tell an output's length: the result never replaces its source.
    void anOutputOfUnknownLengthNeverReplacesItsSource()
    {
        QTemporaryDir tools;
        writeTool(tools.path(), u"ffprobe"_s,
                  "echo '{\"streams\": [{\"codec_type\": \"video\", \"width\": 160, "
                  "\"height\": 120}, {\"codec_type\": \"audio\"}], \"format\": {}}'\n");
        const QString folder = folderWith({{u"a.mp4"_s, clip(Clip::Plain)}});
        VideoFile source = probed(folder + u"/a.mp4"_s);
        TranscodeSettings settings = settingsFor(Codec::H264Software);
        settings.overwriteOriginal = true;
        const EngineRun run = runEngine(settings, {source}, {}, tools.path());
        QCOMPARE(run.only().status, FileOutcome::Status::Failed);
        QVERIFY2(run.only().reason.contains(u"长度无法确定"_s), qPrintable(run.only().reason));
        QCOMPARE(contents(folder + u"/a.mp4"_s), contents(clip(Clip::Plain)));
        QCOMPARE(filesBelow(folder), QStringList{u"a.mp4"_s});
    }

    // A source whose header tells no length (a recording streamed to disk) is read to its end
    // to learn it: a result of its whole length replaces it, a short one does not.
    void aSourceOfUnknownLengthIsMeasured_data()
    {
        QTest::addColumn<bool>("cutShort");
        QTest::newRow("whole") << false;
        QTest::newRow("cut short") << true;
    }

    void aSourceOfUnknownLengthIsMeasured()
    {
        QFETCH(bool, cutShort);
        QTemporaryDir tools;
        if (cutShort) {
            fakeFFmpeg(tools.path());
            writeFile(tools.filePath(u"result"_s), contents(clip(Clip::Plain)));
        }
        const QString folder = folderWith({{u"a.mkv"_s, clip(Clip::Streamed)}});
        const QList<VideoFile> files = listed(folder, {u"a.mkv"_s});
        QCOMPARE(files.first().duration, 0.0);
        TranscodeSettings settings = settingsFor(Codec::H264Software);
        settings.overwriteOriginal = true;
        const EngineRun run = runEngine(settings, files, {}, cutShort ? tools.path() : QString());
        if (!cutShort) {
            QVERIFY2(run.only().status == FileOutcome::Status::Converted,
                     qPrintable(run.only().reason));
            QCOMPARE(filesBelow(folder), QStringList{u"a.mp4"_s});
            return;
        }
        QCOMPARE(run.only().status, FileOutcome::Status::Failed);
        QVERIFY2(run.only().reason.contains(u"转码结果时长 0.40 秒，与原文件的 1.9"_s),
                 qPrintable(run.only().reason));
        QCOMPARE(contents(folder + u"/a.mkv"_s), contents(clip(Clip::Streamed)));
    }

    // ffmpeg succeeds on a file cut short; the check does not let it pass for done.
    void aShortResultIsNotPutInPlace()
    {
        const QString folder = folderWith({{u"cut.mp4"_s, clip(Clip::Truncated)}});
        const EngineRun run =
            runEngine(settingsFor(Codec::H264Software), listed(folder, {u"cut.mp4"_s}));
        QCOMPARE(run.only().status, FileOutcome::Status::Failed);
        QVERIFY2(run.only().reason.contains(u"与原文件的 4.00 秒不符"_s),
                 qPrintable(run.only().reason));
        QCOMPARE(filesBelow(folder), QStringList{u"cut.mp4"_s});
        QCOMPARE(run.summary.outputDirectory, QString()); // the empty folder went too
    }

    void aFailedFileDoesNotStopTheRun()
    {
        QTemporaryDir tools;
        fakeFFmpeg(tools.path());
        writeFile(tools.filePath(u"result"_s), contents(clip(Clip::Plain)));
        writeFile(tools.filePath(u"fail_for"_s), "/b.mp4\n");
        writeFile(tools.filePath(u"status"_s), "1\n");
        writeFile(tools.filePath(u"stderr"_s),
                  "[libx264 @ 0x1] height not divisible by 2 (720x405)\n"
                  "Conversion failed!\n");
        const QString folder = folderWith({{u"a.mp4"_s, clip(Clip::Plain)},
                                           {u"b.mp4"_s, clip(Clip::Plain)},
                                           {u"c.mp4"_s, clip(Clip::Plain)}});
        const EngineRun run =
            runEngine(settingsFor(Codec::HevcSoftware),
                      listed(folder, {u"a.mp4"_s, u"b.mp4"_s, u"c.mp4"_s}), {}, tools.path());
        QCOMPARE(run.summary.outcome, RunOutcome::Completed);
        QCOMPARE((QList<int>{run.summary.converted, run.summary.failed}), (QList<int>{2, 1}));
        QCOMPARE(run.summary.failures,
                 (QList<FileFailureNote>{{u"b.mp4"_s, u"ffmpeg 转码失败（退出代码 1）: height not "
                                                      "divisible by 2 (720x405)"_s}}));
        QVERIFY(run.trace.contains(
            u"转码错误: The operation couldn’t be completed. (FFmpegError error 1.)"_s));
        QVERIFY(run.trace.contains(u"FFmpeg: Conversion failed!"_s));
        QCOMPARE(filesBelow(folder),
                 (QStringList{u"a.mp4"_s, u"b.mp4"_s, u"c.mp4"_s, u"已转码_HEVC (软件编码)/a.mp4"_s,
                              u"已转码_HEVC (软件编码)/c.mp4"_s}));
        // The log: each command, and what ffmpeg said.
        QVERIFY(run.log.startsWith(u"\n============= FFmpeg Command =============\n"_s +
                                   tools.filePath(u"ffmpeg"_s) + u" -i "_s + folder +
                                   u"/a.mp4 -y "_s));
        QVERIFY(run.log.contains(u"[libx264 @ 0x1] height not divisible by 2 (720x405)\n"_s));
    }

    void progressFollowsFFmpeg()
    {
        QTemporaryDir tools;
        fakeFFmpeg(tools.path());
        writeFile(tools.filePath(u"result"_s), contents(clip(Clip::Plain)));
        writeFile(tools.filePath(u"progress"_s), "frame=5\nfps=29.97\nprogress=continue\n"
                                                 "out_time=00:00:00.200000\nprogress=end\n");
        const QString folder =
            folderWith({{u"a.mp4"_s, clip(Clip::Plain)}, {u"b.mp4"_s, clip(Clip::Plain)}});
        const EngineRun run = runEngine(settingsFor(Codec::Av1Software),
                                        listed(folder, {u"a.mp4"_s, u"b.mp4"_s}), {}, tools.path());
        // The second file is measured from its own first time line, not the first file's.
        QCOMPARE(run.fileProgress, (QList<double>{0.5, 1.0, 0.5, 1.0}));
        QCOMPARE(run.summary.converted, 2);
    }

    void overwriteKeepsOriginalsInTheTrashAndTheirPermissions()
    {
        const QString longName = QString(250, u'x') + u".webm"_s; // 255 bytes, legal
        const QString folder = folderWith({{u"a.mp4"_s, clip(Clip::Plain)},
                                           {u"片段 b.webm"_s, clip(Clip::Vp9)},
                                           {longName, clip(Clip::Vp9)}});
        QFile::setPermissions(folder + u"/a.mp4"_s,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        const QByteArray original = contents(folder + u"/a.mp4"_s);
        TranscodeSettings settings = settingsFor(Codec::HevcSoftware);
        settings.overwriteOriginal = true;
        // A resumed run does not take the originals for its own results.
        RunOptions resumed;
        resumed.existingOutput = ExistingOutput::Skip;
        const EngineRun run =
            runEngine(settings, listed(folder, {u"a.mp4"_s, u"片段 b.webm"_s, longName}), resumed);
        QCOMPARE(run.summary.converted, 3);

        const QString shortened = OutputNaming::fittedName(QString(250, u'x'), {}, u"mp4"_s);
        QCOMPARE(filesBelow(folder), (QStringList{u"a.mp4"_s, shortened, u"片段 b.mp4"_s}));
        QCOMPARE(probed(folder + u"/片段 b.mp4"_s).codec.left(4), u"hevc"_s);
        QCOMPARE(permissionBits(folder + u"/a.mp4"_s), 0600);
        const QString trash = m_dir.filePath(u"data/Trash/"_s);
        // Other tests' files share the Trash; the original is there, under its name or a
        // numbered one.
        const QStringList trashed = filesBelow(trash + u"files"_s);
        QVERIFY(std::any_of(trashed.begin(), trashed.end(), [&](const QString &name) {
            return name.startsWith(u"a."_s) && contents(trash + u"files/"_s + name) == original;
        }));
        QVERIFY(QFile::exists(trash + u"info/片段 b.webm.trashinfo"_s));
        QCOMPARE(run.outcomes.at(1).result.name, u"片段 b.mp4"_s);

        // Where the original cannot go to the Trash, it stays, and the result goes.
        const EnvironmentGuard noTrash("XDG_DATA_HOME", (folder + u"/a.mp4"_s).toUtf8());
        const QString kept = folderWith({{u"c.webm"_s, clip(Clip::Vp9)}});
        QVERIFY(
            runEngine(settings, listed(kept, {u"c.webm"_s})).only().reason.endsWith(u"未改动"_s));
        QCOMPARE(filesBelow(kept), QStringList{u"c.webm"_s});
    }

    // The output folder is a link back to the folder of the inputs: every output lands beside
    // its input, none on it.
    void outputsNeverLandOnInputs()
    {
        const QString folder =
            folderWith({{u"a.mp4"_s, clip(Clip::Plain)}, {u"b.mp4"_s, clip(Clip::Plain)}});
        QVERIFY(QFile::link(folder, folder + u"/已转码_H.264 (软件编码)"_s));
        const EngineRun run =
            runEngine(settingsFor(Codec::H264Software), listed(folder, {u"a.mp4"_s, u"b.mp4"_s}));
        QCOMPARE(run.summary.converted, 2);
        QCOMPARE(contents(folder + u"/a.mp4"_s), contents(clip(Clip::Plain)));
        QCOMPARE(contents(folder + u"/b.mp4"_s), contents(clip(Clip::Plain)));
        QVERIFY(QFile::exists(folder + u"/a (2).mp4"_s) && QFile::exists(folder + u"/b (2).mp4"_s));
    }

    // Whatever someone put at the partial name first stays as it is, and nothing is written
    // through it; only a leftover of a run of ours stopped by force is ours to remove.
    void whatIsAtThePartialNameIsLeftAlone_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<bool>("overwrite");
        QTest::newRow("link in the output folder") << u"link"_s << false;
        QTest::newRow("own file in the output folder") << u"file"_s << false;
        QTest::newRow("link beside a replaced source") << u"link"_s << true;
        QTest::newRow("own file beside a replaced source") << u"file"_s << true;
        QTest::newRow("leftover of a stopped run") << u"leftover"_s << false;
    }

    void whatIsAtThePartialNameIsLeftAlone()
    {
        QFETCH(QString, planted);
        QFETCH(bool, overwrite);
        const QString folder = folderWith({{u"a.mp4"_s, clip(Clip::Plain)}});
        const QString partialFolder = overwrite ? folder : folder + u"/已转码_H.264 (软件编码)"_s;
        const QString partial = partialFolder + u"/.a.mp4.partial"_s;
        const QString victim = folder + u"-victim"_s;
        writeFile(victim, "victim");
        QFile::setPermissions(victim, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QDir().mkpath(partialFolder);
        if (planted == u"link") {
            QVERIFY(QFile::link(victim, partial));
        } else {
            writeFile(partial, planted.toUtf8());
            if (planted == u"leftover" && !setAttribute(partial, "user.quillmere.partial", "1"))
                QSKIP("no extended attributes here");
        }
        TranscodeSettings settings = settingsFor(Codec::H264Software);
        settings.overwriteOriginal = overwrite;
        const EngineRun run = runEngine(settings, listed(folder, {u"a.mp4"_s}));
        QVERIFY2(run.only().status == FileOutcome::Status::Converted,
                 qPrintable(run.only().reason));
        QCOMPARE(contents(victim), QByteArray("victim"));
        QCOMPARE(permissionBits(victim), 0600);
        QStringList left =
            QDir(partialFolder)
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        if (planted == u"leftover") {
            QCOMPARE(left, QStringList{u"a.mp4"_s});
        } else {
            QCOMPARE(left, (QStringList{u".a.mp4.partial"_s, u"a.mp4"_s}));
            if (planted == u"link")
                QCOMPARE(QFileInfo(partial).symLinkTarget(), victim);
            else
                QCOMPARE(contents(partial), QByteArray("file"));
        }
    }

    // ffmpeg is handed the files the run holds, not their names: a name pointed elsewhere
    // meanwhile, as anyone who may write the folder can, is never read or written through.
    void aNamePointedElsewhereIsNeverFollowed_data()
    {
        QTest::addColumn<QString>("meanwhile"); // %1: a private file of someone else's
        QTest::addColumn<QString>("reason");    // empty: converted from the file listed
        QTest::newRow("the partial")
            << u"p=$(readlink -f \"$last\"); mv \"$p\" \"$p.moved\"; ln -s '%1' \"$p\"\n"_s
            << u"转码结果的临时文件在转码期间被移走或替换；转码结果未保留"_s;
        QTest::newRow("the source")
            << u"mv \"$input\" \"$input.real\"; ln -s '%1' \"$input\"\n"
               "cat \"$given\" > \"$last\"; rm \"$input\"; mv \"$input.real\" \"$input\"; exit 0\n"_s
            << QString();
    }

    void aNamePointedElsewhereIsNeverFollowed()
    {
        QFETCH(QString, meanwhile);
        QFETCH(QString, reason);
        QTemporaryDir tools;
        fakeFFmpeg(tools.path());
        writeFile(tools.filePath(u"result"_s), contents(clip(Clip::Plain)));
        const QString folder = folderWith({{u"a.mp4"_s, clip(Clip::Plain)}});
        const QString secret = folder + u"-secret.mp4"_s;
        copyTo(clip(Clip::NoAudio), secret);
        writeFile(tools.filePath(u"meanwhile"_s), meanwhile.arg(secret).toUtf8());
        const EngineRun run = runEngine(settingsFor(Codec::H264Software),
                                        listed(folder, {u"a.mp4"_s}), {}, tools.path());
        QCOMPARE(contents(secret), contents(clip(Clip::NoAudio)));
        if (!reason.isEmpty()) {
            QCOMPARE(run.only().reason, reason);
            return;
        }
        QVERIFY2(run.only().status == FileOutcome::Status::Converted,
                 qPrintable(run.only().reason));
        QCOMPARE(contents(run.only().outputPath), contents(clip(Clip::Plain)));
    }

    // An output folder that is someone else's link would take the results anywhere.
    void anotherUsersLinkIsNoOutputFolder()
    {
        if (::geteuid() != 0)
            QSKIP("giving a link away needs root");
        const QString folder = folderWith({{u"a.mp4"_s, clip(Clip::Plain)}});
        const QString elsewhere = folder + u"-elsewhere"_s;
        writeFile(elsewhere + u"/kept"_s, "kept");
        const QString link = folder + u"/已转码_H.264 (软件编码)"_s;
        QVERIFY(QFile::link(elsewhere, link));
        QVERIFY(::lchown(QFile::encodeName(link).constData(), 4321, 4321) == 0);
        const EngineRun run =
            runEngine(settingsFor(Codec::H264Software), listed(folder, {u"a.mp4"_s}));
        // Refused by the plan, as the dry run is, before any file starts.
        QCOMPARE(run.summary.outcome, RunOutcome::Failed);
        QVERIFY(run.records.isEmpty());
        QVERIFY2(run.summary.reason.contains(u"其他用户建立的链接"_s),
                 qPrintable(run.summary.reason));
        QCOMPARE(filesBelow(elsewhere), QStringList{u"kept"_s});
    }

    // Outputs and partials are never more open than their source; the umask applies too. A
    // result bears its source's date.
    void privateStaysPrivate_data()
    {
        QTest::addColumn<int>("sourceMode");
        QTest::addColumn<int>("mask");
        QTest::addColumn<bool>("overwrite");
        QTest::addColumn<int>("resultMode");
        QTest::newRow("private") << 0600 << 022 << false << 0600;
        QTest::newRow("group, masked") << 0664 << 027 << false << 0640;
        QTest::newRow("everyone") << 0644 << 022 << false << 0644;
        QTest::newRow("replaced keeps its bits") << 0640 << 077 << true << 0640;
    }

    void privateStaysPrivate()
    {
        QFETCH(int, sourceMode);
        QFETCH(int, mask);
        QFETCH(bool, overwrite);
        const QString folder = folderWith({{u"a.mp4"_s, clip(Clip::Plain)}});
        const QString source = folder + u"/a.mp4"_s;
        QVERIFY(::chmod(QFile::encodeName(source).constData(), static_cast<mode_t>(sourceMode)) ==
                0);
        const timespec date[2] = {{981173106, 0}, {981173106, 123456789}};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(source).constData(), date, 0) == 0);
        TranscodeSettings settings = settingsFor(Codec::H264Software);
        settings.overwriteOriginal = overwrite;
        const QList<VideoFile> files = listed(folder, {u"a.mp4"_s});
        const mode_t before = ::umask(static_cast<mode_t>(mask));
        const EngineRun run = runEngine(settings, files);
        ::umask(before);
        QCOMPARE(run.only().status, FileOutcome::Status::Converted);
        QTEST(permissionBits(run.only().outputPath), "resultMode");
        QCOMPARE(modifiedTime(run.only().outputPath), 981173106123456789);
    }

    // Moved to the Trash, a file keeps a record any file manager restores it from.
    void trashInfoReadsAsAFileManagerReadsIt()
    {
        QTemporaryDir home;
        const EnvironmentGuard data("XDG_DATA_HOME", home.path().toUtf8());
        const QString original = m_dir.filePath(u"info/片段 100% #1.mp4"_s);
        const QString aside = m_dir.filePath(u"info/.aside"_s);
        writeFile(aside, "original");
        const Result<QString> trashed = moveToTrash(aside, original);
        QVERIFY(trashed.ok());
        QCOMPARE(*trashed, home.filePath(u"Trash/files/片段 100% #1.mp4"_s));
        QCOMPARE(contents(*trashed), QByteArray("original"));
        const QStringList lines =
            QString::fromUtf8(contents(home.filePath(u"Trash/info/片段 100% #1.mp4.trashinfo"_s)))
                .split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.value(0), u"[Trash Info]"_s);
        QMap<QString, QString> keys;
        for (const QString &line : lines.mid(1))
            keys.insert(line.section(u'=', 0, 0), line.section(u'=', 1));
        QCOMPARE(keys.keys(), (QStringList{u"DeletionDate"_s, u"Path"_s}));
        QCOMPARE(QString::fromUtf8(QByteArray::fromPercentEncoding(keys[u"Path"_s].toLatin1())),
                 original);
        QVERIFY(!keys[u"Path"_s].contains(u' ') && !keys[u"Path"_s].contains(u'#'));
        const QDateTime deleted =
            QDateTime::fromString(keys[u"DeletionDate"_s], u"yyyy-MM-ddTHH:mm:ss"_s);
        QVERIFY2(deleted.isValid() && std::abs(deleted.secsTo(QDateTime::currentDateTime())) < 600,
                 qPrintable(keys[u"DeletionDate"_s]));
        QVERIFY(restoreFromTrash(*trashed, original));
        QCOMPARE(contents(original), QByteArray("original"));
        QCOMPARE(filesBelow(home.filePath(u"Trash"_s)), QStringList());
    }

    // A file on another volume goes to that volume's Trash, and only to one that is a private
    // folder of ours; where there is none it stays where it is.
    void volumeTrashes_data()
    {
        QTest::addColumn<QString>("setUp");
        QTest::addColumn<QString>("used"); // empty: refused
        QTest::newRow("none yet") << u""_s << u".Trash-%1"_s;
        QTest::newRow("another's .Trash-uid") << u"foreign"_s << u""_s;
        QTest::newRow("open .Trash-uid") << u"open"_s << u""_s;
        QTest::newRow(".Trash-uid a link") << u"link"_s << u""_s;
        QTest::newRow("shared sticky .Trash") << u"sticky"_s << u".Trash/%1"_s;
        QTest::newRow(".Trash not sticky") << u"plain"_s << u".Trash-%1"_s;
        QTest::newRow(".Trash/uid another's") << u"sticky foreign"_s << u".Trash-%1"_s;
    }

    void volumeTrashes()
    {
        QFETCH(QString, setUp);
        QFETCH(QString, used);
        const SmallVolume volume(
            m_dir.filePath(u"volume "_s + QString::fromLatin1(QTest::currentDataTag())));
        if (!volume.mounted)
            QSKIP("mounting a volume needs root");
        const QString uid = QString::number(::geteuid());
        const QString own = volume.path + u"/.Trash-"_s + uid;
        const auto folder = [](const QString &path, int mode, uid_t owner) {
            QDir().mkpath(path);
            ::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode));
            [[maybe_unused]] const int given =
                ::chown(QFile::encodeName(path).constData(), owner, owner);
        };
        if (setUp == u"foreign")
            folder(own, 0777, 4321);
        else if (setUp == u"open")
            folder(own, 0777, ::geteuid());
        else if (setUp == u"link")
            QVERIFY(QFile::link(m_dir.filePath(u"tmp"_s), own));
        else if (setUp.startsWith(u"sticky"))
            folder(volume.path + u"/.Trash"_s, 01777, 0);
        else if (setUp == u"plain")
            folder(volume.path + u"/.Trash"_s, 0777, 0);
        if (setUp == u"sticky foreign")
            folder(volume.path + u"/.Trash/"_s + uid, 0700, 4321);
        const QStringList before = filesBelow(volume.path);
        const QString file = volume.path + u"/a.mp4"_s;
        writeFile(file, "a");
        const Result<QString> trashed = moveToTrash(file);
        if (used.isEmpty()) {
            QVERIFY(!trashed.ok());
            QCOMPARE(contents(file), QByteArray("a"));
            QCOMPARE(filesBelow(volume.path), QStringList(before) << u"a.mp4"_s);
            return;
        }
        QVERIFY2(trashed.ok(), trashed ? "" : qPrintable(trashed.error().description()));
        const QString trash = volume.path + u'/' + used.arg(uid);
        QCOMPARE(*trashed, trash + u"/files/a.mp4"_s);
        QCOMPARE(permissionBits(trash), 0700);
        QVERIFY(contents(trash + u"/info/a.mp4.trashinfo"_s)
                    .contains("\nPath=" + QFile::encodeName(file).toPercentEncoding("/")));
    }

    // Another user's Trash (a HOME kept through sudo) never takes the file: it would be theirs.
    void anotherUsersHomeTrashIsNotUsed_data()
    {
        QTest::addColumn<QString>("given"); // the folder another user owns
        QTest::newRow("the Trash") << u"Trash"_s;
        QTest::newRow("its files") << u"Trash/files"_s;
    }

    void anotherUsersHomeTrashIsNotUsed()
    {
        QFETCH(QString, given);
        if (::geteuid() != 0)
            QSKIP("giving a folder away needs root");
        const QString home = m_dir.filePath(u"home of another "_s + given.section(u'/', -1));
        const EnvironmentGuard data("XDG_DATA_HOME", QFile::encodeName(home));
        QDir().mkpath(home + u"/Trash/files"_s);
        QDir().mkpath(home + u"/Trash/info"_s);
        QVERIFY(::chown(QFile::encodeName(home + u'/' + given).constData(), 4321, 4321) == 0);
        const QString file = home + u"-a.mp4"_s;
        writeFile(file, "a");
        const Result<QString> trashed = moveToTrash(file);
        QVERIFY(!trashed.ok());
        QVERIFY2(trashed.error().description().contains(u"不属于当前用户"_s),
                 qPrintable(trashed.error().description()));
        QCOMPARE(contents(file), QByteArray("a"));
        QCOMPARE(filesBelow(home), QStringList());
    }

    // Without a home, there is no Trash to be made at the top of the root file system.
    void noHomeNoTrashUnderTheRoot()
    {
        if (QStorageInfo(m_dir.path()).rootPath() != u"/")
            QSKIP("the test folder is not on the root file system");
        const QString rootTrash = u"/.Trash-%1"_s.arg(::geteuid());
        if (QFileInfo::exists(rootTrash) || QFileInfo::exists(u"/.local"_s))
            QSKIP("the root file system has a Trash already");
        const EnvironmentGuard home("HOME", QByteArray());
        const EnvironmentGuard data("XDG_DATA_HOME", QByteArray());
        const QString file = m_dir.filePath(u"homeless.mp4"_s);
        writeFile(file, "a");
        QVERIFY(!moveToTrash(file).ok());
        QCOMPARE(contents(file), QByteArray("a"));
        QVERIFY(!QFileInfo::exists(rootTrash) && !QFileInfo::exists(u"/.local"_s));
    }

    void theTrashNeverReplacesWhatItHolds()
    {
        QTemporaryDir home;
        const EnvironmentGuard data("XDG_DATA_HOME", home.path().toUtf8());
        writeFile(home.filePath(u"Trash/files/a.mp4"_s), "stray, without its info");
        const QString longName = QString(250, u'x') + u".mp4"_s;
        for (const QString &name : {u"a.mp4"_s, u"a.mp4"_s, longName}) {
            writeFile(m_dir.filePath(u"trashed/"_s + name), name.toUtf8());
            QVERIFY(moveToTrash(m_dir.filePath(u"trashed/"_s + name)).ok());
        }
        QCOMPARE(contents(home.filePath(u"Trash/files/a.mp4"_s)),
                 QByteArray("stray, without its info"));
        QStringList names = QDir(home.filePath(u"Trash/files"_s)).entryList(QDir::Files);
        QCOMPARE(names.size(), 4);
        QVERIFY(names.contains(u"a.2.mp4"_s) && names.contains(u"a.3.mp4"_s));
        QCOMPARE(QDir(home.filePath(u"Trash/info"_s)).entryList(QDir::Files).size(), 3);
        QVERIFY(!moveToTrash(m_dir.filePath(u"trashed/gone.mp4"_s)).ok());
    }

    // A second run never touches a file the first works on; it fails that file alone.
    void lockedFilesAreLeftToTheRunThatHoldsThem()
    {
        const QString folder =
            folderWith({{u"a.mp4"_s, clip(Clip::Plain)}, {u"b.mp4"_s, clip(Clip::Plain)}});
        FileLock other;
        QVERIFY(other.take(folder + u"/a.mp4"_s, FileLock::Mode::Shared));
        TranscodeSettings settings = settingsFor(Codec::H264Software);
        settings.overwriteOriginal = true;
        const EngineRun run = runEngine(settings, listed(folder, {u"a.mp4"_s, u"b.mp4"_s}));
        QCOMPARE(run.outcomes.first().reason, u"“a.mp4”正在被另一个转码任务使用"_s);
        QCOMPARE(run.summary.converted, 1);
        QCOMPARE(contents(folder + u"/a.mp4"_s), contents(clip(Clip::Plain)));

        // The partial of another run's output, likewise.
        FileLock partial;
        QDir().mkpath(folder + u"/已转码_H.264 (软件编码)"_s);
        QVERIFY(partial.takeAt(
            AT_FDCWD, QFile::encodeName(folder + u"/已转码_H.264 (软件编码)/.a.mp4.partial"_s),
            FileLock::Mode::Exclusive, 0600));
        const EngineRun second =
            runEngine(settingsFor(Codec::H264Software), listed(folder, {u"a.mp4"_s}));
        QCOMPARE(second.only().reason, u"“a.mp4”正在被另一个转码任务使用"_s);
        QVERIFY(QFile::exists(folder + u"/已转码_H.264 (软件编码)/.a.mp4.partial"_s));
    }

    // The source must stay the file that was listed, as it was, until the result replaces it;
    // a file replaced or written to meanwhile is left as it now is.
    void aSourceChangedMidRunIsNotReplaced_data()
    {
        QTest::addColumn<QByteArray>("meanwhile");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("replaced by a newer file")
            << QByteArray("printf newer > \"$input.new\"; mv \"$input.new\" \"$input\"\n")
            << QByteArray("newer");
        QTest::newRow("written to")
            << QByteArray("printf more >> \"$input\"\n") << contents(clip(Clip::Plain)) + "more";
    }

    void aSourceChangedMidRunIsNotReplaced()
    {
        QFETCH(QByteArray, meanwhile);
        QTemporaryDir tools;
        fakeFFmpeg(tools.path());
        writeFile(tools.filePath(u"result"_s), contents(clip(Clip::Plain)));
        writeFile(tools.filePath(u"meanwhile"_s), meanwhile);
        QTemporaryDir home;
        const EnvironmentGuard data("XDG_DATA_HOME", home.path().toUtf8());
        const QString folder = folderWith({{u"a.mp4"_s, clip(Clip::Plain)}});
        TranscodeSettings settings = settingsFor(Codec::H264Software);
        settings.overwriteOriginal = true;
        const EngineRun run = runEngine(settings, listed(folder, {u"a.mp4"_s}), {}, tools.path());
        QCOMPARE(run.only().status, FileOutcome::Status::Failed);
        QCOMPARE(run.only().reason, u"源文件在转码期间被修改；原文件未改动"_s);
        QTEST(contents(folder + u"/a.mp4"_s), "after");
        QCOMPARE(filesBelow(folder), QStringList{u"a.mp4"_s});
        QCOMPARE(filesBelow(home.path()), QStringList());
    }

    // A file another program is still writing is not converted, nor put in the Trash.
    void aGrowingSourceIsLeftAlone()
    {
        const QString folder = folderWith({{u"a.mp4"_s, clip(Clip::Plain)}});
        const QString source = folder + u"/a.mp4"_s;
        QProcess writer;
        writer.start(u"sh"_s,
                     {u"-c"_s, u"while :; do printf x >> \"$0\"; sleep 0.05; done"_s, source});
        QTRY_VERIFY(QFileInfo(source).size() > contents(clip(Clip::Plain)).size());
        TranscodeSettings settings = settingsFor(Codec::H264Software);
        settings.overwriteOriginal = true;
        const EngineRun run = runEngine(settings, listed(folder, {u"a.mp4"_s}));
        writer.kill();
        writer.waitForFinished();
        QCOMPARE(run.only().status, FileOutcome::Status::Failed);
        QCOMPARE(run.only().reason, u"源文件仍在写入"_s);
        QCOMPARE(filesBelow(folder), QStringList{u"a.mp4"_s});
        QVERIFY(contents(source).startsWith(contents(clip(Clip::Plain))));
    }

    // A result carries the settings that made it: a resumed replace run leaves it be, and a
    // run that listed the file before another replaced it does not convert it again.
    void resumeDoesNotEncodeAgain()
    {
        const QString folder = folderWith({{u"a.mp4"_s, clip(Clip::Plain)}});
        if (!setAttribute(folder + u"/a.mp4"_s, "user.quillmere.test", "1"))
            QSKIP("no extended attributes here");
        TranscodeSettings settings = settingsFor(Codec::H264Software);
        settings.overwriteOriginal = true;
        const QList<VideoFile> before = listed(folder, {u"a.mp4"_s});
        RunOptions resume;
        resume.existingOutput = ExistingOutput::Skip;
        QCOMPARE(runEngine(settings, before).only().status, FileOutcome::Status::Converted);
        const QByteArray converted = contents(folder + u"/a.mp4"_s);

        const EngineRun late = runEngine(settings, before);
        QCOMPARE(late.only().reason, u"源文件在转码期间被修改"_s);
        const EngineRun resumed = runEngine(settings, listed(folder, {u"a.mp4"_s}), resume);
        QCOMPARE(resumed.only().status, FileOutcome::Status::Skipped);
        QCOMPARE(resumed.only().reason, u"已是转码结果"_s);
        QCOMPARE(contents(folder + u"/a.mp4"_s), converted);

        // Other settings, or a file changed since, are converted.
        settings.bitrate = 2;
        QCOMPARE(runEngine(settings, listed(folder, {u"a.mp4"_s}), resume).only().status,
                 FileOutcome::Status::Converted);
        QFile::resize(folder + u"/a.mp4"_s, QFileInfo(folder + u"/a.mp4"_s).size() + 1);
        const timespec old[2] = {{0, UTIME_OMIT}, {981173106, 0}};
        ::utimensat(AT_FDCWD, QFile::encodeName(folder + u"/a.mp4"_s).constData(), old, 0);
        QCOMPARE(runEngine(settings, listed(folder, {u"a.mp4"_s}), resume).only().status,
                 FileOutcome::Status::Converted);
    }

    // A test encode or an encoder listing that never ends does not hold the run.
    void encoderQuestionsAreBounded_data()
    {
        QTest::addColumn<QString>("steer");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("hevcAlpha");
        QTest::newRow("hanging test encode") << u"hang_tests"_s << QByteArray() << false;
        QTest::newRow("endless listing")
            << u"x265_help"_s << QByteArray(3 << 20, 'x') + "\nSupported pixel formats: yuva420p\n"
            << true;
    }

    void encoderQuestionsAreBounded()
    {
        QFETCH(QString, steer);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, hevcAlpha);
        QTemporaryDir tools;
        const QString ffmpeg = fakeFFmpeg(tools.path());
        writeFile(tools.filePath(steer), bytes);
        writeFile(tools.filePath(u"encoders_ok"_s), "libx265\n");
        EncoderSupport support;
        support.setTimeLimit(std::chrono::milliseconds(200));
        QObject context;
        std::optional<EncoderAnswers> got;
        const QStringList hardware =
            hevcAlpha ? QStringList() : QStringList{u"h264_videotoolbox"_s};
        support.answer(ffmpeg, {hardware, hevcAlpha}, &context,
                       [&](const EncoderAnswers &answers) { got = answers; });
        QTRY_VERIFY_WITH_TIMEOUT(got.has_value(), 30000);
        QCOMPARE(got->hevcAlphaEncoder, QString());
        if (hevcAlpha) {
            QVERIFY(!fakeCalls(tools.path()).join(u'\n').contains(u"-f null -"_s));
        } else {
            QCOMPARE(got->encoderFor(u"h264_videotoolbox"_s), u"libx264"_s);
            QTRY_VERIFY(!alive(contents(tools.filePath(u"test_pid"_s)).trimmed().toLongLong()));
        }
    }

    // A cancel (a signal) while the run still asks ffmpeg what it can do ends the run at once.
    void cancelBeforeThePlan()
    {
        QTemporaryDir tools;
        fakeFFmpeg(tools.path());
        writeFile(tools.filePath(u"hang_tests"_s), "");
        const QString folder = folderWith({{u"a.mp4"_s, clip(Clip::Plain)}});
        BatchTranscoder engine({ToolLocator(tools.path()), [](const QString &) {}});
        QSignalSpy finished(&engine, &BatchTranscoder::runFinished);
        engine.start(settingsFor(Codec::H264Hardware), listed(folder, {u"a.mp4"_s}));
        QTRY_VERIFY(!contents(tools.filePath(u"test_pid"_s)).isEmpty());
        engine.cancel();
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.first().first().value<RunSummary>().outcome, RunOutcome::Cancelled);
        QTRY_VERIFY(!alive(contents(tools.filePath(u"test_pid"_s)).trimmed().toLongLong()));
        QCOMPARE(filesBelow(folder), QStringList{u"a.mp4"_s});
    }

    // A file that appears at the output's name after the plan is never replaced.
    void aFileInTheWayIsNeverRenamedOver()
    {
        QTemporaryDir tools;
        fakeFFmpeg(tools.path());
        writeFile(tools.filePath(u"result"_s), contents(clip(Clip::Plain)));
        const QString folder = folderWith({{u"a.mp4"_s, clip(Clip::Plain)}});
        PlanEnvironment environment;
        environment.ffmpeg = tools.filePath(u"ffmpeg"_s);
        const RunPlan plan = planRun(settingsFor(Codec::H264Software), listed(folder, {u"a.mp4"_s}),
                                     EncoderAnswers(), environment);
        writeFile(plan.files.first().outputPath, "mine");
        FileTranscode transcode(plan.files.first(), ToolLocator(tools.path()),
                                [](const QString &) {});
        QSignalSpy finished(&transcode, &FileTranscode::finished);
        transcode.start();
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.first().first().value<FileOutcome>().reason,
                 u"输出位置已有“a.mp4”，不会覆盖它"_s);
        QCOMPARE(contents(plan.files.first().outputPath), QByteArray("mine"));
        QCOMPARE(fakeCalls(tools.path()), QStringList());
    }

    // A check of the result that never ends fails the file, and leaves nothing.
    void aHangingCheckFailsTheFile()
    {
        QTemporaryDir tools;
        fakeFFmpeg(tools.path());
        writeTool(tools.path(), u"ffprobe"_s, "exec sleep 60\n");
        const QString folder = folderWith({{u"a.mp4"_s, clip(Clip::Plain)}});
        PlanEnvironment environment;
        environment.ffmpeg = tools.filePath(u"ffmpeg"_s);
        const RunPlan plan = planRun(settingsFor(Codec::H264Software), listed(folder, {u"a.mp4"_s}),
                                     EncoderAnswers(), environment);
        QDir().mkpath(plan.outputDirectory);
        FileTranscode transcode(plan.files.first(), ToolLocator(tools.path()),
                                [](const QString &) {});
        transcode.setCheckTimeLimit(std::chrono::milliseconds(100));
        QSignalSpy finished(&transcode, &FileTranscode::finished);
        transcode.start();
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.first().first().value<FileOutcome>().reason,
                 u"检查转码结果超时；转码结果未保留"_s);
        QCOMPARE(filesBelow(folder), QStringList{u"a.mp4"_s});
    }

    void cancelStopsFFmpegAndLeavesNothing()
    {
        QTemporaryDir tools;
        fakeFFmpeg(tools.path());
        writeFile(tools.filePath(u"hang"_s), "");
        writeFile(tools.filePath(u"progress"_s), "out_time=00:00:00.100000\n");
        const QString folder =
            folderWith({{u"a.mp4"_s, clip(Clip::Plain)}, {u"b.mp4"_s, clip(Clip::Plain)}});
        TranscodeSettings settings = settingsFor(Codec::H264Software);
        settings.overwriteOriginal = true;
        QStringList trace;
        BatchTranscoder engine({ToolLocator(tools.path()), [&](const QString &l) { trace << l; }});
        QSignalSpy finished(&engine, &BatchTranscoder::runFinished);
        engine.start(settings, listed(folder, {u"a.mp4"_s, u"b.mp4"_s}),
                     RunOptions{2, {}, ExistingOutput::KeepBoth, {}, {}});
        QTRY_VERIFY(QFile::exists(tools.filePath(u"pid"_s)));
        QTRY_COMPARE(fakeCalls(tools.path()).size(), 2); // both at work
        const qint64 pid = contents(tools.filePath(u"pid"_s)).trimmed().toLongLong();
        engine.cancel();
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.first().first().value<RunSummary>().outcome, RunOutcome::Cancelled);
        QVERIFY(trace.contains(u"转码已取消"_s));
        QCOMPARE(filesBelow(folder), (QStringList{u"a.mp4"_s, u"b.mp4"_s}));
        QCOMPARE(contents(folder + u"/a.mp4"_s), contents(clip(Clip::Plain)));
        QTRY_VERIFY(!alive(pid));
    }

    // Choice by proof: the first GPU encoder whose test encode passes; software otherwise.
    void hardwareEncodersAreTriedInOrder_data()
    {
        QTest::addColumn<QByteArray>("working");
        QTest::addColumn<QString>("used");
        QTest::addColumn<int>("tests");
        // Apple's encoder is never tried off macOS, even where the listing claims it.
        QTest::newRow("none") << QByteArray() << u"libx264"_s << 3;
        QTest::newRow("vaapi and qsv")
            << QByteArray("h264_vaapi\nh264_qsv\n") << u"h264_vaapi"_s << 2;
        QTest::newRow("all") << QByteArray("h264_videotoolbox\nh264_nvenc\n") << u"h264_nvenc"_s
                             << 1;
    }

    void hardwareEncodersAreTriedInOrder()
    {
        QFETCH(QByteArray, working);
        QTemporaryDir tools;
        const QString ffmpeg = fakeFFmpeg(tools.path());
        writeFile(tools.filePath(u"encoders_ok"_s), working);
        EncoderSupport support;
        QObject context;
        std::optional<EncoderAnswers> got;
        for (int i = 0; i < 2; ++i) { // the second time from memory
            got.reset();
            support.answer(ffmpeg, {{u"h264_videotoolbox"_s}, false}, &context,
                           [&](const EncoderAnswers &answers) { got = answers; });
            QVERIFY(!got);
            QTRY_VERIFY(got.has_value());
        }
        QTEST(got->encoderFor(u"h264_videotoolbox"_s), "used");
        QTEST(static_cast<int>(fakeCalls(tools.path()).size()), "tests");
        QCOMPARE(fakeCalls(tools.path()).first(),
                 Encoders::testEncodeArguments(u"h264_nvenc"_s, Encoders::renderNode()).join(u' '));
    }

    void theInstalledFFmpegKnowsItsEncoders()
    {
        EncoderSupport support;
        QObject context;
        std::optional<EncoderAnswers> got;
        support.answer(QStandardPaths::findExecutable(u"ffmpeg"_s),
                       {{u"h264_videotoolbox"_s, u"prores_videotoolbox"_s}, true}, &context,
                       [&](const EncoderAnswers &answers) { got = answers; });
        QTRY_VERIFY_WITH_TIMEOUT(got.has_value(), 30000);
        QCOMPARE(got->encoderFor(u"h264_videotoolbox"_s), u"libx264"_s);
        QCOMPARE(got->encoderFor(u"prores_videotoolbox"_s), u"prores_ks"_s);
        QCOMPARE(got->hevcAlphaEncoder, QString()); // Debian's x265 keeps no alpha
    }

    // The real ffmpeg takes every GPU command's options and fails only where it opens the
    // device, on a machine without one.
    void gpuCommandsFailOnlyForWantOfADevice_data()
    {
        QTest::addColumn<QString>("encoder");
        for (const char *encoder :
             {"h264_nvenc", "hevc_nvenc", "h264_vaapi", "hevc_vaapi", "h264_qsv", "hevc_qsv"})
            QTest::newRow(encoder) << QString::fromLatin1(encoder);
    }

    void gpuCommandsFailOnlyForWantOfADevice()
    {
        QFETCH(QString, encoder);
        QProcess ffmpeg;
        ffmpeg.start(u"ffmpeg"_s, Encoders::testEncodeArguments(encoder, u"/dev/dri/renderD128"_s));
        QVERIFY(ffmpeg.waitForFinished(30000));
        const QString said = QString::fromUtf8(ffmpeg.readAllStandardError());
        if (ffmpeg.exitCode() == 0)
            QSKIP("this machine has the device");
        QVERIFY2(!said.contains(u"Unrecognized option"_s) &&
                     !said.contains(u"Option not found"_s) && !said.contains(u"Unknown encoder"_s),
                 qPrintable(said));
    }

    void aGpuThatFailsMidFileIsRetriedInSoftware()
    {
        QTemporaryDir tools;
        fakeFFmpeg(tools.path());
        writeFile(tools.filePath(u"encoders_ok"_s), "h264_nvenc\n");
        writeFile(tools.filePath(u"fail_for"_s), "-c:v h264_nvenc\n");
        writeFile(tools.filePath(u"status"_s), "1\n");
        writeFile(tools.filePath(u"result"_s), contents(clip(Clip::Plain)));
        const QString folder = folderWith({{u"a.mp4"_s, clip(Clip::Plain)}});
        const EngineRun run = runEngine(settingsFor(Codec::H264Hardware),
                                        listed(folder, {u"a.mp4"_s}), {}, tools.path());
        QCOMPARE(run.only().status, FileOutcome::Status::Converted);
        QCOMPARE(run.only().encoder, u"libx264"_s);
        QCOMPARE(run.notices.first(), u"使用硬件编码器 h264_nvenc"_s);
        QVERIFY(run.notices.last().contains(u"改用软件编码器 libx264 重试"_s));
    }

    void resumeSkipsWhatIsDoneAndRedoesWhatIsBroken()
    {
        const QString folder =
            folderWith({{u"a.mp4"_s, clip(Clip::Plain)}, {u"b.mp4"_s, clip(Clip::Plain)}});
        const QList<VideoFile> files = listed(folder, {u"a.mp4"_s, u"b.mp4"_s});
        const TranscodeSettings settings = settingsFor(Codec::H264Software);
        QCOMPARE(runEngine(settings, files, RunOptions{2, {}, ExistingOutput::KeepBoth, {}, {}})
                     .summary.converted,
                 2);
        writeFile(folder + u"/已转码_H.264 (软件编码)/b.mp4"_s, "broken");
        const EngineRun again =
            runEngine(settings, files, RunOptions{1, {}, ExistingOutput::Skip, {}, {}});
        QCOMPARE((QList<int>{again.summary.converted, again.summary.skipped}), (QList<int>{1, 1}));
        QCOMPARE(again.outcomes.first().reason, u"已有转码结果"_s);
        QVERIFY(probed(folder + u"/已转码_H.264 (软件编码)/b.mp4"_s).videoStreams == 1);
        // What stood in the way was not renamed over: it is in the Trash.
        const QString trash = m_dir.filePath(u"data/Trash/files/"_s);
        const QStringList trashed = filesBelow(trash);
        QVERIFY(std::any_of(trashed.begin(), trashed.end(), [&](const QString &name) {
            return contents(trash + name) == "broken";
        }));
    }

    // Two long names alike in their first 246 bytes get partials of their own within 255.
    void longNamesGetPartialsThatFit()
    {
        QList<VideoFile> files;
        for (const QString &name :
             {QString(246, u'x') + u"1.mp4"_s, QString(246, u'x') + u"2.mp4"_s}) {
            VideoFile file;
            file.url = QUrl::fromLocalFile(u"/A/"_s + name);
            file.name = name;
            files << file;
        }
        TranscodeSettings settings = settingsFor(Codec::H264Software);
        settings.overwriteOriginal = true;
        PlanEnvironment environment;
        environment.ffmpeg = u"ffmpeg"_s;
        const RunPlan plan = planRun(settings, files, EncoderAnswers(), environment);
        const QString first = QFileInfo(plan.files.at(0).partialPath).fileName();
        const QString second = QFileInfo(plan.files.at(1).partialPath).fileName();
        QVERIFY(first != second);
        QVERIFY(first.toUtf8().size() <= 255 && second.toUtf8().size() <= 255);
    }

    void runsThatCannotStartCreateNothing()
    {
        QTemporaryDir empty;
        const QString folder = folderWith({{u"a.mp4"_s, clip(Clip::Plain)}});
        const QList<VideoFile> files = listed(folder, {u"a.mp4"_s});
        {
            const EnvironmentGuard path("PATH", empty.path().toUtf8());
            const EngineRun run =
                runEngine(settingsFor(Codec::H264Software), files, {}, empty.path());
            QCOMPARE(run.summary.outcome, RunOutcome::Failed);
            QVERIFY(run.summary.reason.startsWith(u"找不到 ffmpeg"_s));
            QVERIFY(run.trace.contains(u"转码错误: FFmpeg not found"_s));
        }
        const EngineRun alpha = runEngine(settingsFor(Codec::HevcHardware, {}, true), files);
        QCOMPARE(alpha.summary.outcome, RunOutcome::Failed);
        QVERIFY(alpha.trace.contains(u"转码错误: 无法创建导出会话"_s));
        writeFile(folder + u"/已转码_AV1 (软件编码)"_s, "a file where the folder would go");
        QVERIFY(runEngine(settingsFor(Codec::Av1Software), files)
                    .summary.reason.contains(u"不是文件夹"_s));
        QCOMPARE(filesBelow(folder), (QStringList{u"a.mp4"_s, u"已转码_AV1 (软件编码)"_s}));
    }

    // A full disk is named as such, whatever ffmpeg makes of it, and no reason runs on for a
    // megabyte.
    void failureReasonsSayWhatHappened_data()
    {
        QTest::addColumn<QByteArray>("said");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("expected");
        const QByteArray full = "av_interleaved_write_frame(): No space left on device\n";
        QTest::newRow("full disk, failed") << full + "Conversion failed!\n"
                                           << 1 << u"ffmpeg 转码失败（退出代码 1）: 磁盘空间不足"_s;
        QTest::newRow("full disk, claims success") << full << 0 << u"磁盘空间不足"_s;
        QTest::newRow("a megabyte of error") << "Error: " + QByteArray(1 << 20, 'x') + "\n"
                                             << 1 << u"ffmpeg 转码失败"_s;
        // ffmpeg names the file it was handed; the reason names the file by its path.
        QTest::newRow("the source named")
            << QByteArray("echo \"$given: Invalid data found when processing input\" >&2; exit 1\n")
            << -1 << u"ffmpeg 转码失败（退出代码 1）: %1: Invalid data found"_s;
    }

    void failureReasonsSayWhatHappened()
    {
        QFETCH(QByteArray, said);
        QFETCH(int, status);
        QTemporaryDir tools;
        fakeFFmpeg(tools.path());
        writeFile(tools.filePath(u"result"_s), "");
        if (status < 0) { // what ffmpeg says is a script of its own
            writeFile(tools.filePath(u"meanwhile"_s), said);
        } else {
            writeFile(tools.filePath(u"stderr"_s), said);
            writeFile(tools.filePath(u"fail_for"_s), "-i\n");
            writeFile(tools.filePath(u"status"_s), QByteArray::number(status));
        }
        const QString folder = folderWith({{u"a.mp4"_s, clip(Clip::Plain)}});
        const EngineRun run = runEngine(settingsFor(Codec::H264Software),
                                        listed(folder, {u"a.mp4"_s}), {}, tools.path());
        const QString reason = run.only().reason;
        QCOMPARE(run.only().status, FileOutcome::Status::Failed);
        QFETCH(QString, expected);
        expected = expected.arg(folder + u"/a.mp4"_s);
        QVERIFY2(reason.startsWith(expected) && reason.size() <= 500, qPrintable(reason.left(200)));
        QCOMPARE(filesBelow(folder), QStringList{u"a.mp4"_s});
    }

    void aFullDiskFailsTheFileAndLeavesNothing()
    {
        if (::geteuid() != 0)
            QSKIP("mounting a small file system needs root");
        const QString folder = m_dir.filePath(u"full"_s);
        QDir().mkpath(folder);
        if (QProcess::execute(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=300k"_s, u"tmpfs"_s,
                                           folder}) != 0)
            QSKIP("cannot mount here");
        // A picture large enough that the first frame does not fit; a chosen size never
        // enlarges a small one.
        runFFmpeg({u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc2=size=1280x720:rate=25"_s, u"-t"_s,
                   u"0.2"_s, u"-c:v"_s, u"libx264"_s, u"-preset"_s, u"ultrafast"_s,
                   folder + u"/a.mp4"_s});
        const EngineRun run = runEngine(settingsFor(Codec::ProResSoftware, u"4444 XQ"_s),
                                        listed(folder, {u"a.mp4"_s}));
        const QStringList left = filesBelow(folder);
        QProcess::execute(u"umount"_s, {u"-l"_s, folder});
        QVERIFY2(run.only().reason.contains(u"No space left on device"_s),
                 qPrintable(run.only().reason));
        QCOMPARE(left, QStringList{u"a.mp4"_s});
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
