#include "TestSupport.h"
#include "transcode/FFmpegArguments.h"
#include "transcode/FFmpegDiagnosis.h"
#include "transcode/OutputCheck.h"
#include "transcode/OutputNaming.h"
#include "transcode/ProgressParser.h"
#include "transcode/ResultMark.h"
#include "transcode/RunPlan.h"

#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// `file` with `changes` as "field=value" pairs.
VideoFile with(VideoFile file, const QStringList &changes)
{
    const auto ratio = [](const QString &text) {
        const QStringList parts = text.split(QRegularExpression(u"[/:]"_s));
        return Ratio{parts.value(0).toLongLong(), parts.value(1).toLongLong()};
    };
    for (const QString &change : changes) {
        const QString name = change.section(u'=', 0, 0), value = change.section(u'=', 1);
        if (name == u"pix")
            file.colorFormat = value;
        else if (name == u"size")
            file.width = value.section(u'x', 0, 0).toInt(),
            file.height = value.section(u'x', 1).toInt();
        else if (name == u"rotation")
            file.rotation = value.toInt();
        else if (name == u"bits")
            file.bitsPerSample = value.toInt();
        else if (name == u"audio")
            file.audioStreams = value.toInt();
        else if (name == u"alpha")
            file.hasAlpha = true;
        else if (name == u"prores4444")
            file.isProRes4444 = true;
        else if (name == u"sar")
            file.sampleAspect = ratio(value);
        else if (name == u"rate")
            file.baseFrameRate = file.averageFrameRate = ratio(value);
        else if (name == u"avg")
            file.averageFrameRate = ratio(value);
        else if (name == u"frames")
            file.frameCount = value.toLongLong();
        else if (name == u"length")
            file.videoDuration = value.toDouble();
        else if (name == u"start")
            file.videoStartOffset = value.toDouble();
        else if (name == u"format")
            file.formatName = value;
        else if (name == u"tag")
            file.tags.insert(value.section(u':', 0, 0), value.section(u':', 1));
        else if (name == u"layouts")
            file.audioLayouts = value.split(u'|');
        else if (name == u"bits/s")
            file.videoBitsPerSecond = value.toLongLong();
        else if (name == u"container bits/s")
            file.bitsPerSecond = value.toLongLong();
        else if (name == u"audio bits/s")
            for (const QString &rate : value.split(u'|'))
                file.audioBitsPerSecond << rate.toLongLong();
        else if (name == u"channels")
            for (const QString &count : value.split(u'|'))
                file.audioChannels << count.toInt();
        else if (name == u"range")
            file.colorRange = value;
        else if (name == u"read")
            file.packetsRead = value.toLongLong();
        else if (name == u"video")
            file.videoDuration = value.toDouble();
        else if (name == u"duration")
            file.duration = value.toDouble();
        else if (name == u"video streams")
            file.videoStreams = value.toInt();
        else if (name == u"track seconds")
            file.audioDurations = {value.toDouble()};
    }
    return file;
}

// A source as the probe would describe a clean 1920x1080 8-bit 4:2:0 MP4 with one audio
// track, with `changes` on top.
VideoFile source(const QString &path = u"/A/clip.mp4"_s, const QStringList &changes = {})
{
    VideoFile file;
    file.id = QUuid::createUuid();
    file.url = QUrl::fromLocalFile(path);
    file.name = QFileInfo(path).fileName();
    file.colorFormat = u"yuv420p"_s;
    file.width = 1920;
    file.height = 1080;
    file.videoStreams = 1;
    file.audioStreams = 1;
    file.duration = 10;
    file.formatName = u"mov,mp4,m4a,3gp,3g2,mj2"_s;
    return with(file, changes);
}

TranscodeSettings settingsWith(const QStringList &changes)
{
    TranscodeSettings settings;
    for (const QString &change : changes) {
        const QString name = change.section(u'=', 0, 0), value = change.section(u'=', 1);
        if (name == u"codec")
            settings.codec = value;
        else if (name == u"container")
            settings.container = value;
        else if (name == u"profile")
            settings.proResProfile = value;
        else if (name == u"resolution")
            settings.resolution = value;
        else if (name == u"rate")
            settings.frameRate = value;
        else if (name == u"bitrate")
            settings.bitrate = value.toDouble();
        else if (name == u"alpha")
            settings.enableAlpha = true;
        else if (name == u"overwrite")
            settings.overwriteOriginal = true;
    }
    return settings;
}

EncoderAnswers answers(const QString &hardware = {})
{
    EncoderAnswers answers;
    answers.renderNode = u"/dev/dri/renderD128"_s;
    answers.hevcAlphaEncoder = u"libx265"_s;
    for (const QString &named : {u"h264_videotoolbox"_s, u"hevc_videotoolbox"_s})
        answers.encoders.insert(
            named, hardware.isEmpty() ? (named.startsWith(u"h264") ? u"libx264"_s : u"libx265"_s)
                                      : named.left(4) + u'_' + hardware);
    answers.encoders.insert(u"prores_videotoolbox"_s, u"prores_ks"_s);
    return answers;
}

// `disk` holds plain files; a key of {0, 0} stands for a symbolic link.
PlanEnvironment environment(QHash<QString, FileKey> disk = {})
{
    PlanEnvironment environment;
    environment.ffmpeg = u"/usr/bin/ffmpeg"_s;
    environment.temporaryDirectory = u"/tmp"_s;
    environment.fileAt = [disk](const QString &path) -> std::optional<DiskEntry> {
        if (!disk.contains(path))
            return std::nullopt;
        return DiskEntry{disk.value(path), disk.value(path).isValid(), {}};
    };
    int counter = 0;
    environment.uniqueName = [counter]() mutable { return u"T%1"_s.arg(++counter); };
    return environment;
}

} // namespace

class TestPlan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void settingsArguments_data()
    {
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<QString>("arguments");
        QTest::newRow("defaults") << QStringList{}
                                  << u"-c:v h264_videotoolbox -b:v 10000k -movflags +faststart "
                                     "-c:a aac -strict experimental"_s;
        QTest::newRow("truncated bitrate, scale before rate")
            << QStringList{u"codec=AV1 (软件编码)"_s, u"bitrate=1.005"_s, u"resolution=1280x720"_s,
                           u"rate=25"_s}
            << u"-c:v libsvtav1 -b:v 1004k -preset 8 -svtav1-params tune=0:fast-decode=1 "
               "-pix_fmt yuv420p -strict experimental -vf scale=1280x720 -r 25"_s;
        QTest::newRow("hevc hardware alpha")
            << QStringList{u"codec=HEVC (硬件加速)"_s, u"alpha"_s, u"bitrate=20"_s}
            << u"-c:v hevc_videotoolbox -allow_sw 1 -pix_fmt bgra -alpha_quality 0.9 -b:v 20000k "
               "-tag:v hvc1"_s;
        QTest::newRow("hevc software alpha")
            << QStringList{u"codec=HEVC (软件编码)"_s, u"alpha"_s}
            << u"-c:v libx265 -pix_fmt bgra -alpha_quality 0.9 -b:v 10000k -tag:v hvc1"_s;
        QTest::newRow("prores ignores bitrate and alpha")
            << QStringList{u"codec=ProRes (软件编码)"_s, u"profile=4444 XQ"_s, u"alpha"_s}
            << u"-c:v prores_ks -profile:v 5"_s;
        QTest::newRow("unknown profile is 422")
            << QStringList{u"codec=ProRes (硬件加速)"_s, u"profile="_s}
            << u"-c:v prores_videotoolbox -profile:v 2"_s;
    }

    void settingsArguments()
    {
        QFETCH(QStringList, settings);
        QTEST(buildFFmpegArguments(settingsWith(settings))->join(u' '), "arguments");
    }

    void unwritableBitratesAreRefused()
    {
        for (const double mbps : {qInf(), qQNaN(), 1e16, 0.0004, -2.5}) {
            TranscodeSettings settings;
            settings.bitrate = mbps;
            const RunPlan plan = planRun(settings, {source()}, answers(), environment());
            QVERIFY(plan.files.isEmpty());
            QVERIFY(plan.refusal->detail.contains(u"码率无效"_s));
        }
        QVERIFY(!bitrateArgument(9.3e15));
    }

    // What the run gives ffmpeg for a file: the settings adapted to the encoder that works
    // here and to the media, and nothing more where the file needs nothing.
    void commandsForRealMedia_data()
    {
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<QStringList>("media");
        QTest::addColumn<QString>("hardware"); // the GPU form that passed its test
        QTest::addColumn<QString>("middle");   // between "pipe:1" and "-f"
        const QString h264 =
            u"-c:v libx264 -b:v 10000k -movflags +faststart -strict experimental"_s;
        const QStringList x264{u"codec=H.264 (软件编码)"_s};
        const QStringList x265{u"codec=HEVC (软件编码)"_s};
        const QString hevc = u"-b:v 10000k -tag:v hvc1"_s;
        QTest::newRow("clean file") << x264 << QStringList{} << QString() << h264;
        QTest::newRow("odd size") << x264 << QStringList{u"size=721x405"_s} << QString()
                                  << h264 + u" -vf scale=720x404"_s;
        QTest::newRow("odd and turned") << x264 << QStringList{u"size=721x405"_s, u"rotation=90"_s}
                                        << QString() << h264 + u" -vf scale=404x720"_s;
        QTest::newRow("one pixel")
            << x264 << QStringList{u"size=1x1"_s} << QString() << h264 + u" -vf scale=2x2"_s;
        QTest::newRow("10-bit to h264")
            << x264 << QStringList{u"pix=yuv420p10le"_s, u"bits=10"_s} << QString()
            << u"-c:v libx264 -pix_fmt yuv420p -b:v 10000k -movflags +faststart -strict "
               "experimental"_s;
        QTest::newRow("4:4:4 to hevc") << x265 << QStringList{u"pix=yuv444p"_s} << QString()
                                       << u"-c:v libx265 -pix_fmt yuv420p "_s + hevc;
        QTest::newRow("10-bit hevc stays")
            << x265 << QStringList{u"pix=yuv420p10le"_s, u"bits=10"_s} << QString()
            << u"-c:v libx265 "_s + hevc;
        QTest::newRow("10-bit 4:2:2 to hevc")
            << x265 << QStringList{u"pix=yuv422p10le"_s, u"bits=10"_s} << QString()
            << u"-c:v libx265 -pix_fmt yuv420p10le "_s + hevc;
        QTest::newRow("hevc keeps alpha in software")
            << x265 + QStringList{u"alpha"_s} << QStringList{} << QString()
            << u"-c:v libx265 -pix_fmt yuva420p "_s + hevc;
        QTest::newRow("prores 422 from 4444")
            << QStringList{u"codec=ProRes (软件编码)"_s, u"profile=422 HQ"_s}
            << QStringList{u"pix=yuva444p12le"_s, u"alpha"_s} << QString()
            << u"-c:v prores_ks -pix_fmt yuv422p10le -profile:v 3"_s;
        QTest::newRow("prores 422 from 4:2:0")
            << QStringList{u"codec=ProRes (软件编码)"_s} << QStringList{} << QString()
            << u"-c:v prores_ks -profile:v 2"_s;
        QTest::newRow("prores 4444 keeps alpha when asked")
            << QStringList{u"codec=ProRes (软件编码)"_s, u"profile=4444"_s, u"alpha"_s}
            << QStringList{u"pix=yuva444p12le"_s, u"alpha"_s} << QString()
            << u"-c:v prores_ks -pix_fmt yuva444p10le -profile:v 4"_s;
        QTest::newRow("prores 4444 drops alpha when not")
            << QStringList{u"codec=ProRes (软件编码)"_s, u"profile=4444"_s}
            << QStringList{u"pix=yuva444p12le"_s, u"alpha"_s} << QString()
            << u"-c:v prores_ks -pix_fmt yuv444p10le -profile:v 4"_s;
        QTest::newRow("exact ntsc rate") << x264 + QStringList{u"rate=23.98"_s} << QStringList{}
                                         << QString() << h264 + u" -r 24000/1001"_s;
        QTest::newRow("every audio track")
            << x264 << QStringList{u"audio=3"_s} << QString() << h264 + u" -map 0:v:0 -map 0:a?"_s;

        // A chosen size is a box for the picture as shown, and its bitrate is for the whole box.
        const QStringList proxy = x264 + QStringList{u"resolution=1280x720"_s, u"bitrate=5"_s};
        const QString x264At = u"-c:v libx264 -b:v %1 -movflags +faststart -strict experimental"_s;
        QTest::newRow("fits the box") << proxy << QStringList{} << QString()
                                      << x264At.arg(u"5000k"_s) + u" -vf scale=1280x720"_s;
        QTest::newRow("4:3 in the box") << proxy << QStringList{u"size=1440x1080"_s} << QString()
                                        << x264At.arg(u"3750k"_s) + u" -vf scale=960x720"_s;
        QTest::newRow("phone clip in the box")
            << proxy << QStringList{u"size=1080x1920"_s} << QString()
            << x264At.arg(u"1578k"_s) + u" -vf scale=404x720"_s;
        QTest::newRow("turned phone clip in the box")
            << proxy << QStringList{u"size=1920x1080"_s, u"rotation=270"_s} << QString()
            << x264At.arg(u"1578k"_s) + u" -vf scale=404x720"_s;
        QTest::newRow("anamorphic, square pixels")
            << proxy << QStringList{u"size=720x480"_s, u"sar=10:11"_s} << QString()
            << x264At.arg(u"1703k"_s) + u" -vf scale=654x480,setsar=1"_s;
        QTest::newRow("anamorphic turned")
            << proxy << QStringList{u"size=1440x1080"_s, u"sar=4:3"_s, u"rotation=90"_s}
            << QString() << x264At.arg(u"1578k"_s) + u" -vf scale=404x720,setsar=1"_s;
        QTest::newRow("smaller than the box, never enlarged")
            << proxy << QStringList{u"size=640x480"_s} << QString() << x264At.arg(u"1666k"_s);
        QTest::newRow("odd and smaller, evened down")
            << proxy << QStringList{u"size=721x405"_s} << QString()
            << x264At.arg(u"1578k"_s) + u" -vf scale=720x404"_s;
        // Never more bytes than the source: a tenth under what it spends on each part, a part
        // the probe does not measure being what the container's rate leaves.
        QTest::newRow("a tenth under the source's video")
            << proxy << QStringList{u"bits/s=2000000"_s} << QString()
            << x264At.arg(u"1800k"_s) + u" -vf scale=1280x720"_s;
        QTest::newRow("and under its audio")
            << proxy
            << QStringList{u"bits/s=1000000"_s, u"audio bits/s=96000"_s, u"channels=2"_s,
                           u"container bits/s=1200000"_s}
            << QString() << x264At.arg(u"900k"_s) + u" -vf scale=1280x720 -b:a:0 86k"_s;
        QTest::newRow("only the container measured")
            << proxy << QStringList{u"container bits/s=200000"_s, u"channels=2"_s} << QString()
            << x264At.arg(u"135k"_s) + u" -vf scale=1280x720 -b:a:0 45k"_s;
        QTest::newRow("audio measured, video not")
            << proxy
            << QStringList{u"container bits/s=652034"_s, u"audio bits/s=128000"_s, u"channels=1"_s}
            << QString() << x264At.arg(u"517k"_s) + u" -vf scale=1280x720"_s;
        QTest::newRow("unknown size, the box as it is")
            << proxy << QStringList{u"size=0x0"_s} << QString()
            << x264At.arg(u"5000k"_s) + u" -vf scale=1280x720"_s;

        // The source's frames: ffmpeg's own constant rate where an index that starts with the
        // file makes it exact, the fps filter elsewhere, each frame at its own time for a
        // variable rate.
        QTest::newRow("indexed constant rate")
            << x264 << QStringList{u"rate=25/1"_s, u"frames=250"_s, u"length=10"_s} << QString()
            << h264;
        QTest::newRow("an AVI's index, from its start")
            << x264 << QStringList{u"rate=15/1"_s, u"frames=15"_s, u"length=1"_s, u"format=avi"_s}
            << QString()
            << h264 + u" -vf fps=15/1:start_time=0 -fps_mode passthrough -frames:v 15"_s;
        QTest::newRow("constant rate without an index")
            << x264 << QStringList{u"rate=30000/1001"_s, u"format=matroska,webm"_s} << QString()
            << h264 + u" -vf fps=30000/1001:round=up -fps_mode passthrough"_s;
        QTest::newRow("rounded NTSC rate")
            << x264 << QStringList{u"rate=19001/317"_s, u"format=matroska,webm"_s} << QString()
            << h264 + u" -vf fps=60000/1001:round=up -fps_mode passthrough"_s;
        QTest::newRow("video starting late")
            << proxy << QStringList{u"rate=25/1"_s, u"frames=250"_s, u"length=10"_s, u"start=0.5"_s}
            << QString()
            << x264At.arg(u"5000k"_s) +
                   u" -vf fps=25/1:round=up,scale=1280x720 -fps_mode passthrough"_s;
        QTest::newRow("variable rate")
            << x264 << QStringList{u"rate=30/1"_s, u"avg=23/1"_s, u"frames=69"_s, u"length=3"_s}
            << QString() << h264 + u" -fps_mode vfr"_s;
        QTest::newRow("a variable rate's average in Matroska")
            << x264 << QStringList{u"rate=12782/445"_s, u"format=matroska,webm"_s} << QString()
            << h264 + u" -fps_mode vfr"_s;
        QTest::newRow("Matroska's clock for a rate")
            << x264 << QStringList{u"rate=1000/1"_s, u"format=matroska,webm"_s} << QString()
            << h264 + u" -fps_mode vfr"_s;
        QTest::newRow("chosen rate") << x264 + QStringList{u"rate=25"_s}
                                     << QStringList{u"rate=30/1"_s, u"format=matroska,webm"_s}
                                     << QString() << h264 + u" -r 25"_s;

        // What the source carried.
        QTest::newRow("creation date and camera")
            << x264
            << QStringList{u"tag=creation_time:2020-01-02T03:04:05Z"_s, u"tag=make:Canon"_s,
                           u"tag=title:Trip"_s}
            << QString()
            << u"-c:v libx264 -b:v 10000k -movflags +faststart+use_metadata_tags -strict "
               "experimental -map_metadata 0"_s;
        QTest::newRow("brands of a QuickTime source")
            << x264
            << QStringList{u"tag=creation_time:2020-01-02T03:04:05Z"_s, u"tag=major_brand:qt  "_s,
                           u"tag=minor_version:512"_s, u"tag=com.apple.quicktime.make:Apple"_s}
            << QString()
            << u"-c:v libx264 -b:v 10000k -movflags +faststart+use_metadata_tags -strict "
               "experimental -map_metadata 0 -metadata major_brand= -metadata minor_version="_s;
        QTest::newRow("full range kept")
            << x264 << QStringList{u"pix=yuvj420p"_s, u"range=pc"_s} << QString()
            << u"-c:v libx264 -pix_fmt yuv420p -b:v 10000k -movflags +faststart -strict "
               "experimental -vf scale=out_range=pc -color_range pc"_s;
        QTest::newRow("full range to ProRes, which has no flag for it")
            << QStringList{u"codec=ProRes (软件编码)"_s}
            << QStringList{u"pix=yuvj422p"_s, u"range=pc"_s} << QString()
            << u"-c:v prores_ks -pix_fmt yuv422p10le -profile:v 2"_s;
        QTest::newRow("RGB is full range of its own")
            << x264 << QStringList{u"pix=rgb24"_s, u"range=pc"_s} << QString()
            << u"-c:v libx264 -pix_fmt yuv420p -b:v 10000k -movflags +faststart -strict "
               "experimental"_s;
        QTest::newRow("camera in QuickTime")
            << QStringList{u"codec=ProRes (软件编码)"_s}
            << QStringList{u"tag=make:Canon"_s, u"tag=major_brand:qt  "_s} << QString()
            << u"-c:v prores_ks -profile:v 2"_s;
        QTest::newRow("side surround")
            << x264 << QStringList{u"audio=2"_s, u"layouts=stereo|5.1(side)"_s} << QString()
            << h264 + u" -map 0:v:0 -map 0:a? -ch_layout:a:1 5.1"_s;
        QTest::newRow("nvenc") << QStringList{} << QStringList{} << u"nvenc"_s
                               << u"-c:v h264_nvenc -preset p6 -tune hq -b:v 10000k -movflags "
                                  "+faststart -strict experimental"_s;
        QTest::newRow("nvenc 10-bit hevc, odd size")
            << QStringList{u"codec=HEVC (硬件加速)"_s}
            << QStringList{u"pix=yuv420p10le"_s, u"bits=10"_s, u"size=721x405"_s} << u"nvenc"_s
            << u"-c:v hevc_nvenc -preset p6 -tune hq -pix_fmt p010le "_s + hevc +
                   u" -vf scale=720x404"_s;

        QTest::newRow("vaapi 10-bit hevc with a size")
            << QStringList{u"codec=HEVC (硬件加速)"_s, u"resolution=1280x720"_s}
            << QStringList{u"pix=yuv420p10le"_s, u"bits=10"_s} << u"vaapi"_s
            << u"-c:v hevc_vaapi "_s + hevc + u" -vf scale=1280x720,format=p010,hwupload"_s;
        QTest::newRow("quick sync")
            << QStringList{} << QStringList{} << u"qsv"_s
            << u"-c:v h264_qsv -b:v 10000k -movflags +faststart -strict experimental -vf "
               "format=nv12,hwupload=extra_hw_frames=64"_s;
    }

    void commandsForRealMedia()
    {
        QFETCH(QStringList, settings);
        QFETCH(QStringList, media);
        QFETCH(QString, hardware);
        QFETCH(QString, middle);
        const RunPlan plan = planRun(settingsWith(settings), {source(u"/A/clip.mp4"_s, media)},
                                     answers(hardware), environment());
        QVERIFY(!plan.refusal);
        const PlannedFile &file = plan.files.first();
        const QString command = file.commands.first().arguments.join(u' ');
        const QString device = hardware == u"vaapi" ? u"-vaapi_device /dev/dri/renderD128 "_s
                               : hardware == u"qsv"
                                   ? u"-init_hw_device qsv=hw -filter_hw_device hw "_s
                                   : QString();
        const QString format = file.outputPath.section(u'.', -1);
        QCOMPARE(command, device + u"-i /A/clip.mp4 -y -progress pipe:1 "_s + middle + u" -f "_s +
                              format + u" -c:a aac "_s + file.partialPath);
        // A GPU that fails mid-file leaves the software encoder to try once.
        QCOMPARE(file.softwareRetry.isEmpty(), hardware.isEmpty());
        if (!hardware.isEmpty())
            QVERIFY(file.softwareRetry.first().arguments.contains(file.retryEncoder));
    }

    void noticesSayWhichEncoderRuns()
    {
        const QStringList none = planRun(settingsWith({}), {}, answers(), environment()).notices;
        QCOMPARE(none,
                 QStringList{u"没有可用的硬件编码器（已试 h264_nvenc、h264_vaapi、h264_qsv），"
                             "已改用软件编码器 libx264"_s});
        QCOMPARE(planRun(settingsWith({u"codec=ProRes (硬件加速)"_s}), {}, answers(), environment())
                     .notices,
                 QStringList{u"这台电脑没有可用的硬件编码器，使用软件编码器 prores_ks"_s});
        QCOMPARE(planRun(settingsWith({}), {}, answers(u"nvenc"_s), environment()).notices,
                 QStringList{u"使用硬件编码器 h264_nvenc"_s});
        QCOMPARE(encoderQuestions(settingsWith({u"codec=HEVC (硬件加速)"_s})).hardware,
                 QStringList{u"hevc_videotoolbox"_s});
        QVERIFY(encoderQuestions(settingsWith({u"codec=AV1 (软件编码)"_s})).hardware.isEmpty());
    }

    void hevcWithAlphaIsRefusedWithoutAnEncoder()
    {
        EncoderAnswers without = answers();
        without.hevcAlphaEncoder.clear();
        for (const QString &codec : {u"HEVC (硬件加速)"_s, u"HEVC (软件编码)"_s}) {
            const RunPlan plan = planRun(settingsWith({u"codec="_s + codec, u"alpha"_s}),
                                         {source()}, without, environment());
            QVERIFY(plan.files.isEmpty());
            QVERIFY2(plan.refusal->detail.contains(u"ProRes 4444透明"_s),
                     qPrintable(plan.refusal->detail));
        }
        QVERIFY(encoderQuestions(settingsWith({u"codec=HEVC (软件编码)"_s, u"alpha"_s})).hevcAlpha);
    }

    void alphaRouteThroughAnIntermediate()
    {
        const TranscodeSettings settings = settingsWith({u"codec=HEVC (硬件加速)"_s, u"alpha"_s});
        const RunPlan plan = planRun(settings, {source(), source(u"/A/p.mov"_s, {u"prores4444"_s})},
                                     answers(), environment());
        const PlannedFile &any = plan.files.at(0);
        QCOMPARE(any.route, Route::HevcAlpha);
        QCOMPARE(any.temporaryFiles, (QStringList{u"/tmp/T1.mov"_s, u"/tmp/T2.mov"_s}));
        QCOMPARE(any.commands.size(), 3);
        QCOMPARE(any.commands[0].arguments.join(u' '),
                 u"-i /A/clip.mp4 -y -progress pipe:1 -c:v prores_ks -profile:v 4 -pix_fmt bgra "
                 "-f mov /tmp/T1.mov"_s);
        QCOMPARE(any.commands[1].arguments.mid(0, 4).join(u' '),
                 u"-i /tmp/T1.mov -c:v prores_ks"_s);
        QCOMPARE(any.commands[2].arguments.mid(5, 10).join(u' '),
                 u"-map 0:v:0 -c:v libx265 -pix_fmt yuva420p -crf 14 -tag:v hvc1"_s);

        QCOMPARE((QList<double>{any.commands[1].progressStart, any.commands[2].progressStart}),
                 (QList<double>{0.5, 0.75}));
        QCOMPARE(any.promise.audioStreams, 0);
        // Already ProRes 4444: straight to the export.
        QCOMPARE(plan.files.at(1).commands.size(), 1);
        QCOMPARE(plan.files.at(1).commands[0].kind, PlannedCommand::Kind::HevcAlphaExport);
    }

    // No two files of a run share an output, none lands on an input whatever path names it,
    // and every name fits the file system.
    void outputNames()
    {
        const QString longStem = QString(84, u'片'); // 252 bytes
        const QList<VideoFile> files{source(u"/A/x.mov"_s),
                                     source(u"/B/x.mp4"_s),
                                     source(u"/A/out/x (3).mp4"_s),
                                     source(u"/A/link/y.mkv"_s),
                                     source(u"/C/"_s + longStem + u".ts"_s),
                                     source(u"/D/"_s + longStem + u".ts"_s)};
        const RunPlan plan =
            planRun(settingsWith({u"codec=HEVC (软件编码)"_s}), files, answers(), environment());
        QCOMPARE(plan.outputDirectory, u"/A/已转码_HEVC (软件编码)"_s);
        // ProRes goes into QuickTime whatever the container choice says.
        const RunPlan proRes =
            planRun(settingsWith({u"codec=ProRes (软件编码)"_s, u"container=mp4"_s}), {source()},
                    answers(), environment());
        QVERIFY(proRes.files.first().outputPath.endsWith(u"/clip.mov"_s));
        QVERIFY(proRes.files.first().commands.first().arguments.join(u' ').contains(u" -f mov "_s));
        QStringList names;
        for (const PlannedFile &file : plan.files)
            names << QFileInfo(file.outputPath).fileName();
        const QString fitted = OutputNaming::fittedName(longStem, QString(), u"mp4"_s);
        QCOMPARE(names.mid(0, 4),
                 (QStringList{u"x.mp4"_s, u"x (2).mp4"_s, u"x (3).mp4"_s, u"y.mp4"_s}));
        QCOMPARE(names.mid(4),
                 (QStringList{fitted, OutputNaming::fittedName(longStem, u" (2)"_s, u"mp4"_s)}));
        for (const PlannedFile &file : plan.files) {
            QVERIFY(QFileInfo(file.partialPath).fileName().toUtf8().size() <= 255);
            QVERIFY(QFileInfo(file.partialPath).fileName().startsWith(u'.'));
        }
        QCOMPARE(fitted.toUtf8().size(), 244); // whole characters: 80 of them and ".mp4"

        // An input reached through a link in the output folder keeps its place.
        VideoFile linked = source(u"/B/y.mkv"_s);
        linked.fileKey = {1, 2};
        const RunPlan aliased =
            planRun(settingsWith({u"codec=HEVC (软件编码)"_s}), {source(u"/A/x.mov"_s), linked},
                    answers(), environment({{u"/A/已转码_HEVC (软件编码)/y.mp4"_s, {1, 2}}}));
        QCOMPARE(aliased.files.at(1).outputPath, u"/A/已转码_HEVC (软件编码)/y (2).mp4"_s);
    }

    void overwriteKeepsTheSourceNameOrTakesTheNewFormat()
    {
        const RunPlan plan =
            planRun(settingsWith({u"codec=H.264 (软件编码)"_s, u"overwrite"_s}),
                    {source(u"/A/a.MP4"_s), source(u"/A/b.webm"_s), source(u"/A/c.mov"_s)},
                    answers(), environment({{u"/A/c.mp4"_s, {9, 9}}}));
        QVERIFY(plan.outputDirectory.isEmpty());
        QStringList outputs;
        for (const PlannedFile &file : plan.files) {
            outputs << file.outputPath;
            QVERIFY(file.replacesSource);
        }
        // Another file already called c.mp4 is not replaced.
        QCOMPARE(outputs, (QStringList{u"/A/a.MP4"_s, u"/A/b.mp4"_s, u"/A/c (2).mp4"_s}));
        QCOMPARE(plan.files.first().partialPath, u"/A/.a.MP4.partial"_s);
    }

    // What becomes of a file already at an output name: kept beside the new one, or replaced
    // through the Trash (Replace, and Skip when it fails the check). A link, another kind of
    // file or an input of the run is never replaced.
    void existingOutputs_data()
    {
        QTest::addColumn<int>("policy");
        QTest::addColumn<QStringList>("outputs"); // "*" marks one that replaces a file there
        QTest::newRow("keep both")
            << int(ExistingOutput::KeepBoth)
            << QStringList{u"x (2).mp4"_s, u"y (2).mp4"_s, u"z (2).mp4"_s, u"w.mp4"_s};
        for (const ExistingOutput policy : {ExistingOutput::Replace, ExistingOutput::Skip})
            QTest::addRow("%d", int(policy))
                << int(policy)
                << QStringList{u"x.mp4*"_s, u"y (2).mp4"_s, u"z (2).mp4"_s, u"w.mp4"_s};
    }

    void existingOutputs()
    {
        QFETCH(int, policy);
        const QString out = u"/A/已转码_H.264 (软件编码)/"_s;
        VideoFile input = source(u"/B/z.mov"_s);
        input.fileKey = {5, 5};
        const QList<VideoFile> files{source(u"/A/x.mov"_s), source(u"/A/y.mov"_s), input,
                                     source(u"/A/w.mov"_s)};
        const QHash<QString, FileKey> disk{
            {out + u"x.mp4"_s, {1, 1}}, {out + u"y.mp4"_s, {}}, {out + u"z.mp4"_s, {5, 5}}};
        PlanEnvironment there = environment(disk);
        there.choices.existingOutput = static_cast<ExistingOutput>(policy);
        const TranscodeSettings settings = settingsWith({u"codec=H.264 (软件编码)"_s});
        QStringList outputs;
        for (const PlannedFile &file : planRun(settings, files, answers(), there).files)
            outputs << file.outputPath.mid(out.size()) + (file.replacesOutput ? u"*"_s : u""_s);
        QTEST(outputs, "outputs");
        // What the window asks about before the run, whatever it will choose.
        QCOMPARE(::existingOutputs(settings, files, there), QStringList{out + u"x.mp4"_s});
        QCOMPARE(::existingOutputs(settingsWith({u"overwrite"_s}), files, there), QStringList());
    }

    // A result a run of ours made is its source's, known by its mark: never skipped or
    // replaced as another file's, and keeping its name while its file is not converted.
    void resultsKnowTheirSource_data()
    {
        // The source that x.mp4 there was made from; "unmarked" where marks are kept, empty
        // where they are not.
        QTest::addColumn<QString>("madeFrom");
        QTest::addColumn<bool>("convertsX");
        QTest::addColumn<int>("policy");
        QTest::addColumn<QStringList>("outputs"); // of the files converted; "*": replaces
        const int keep = int(ExistingOutput::KeepBoth), skip = int(ExistingOutput::Skip);
        const int replace = int(ExistingOutput::Replace), resumed = -1; // x.mov taken back
        QTest::newRow("unmarked, skip")
            << u""_s << true << skip << QStringList{u"x.mp4*"_s, u"x (2).mp4"_s};
        QTest::newRow("unmarked where marks are kept, skip")
            << u"unmarked"_s << true << skip << QStringList{u"x.mp4*"_s, u"x (2).mp4"_s};
        QTest::newRow("unmarked where marks are kept, replace")
            << u"unmarked"_s << true << replace << QStringList{u"x.mp4*"_s, u"x (2).mp4"_s};
        QTest::newRow("unmarked where marks are kept, resumed")
            << u"unmarked"_s << true << resumed << QStringList{u"x (2).mp4"_s, u"x (3).mp4"_s};
        QTest::newRow("its own, resumed")
            << u"/A/x.mov"_s << true << resumed << QStringList{u"x.mp4*"_s, u"x (2).mp4"_s};
        QTest::newRow("its own, skip")
            << u"/A/x.mov"_s << true << skip << QStringList{u"x.mp4*"_s, u"x (2).mp4"_s};
        QTest::newRow("its own, keep both")
            << u"/A/x.mov"_s << true << keep << QStringList{u"x (2).mp4"_s, u"x (3).mp4"_s};
        QTest::newRow("its own, another shard's file")
            << u"/A/x.mov"_s << false << keep << QStringList{u"x (2).mp4"_s};
        QTest::newRow("a namesake's, skip")
            << u"/B/x.mov"_s << true << skip << QStringList{u"x (2).mp4"_s, u"x.mp4*"_s};
        QTest::newRow("its own before it changed, skip")
            << u"changed /A/x.mov"_s << true << skip << QStringList{u"x (2).mp4"_s, u"x (3).mp4"_s};
        QTest::newRow("an unlisted file's, skip")
            << u"/C/x.mov"_s << true << skip << QStringList{u"x (2).mp4"_s, u"x (3).mp4"_s};
    }

    void resultsKnowTheirSource()
    {
        QFETCH(QString, madeFrom);
        QFETCH(bool, convertsX);
        QFETCH(int, policy);
        const QString out = u"/A/已转码_H.264 (软件编码)/"_s;
        const QList<VideoFile> files{source(u"/A/x.mov"_s), source(u"/B/x.mov"_s)};
        PlanEnvironment there = environment();
        there.fileAt = [&](const QString &path) -> std::optional<DiskEntry> {
            if (path != out + u"x.mp4"_s)
                return std::nullopt;
            VideoFile then = source();
            if (madeFrom.startsWith(u"changed "_s))
                then.size = 1;
            const bool marked = madeFrom.startsWith(u'/') || madeFrom.startsWith(u"changed "_s);
            return DiskEntry{{1, 1},
                             true,
                             marked ? ResultMark::sourceMarkOf(then, madeFrom.section(u' ', -1))
                                    : QByteArray(),
                             !madeFrom.isEmpty()};
        };
        if (policy == -1)
            there.choices.resumed = {files.at(0).id};
        else
            there.choices.existingOutput = static_cast<ExistingOutput>(policy);
        there.choices.only = {files.at(1).id};
        if (convertsX)
            there.choices.only << files.at(0).id;
        QStringList outputs;
        for (const PlannedFile &file :
             planRun(settingsWith({u"codec=H.264 (软件编码)"_s}), files, answers(), there).files)
            outputs << file.outputPath.mid(out.size()) + (file.replacesOutput ? u"*"_s : u""_s);
        QTEST(outputs, "outputs");
    }

    // A file keeps its shard whatever else is listed, each file is in one shard, and outputs
    // are named over the whole listing as one run would name them.
    void shardsAreStableAndNameOverTheWholeListing()
    {
        QList<VideoFile> files;
        for (const char *path : {"/A/x.mov", "/B/x.mov", "/C/x.mov", "/D/y.mov", "/E/z.mov",
                                 "/F/w.mov", "/G/v.mov", "/H/u.mov"})
            files << source(QString::fromLatin1(path));
        QHash<QString, QString> whole;
        for (const PlannedFile &file :
             planRun(settingsWith({}), files, answers(), environment()).files)
            whole.insert(file.source.name + file.source.url.path(), file.outputPath);
        QHash<QString, int> before;
        for (const QList<VideoFile> &listing :
             {files, QList<VideoFile>{source(u"/A/new.mov"_s)} + files}) {
            QHash<QString, int> shardOf;
            for (int index = 0; index < 3; ++index) {
                PlanEnvironment shard = environment();
                shard.choices.shard = Shard{index, 3};
                const RunPlan plan = planRun(settingsWith({}), listing, answers(), shard);
                QCOMPARE(plan.listingSize, listing.size());
                for (const PlannedFile &file : plan.files) {
                    const QString path = file.source.url.path();
                    QVERIFY2(!shardOf.contains(path), qPrintable(path));
                    shardOf.insert(path, index);
                    if (listing.size() == files.size())
                        QCOMPARE(file.outputPath, whole.value(file.source.name + path));
                }
            }
            QCOMPARE(shardOf.size(), listing.size());
            if (before.isEmpty())
                before = shardOf;
            for (auto it = before.cbegin(); it != before.cend(); ++it)
                QCOMPARE(shardOf.value(it.key()), it.value());
        }
        // The key, not the path, places a file: the same names under another root agree.
        PlanEnvironment byName = environment();
        byName.choices.shard = Shard{0, 2};
        byName.choices.shardKey = [](const VideoFile &file) { return file.name; };
        const RunPlan plan = planRun(settingsWith({}), files.mid(0, 3), answers(), byName);
        QVERIFY(plan.files.size() == 0 || plan.files.size() == 3);
        QCOMPARE(inShard(u"x.mov"_s, {0, 2}), !inShard(u"x.mov"_s, {1, 2}));
    }

    void progressLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<double>("duration");
        QTest::addColumn<double>("result");   // NaN: no value
        QTest::addColumn<QString>("figures"); // frame fps bitrate speed time, after the line
        const double none = qQNaN();
        // From frame 7, fps 9, bitrate 3, speed 2, 6 seconds written.
        QTest::newRow("frame") << u"frame=1200"_s << 0.0 << none << u"1200 9 3 2 6"_s;

        QTest::newRow("fps N/A") << u"fps=N/A"_s << 0.0 << none << u"7 0 3 2 6"_s;
        QTest::newRow("bitrate") << u"bitrate=1234.5kbits/s"_s << 0.0 << none
                                 << u"7 9 1.2345 2 6"_s;
        QTest::newRow("bitrate N/A") << u"bitrate=N/A"_s << 0.0 << none << u"7 9 3 2 6"_s;
        QTest::newRow("speed") << u"speed= 2.5x"_s << 0.0 << none << u"7 9 3 2.5 6"_s;
        QTest::newRow("out_time") << u"out_time=00:01:02.500000"_s << 125.0 << 0.5
                                  << u"7 9 3 2 62.5"_s;
        QTest::newRow("out_time beyond")
            << u"out_time=01:00:00.0"_s << 10.0 << 1.0 << u"7 9 3 2 3600"_s;
        QTest::newRow("out_time no duration")
            << u"out_time=00:00:30.0"_s << 0.0 << none << u"7 9 3 2 30"_s;
        QTest::newRow("out_time two pieces")
            << u"out_time=00:30"_s << 12.0 << 0.5 << u"7 9 3 2 6"_s;
        QTest::newRow("progress end") << u"progress=end"_s << 0.0 << 1.0 << u"7 9 3 2 6"_s;
        QTest::newRow("other key, tail rule")
            << u"total_size=1"_s << 24.0 << 0.25 << u"7 9 3 2 6"_s;

        QTest::newRow("blanks") << u"\t fps \t=\t 25 "_s << 0.0 << none << u"7 25 3 2 6"_s;
    }

    void progressLines()
    {
        QFETCH(QString, line);
        QFETCH(double, duration);
        QFETCH(double, result);
        ProgressParser parser;
        parser.frame = 7, parser.fps = 9, parser.bitrate = 3, parser.speed = 2,
        parser.currentTime = 6;
        const std::optional<double> fraction = parser.parseProgressLine(line, duration);
        QCOMPARE(fraction.value_or(qQNaN()), result);
        QCOMPARE(fraction.has_value(), !qIsNaN(result));
        const ProgressFigures f = parser.figures();
        QTEST(u"%1 %2 %3 %4 %5"_s.arg(f.frame).arg(f.fps).arg(f.bitrate).arg(f.speed).arg(
                  f.currentTime),
              "figures");
    }

    void ffmpegsMostSpecificLine_data()
    {
        QTest::addColumn<QByteArrayList>("stderr");
        QTest::addColumn<QString>("reason");
        QTest::newRow("odd size")
            << QByteArrayList{"Input #0, mpeg, from 'a.mpg':", "  Duration: 00:00:00.42",
                              "[libx264 @ 0x5563] height not divisible by 2 (720x405)",
                              "Error initializing output stream 0:0 -- Error while opening encoder "
                              "for output stream #0:0",
                              "Conversion failed!"}
            << u"height not divisible by 2 (720x405)"_s;
        QTest::newRow("unknown option")
            << QByteArrayList{"Unrecognized option 'alpha_quality'.",
                              "Error splitting the argument list: Option not found"}
            << u"Unrecognized option 'alpha_quality'."_s;
        QTest::newRow("full disk")
            << QByteArrayList{"av_interleaved_write_frame(): No space left on device",
                              "Error closing file /a/.b.partial: No space left on device",
                              "[aac @ 0x5] Qavg: 101.902", "Conversion failed!"}
            << u"Error closing file /a/.b.partial: No space left on device"_s;
        QTest::newRow("only generic")
            << QByteArrayList{"Conversion failed!"} << u"Conversion failed!"_s;
        QTest::newRow("nothing") << QByteArrayList{"", "  "} << QString();
    }

    void ffmpegsMostSpecificLine()
    {
        QFETCH(QByteArrayList, stderr);
        FFmpegDiagnosis diagnosis;
        for (const QByteArray &line : stderr)
            diagnosis.add(line);
        QTEST(diagnosis.reason(), "reason");
    }

    // The sizes the window shows and what each output is held to.
    void plannedSizesAndPromises()
    {
        const QList<VideoFile> files{
            source(u"/A/a.mp4"_s, {u"size=1080x1920"_s}),
            source(u"/A/b.mp4"_s, {u"size=0x0"_s}),
            source(u"/A/c.mp4"_s, {u"rate=25/1"_s, u"frames=250"_s, u"length=10"_s}),
            source(u"/A/d.mp4"_s, {u"rate=25/1"_s, u"frames=251"_s, u"length=3"_s}),
            source(u"/A/e.mp4"_s, {u"size=720x480"_s, u"sar=10:11"_s}),
            source(u"/A/f.mkv"_s,
                   {u"format=matroska,webm"_s, u"rate=24000/1001"_s, u"length=2.002"_s}),
            source(u"/A/g.mkv"_s, {u"format=matroska,webm"_s, u"rate=24000/1001"_s,
                                   u"length=2.023"_s, u"size=721x405"_s})};
        const RunPlan proxy =
            planRun(settingsWith({u"resolution=1280x720"_s}), files, answers(), environment());
        QList<QSize> sizes;
        for (const PlannedFile &file : proxy.files) {
            sizes << file.outputSize;
            QCOMPARE(file.chosenSize, QSize(1280, 720));
        }
        QCOMPARE(sizes, (QList<QSize>{{404, 720},
                                      {1280, 720},
                                      {1280, 720},
                                      {1280, 720},
                                      {654, 480},
                                      {1280, 720},
                                      {720, 404}}));
        // With the source's size chosen, its own as shown is what the output is measured by.
        const RunPlan original = planRun(settingsWith({}), files, answers(), environment());
        QCOMPARE(original.files.at(4).outputSize, QSize(720, 480));
        QCOMPARE((QList<QSize>{original.files.at(6).outputSize, original.files.at(6).chosenSize,
                               original.files.at(1).chosenSize}),
                 (QList<QSize>{{720, 404}, {721, 405}, {}}));
        const OutputPromise counted = proxy.files.at(2).promise;
        QCOMPARE(
            (QList<double>{double(counted.frames), counted.videoDuration, counted.frameSeconds}),
            (QList<double>{250, 10, 0.04}));
        // An index that counts more frames than its length shows (an edit list) promises none.
        QCOMPARE(proxy.files.at(3).promise.frames, -1);
        QCOMPARE(proxy.files.at(4).promise.displayAspect, 720.0 * 10 / 11 / 480);
        // Matroska counts no frames: its tagged length at a steady rate promises them where it
        // is a whole number of frames, not where it is half way between two.
        QCOMPARE(
            (QList<qint64>{proxy.files.at(5).promise.frames, proxy.files.at(6).promise.frames}),
            (QList<qint64>{48, -1}));
        const TranscodeSettings chosenRate = settingsWith({u"rate=25"_s});
        QCOMPARE(planRun(chosenRate, files, answers(), environment()).files.at(2).promise.frames,
                 -1);
    }

    // An output counts when read to its end it is what the plan promised.
    void outputsAreJudgedAgainstTheirPromise_data()
    {
        QTest::addColumn<QStringList>("result"); // changes to a result that matches
        QTest::addColumn<QString>("problem");    // empty: none
        QTest::newRow("as promised") << QStringList{} << QString();
        QTest::newRow("duration within max(1 s, 2%)")
            << QStringList{u"duration=10.9"_s} << QString();
        QTest::newRow("too long") << QStringList{u"duration=11.5"_s}
                                  << u"转码结果时长 11.50 秒，与原文件的 10.00 秒不符"_s;
        QTest::newRow("no duration") << QStringList{u"duration=0"_s} << u"时长无法确定"_s;
        QTest::newRow("not read to the end") << QStringList{u"read=-1"_s} << u"长度无法确定"_s;
        QTest::newRow("cut short, index intact")
            << QStringList{u"read=120"_s} << u"转码结果不完整：索引记有 250 帧，只读到 120 帧"_s;
        QTest::newRow("a frame more") << QStringList{u"read=251"_s, u"frames=251"_s}
                                      << u"转码结果有 251 帧，原文件有 250 帧"_s;
        QTest::newRow("video a frame long") << QStringList{u"video=10.04"_s} << QString();
        QTest::newRow("video longer") << QStringList{u"video=10.1"_s} << u"相差超过一帧"_s;
        QTest::newRow("stretched") << QStringList{u"size=1280x720"_s, u"sar=1:1"_s}
                                   << u"画面比例 1.778 与原文件的 1.333 不符"_s;
        QTest::newRow("anamorphic, same shape")
            << QStringList{u"size=1280x720"_s, u"sar=3:4"_s} << QString();
        QTest::newRow("audio missing") << QStringList{u"audio=0"_s} << u"音轨"_s;
        QTest::newRow("audio a little short") << QStringList{u"track seconds=9.3"_s} << QString();
        QTest::newRow("audio cut short")
            << QStringList{u"track seconds=0.3"_s}
            << u"转码结果的第 1 条音轨长 0.30 秒，与原文件的 10.00 秒不符"_s;
        QTest::newRow("no video") << QStringList{u"video streams=0"_s} << u"没有视频流"_s;
    }

    void outputsAreJudgedAgainstTheirPromise()
    {
        QFETCH(QStringList, result);
        OutputPromise promise;
        promise.audioStreams = 1;
        promise.duration = 10;
        promise.displayAspect = 4.0 / 3;
        promise.frames = 250;
        promise.videoDuration = 10;
        promise.frameSeconds = 0.04;
        promise.audioDurations = {10};
        const VideoFile output = with(
            source(u"/A/out.mp4"_s),
            QStringList{u"size=960x720"_s, u"frames=250"_s, u"read=250"_s, u"video=10"_s} + result);
        const std::optional<QString> found = OutputCheck::problemWith(output, promise);
        QFETCH(QString, problem);
        QVERIFY2(problem.isEmpty() ? !found : found && found->contains(problem),
                 qPrintable(found.value_or(u"none"_s)));
    }
};

QTEST_GUILESS_MAIN(TestPlan)
#include "tst_plan.moc"
