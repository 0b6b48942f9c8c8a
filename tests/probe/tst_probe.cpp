#include "TestSupport.h"
#include "probe/ProbeWorkerPool.h"
#include "probe/VideoProbe.h"

#include <QJsonValue>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {

// JSON written with single quotes, for readability.
QByteArray q(const char *text)
{
    return QByteArray(text).replace('\'', '"');
}

const QUrl clipUrl = QUrl::fromLocalFile(u"/videos/片段 \"one\".mov"_s);

// A document with one video stream whose fields are `video`, and a format section `format`.
QByteArray document(const QByteArray &video, const QByteArray &format = q("'duration': '1.5'"))
{
    const QByteArray fields = video.isEmpty() ? video : ", " + video;
    return q("{'streams': [{'codec_type': 'video'") + fields + q("}], 'format': {") + format + "}}";
}

// The summary line that starts with `prefix`, without it.
QString summaryLine(const ProbeOutcome &outcome, const QString &prefix)
{
    for (const QString &line : outcome.trace) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size());
    }
    return u"<missing>"_s;
}

ProbeOutcome outcomeOf(QSignalSpy &finished)
{
    if (!finished.isEmpty() || !finished.wait(30000))
        qFatal("the probe finished before returning, or never");
    return finished.first().first().value<ProbeOutcome>();
}

ProbeOutcome probe(const QString &path, const QString &resources = {},
                   std::chrono::milliseconds limit = VideoProbe::TimeLimit)
{
    VideoProbe probe{ToolLocator(resources)};
    probe.setTimeLimit(limit);
    QSignalSpy finished(&probe, &VideoProbe::finished);
    probe.getVideoInfo(QUrl::fromLocalFile(path));
    return outcomeOf(finished);
}

// The trace from the parsed JSON on, where ffprobe's and quillmere-probe's answers must agree.
QStringList traceAfterJson(const ProbeOutcome &outcome)
{
    const auto parsed =
        std::find_if(outcome.trace.begin(), outcome.trace.end(),
                     [](const QString &line) { return line.contains(u"JSON，"_s); });
    return QStringList(parsed, outcome.trace.end()) << outcome.failure;
}

} // namespace

Q_DECLARE_METATYPE(ProbeOutcome)

class TestProbe : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { qRegisterMetaType<ProbeOutcome>(); }

    void wholeTraceOfASuccessfulProbe()
    {
        const QByteArray json =
            q("{'streams': [{'codec_type': 'audio'}, {}, {'codec_type': 'video', 'codec_name': "
              "'h264', 'codec_long_name': 'H.264 / AVC', 'width': 1920, 'height': 1080, "
              "'r_frame_rate': '30000/1001', 'pix_fmt': 'yuv420p10le', 'bits_per_raw_sample': "
              "'10'}, {'codec_type': 'video', 'width': 1}, {'codec_type': 'subtitle'}], "
              "'format': {'bit_rate': '12500000', 'duration': '62.500000'}, 'extra': 1}");
        const ProbeOutcome outcome = interpretProbeOutput(json, clipUrl, {123456789, {}});
        QCOMPARE(
            outcome.trace,
            (QStringList{u"🔍 [DEBUG] FFprobe 输出数据长度: %1"_s.arg(json.size()),
                         u"🔍 [DEBUG] FFprobe JSON 输出: "_s + QString::fromUtf8(json) + u"..."_s,
                         u"🔍 [DEBUG] 成功解析 JSON，包含 3 个键"_s, u"成功解析视频信息："_s,
                         u"分辨率: 1920x1080"_s, u"帧率: 29.97"_s, u"编码器: h264 (H.264 / AVC)"_s,
                         u"码率: 12Mbps"_s, u"色彩格式: yuv420p10le"_s, u"位深: 10bit"_s,
                         u"Alpha通道: 否"_s, u"时长: 62.5秒"_s, u"文件大小: 123.5 MB"_s}));
        const VideoFile &file = *outcome.file;
        QCOMPARE(file.name, u"片段 \"one\".mov"_s);
        QCOMPARE(file.url, clipUrl);
        QCOMPARE(file.size, 123456789);
        QCOMPARE(file.bitsPerSecond, 12500000);
        QCOMPARE((QList<int>{file.videoStreams, file.audioStreams, file.otherStreams}),
                 (QList<int>{2, 1, 1}));
        QVERIFY(!file.id.isNull());
        QVERIFY(interpretProbeOutput(json, clipUrl, {}).file->id != file.id);
    }

    void failures_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QString>("lastLine");
        const QString notFound = u"Error: Required video information not found in JSON"_s;
        const QString notJson = u"Error: Could not parse FFprobe JSON output"_s;
        QTest::newRow("empty") << QByteArray() << u"❌ [ERROR] FFprobe 没有输出任何数据"_s;
        QTest::newRow("not json") << QByteArray("Invalid data found") << notJson;
        QTest::newRow("array at top") << q("[{'codec_type': 'video'}]") << notJson;
        QTest::newRow("no format") << q("{'streams': [{'codec_type': 'video'}]}") << notFound;
        QTest::newRow("stray stream")
            << q("{'streams': [{'codec_type': 'video'}, 7], 'format': {}}") << notFound;
        QTest::newRow("audio only")
            << q("{'streams': [{'codec_type': 'audio'}], 'format': {}}") << notFound;
        QTest::newRow("type in capitals")
            << q("{'streams': [{'codec_type': 'Video'}], 'format': {}}") << notFound;
    }

    void failures()
    {
        QFETCH(QByteArray, output);
        const ProbeOutcome outcome = interpretProbeOutput(output, clipUrl, {});
        QVERIFY(!outcome.file.has_value());
        QVERIFY(!outcome.failure.isEmpty());
        QTEST(outcome.trace.last(), "lastLine");
    }

    void fieldRules_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("value");
        const QString res = u"分辨率: "_s, rate = u"帧率: "_s, codec = u"编码器: "_s,
                      bitrate = u"码率: "_s, format = u"色彩格式: "_s, depth = u"位深: "_s,
                      alpha = u"Alpha通道: "_s, duration = u"时长: "_s;
        QTest::newRow("no size") << document("") << res << u"0x0"_s;
        QTest::newRow("size as strings")
            << document(q("'width': '640', 'height': 480")) << res << u"0x480"_s;
        QTest::newRow("fractional width")
            << document(q("'width': 640.5, 'height': 480")) << res << u"0x480"_s;
        QTest::newRow("rate 0/0") << document(q("'r_frame_rate': '0/0'")) << rate << u"0/0"_s;
        QTest::newRow("rate not a string")
            << document(q("'r_frame_rate': 25")) << rate << QString();
        QTest::newRow("codec missing")
            << document(q("'codec_name': 'hevc'")) << codec << u"hevc (未知)"_s;
        QTest::newRow("bitrate missing") << document("") << bitrate << u"未知"_s;
        QTest::newRow("bitrate truncated")
            << document("", q("'bit_rate': '2999999'")) << bitrate << u"2Mbps"_s;
        QTest::newRow("bitrate as number")
            << document("", q("'bit_rate': 5000000")) << bitrate << u"未知"_s;
        QTest::newRow("bitrate overflow")
            << document("", q("'bit_rate': '99999999999999999999'")) << bitrate << u"未知"_s;
        QTest::newRow("pix_fmt missing") << document("") << format << u"未知"_s;
        QTest::newRow("depth integer")
            << document(q("'bits_per_raw_sample': 10")) << depth << u"10bit"_s;
        QTest::newRow("depth from name")
            << document(q("'bits_per_raw_sample': 'N/A', 'pix_fmt': 'p010le'")) << depth
            << u"10bit"_s;
        QTest::newRow("depth unknown")
            << document(q("'pix_fmt': 'yuv420p99'")) << depth << u"8bit"_s;
        for (const char *name : {"yuva444p10le", "rgba", "bgra", "argb", "gbrp_alpha"})
            QTest::addRow("alpha %s", name)
                << document(q("'pix_fmt': '") + name + '"') << alpha << u"是"_s;
        for (const char *name : {"ARGB", "gbrap", "abgr", "alphax"})
            QTest::addRow("no alpha %s", name)
                << document(q("'pix_fmt': '") + name + '"') << alpha << u"否"_s;
        QTest::newRow("duration missing") << document("", "") << duration << u"0.0秒"_s;
        QTest::newRow("duration with blank")
            << document("", q("'duration': ' 1.5'")) << duration << u"0.0秒"_s;
        QTest::newRow("duration shortest")
            << document("", q("'duration': '0.1'")) << duration << u"0.1秒"_s;
    }

    void fieldRules()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, line);
        const ProbeOutcome outcome = interpretProbeOutput(json, clipUrl, {});
        QVERIFY2(outcome.file.has_value(), qPrintable(outcome.trace.join(u'\n')));
        QTEST(summaryLine(outcome, line), "value");
    }

    void previewIsCutAt500CharactersAndSkippedForBadBytes()
    {
        QString title;
        for (int i = 0; i < 300; ++i)
            title += u"片e\u0301"_s; // "é" as e and a combining accent: one character
        const QByteArray json = document(q("'codec_name': 'h264'"),
                                         q("'tags': {'title': '") + title.toUtf8() + q("'}"));
        const QString preview = interpretProbeOutput(json, clipUrl, {}).trace.at(1);
        const QString shown = preview.mid(preview.indexOf(u": "_s) + 2).chopped(3);
        const int before = static_cast<int>(QString::fromUtf8(json).indexOf(u'片'));
        QCOMPARE(shown.size() - before, ((500 - before) / 2) * 3 + ((500 - before) % 2));
        QByteArray bad = json;
        bad.replace("h264", "\xff\xfe");
        QVERIFY(!interpretProbeOutput(bad, clipUrl, {}).trace.join(u'\n').contains(u"JSON 输出"));
    }

    void numbersAsTheTraceWritesThem()
    {
        QCOMPARE(formatFrameRate(u"/50//2/"_s), u"25.00"_s);
        QCOMPARE(formatFrameRate(u"2/3"_s), u"0.67"_s);
        QCOMPARE(formatFrameRate(u"25/-1"_s), u"25/-1"_s);
        QCOMPARE(bitDepthOf(QJsonValue(u"14"_s), u"yuv420p"_s), 14);
        QCOMPARE(bitDepthOf(QJsonValue(), u"yuva420p9le"_s), 9);
        QCOMPARE(bitDepthOf(QJsonValue(), u"rgba64be"_s), 16);
        QCOMPARE(shortestDecimal(0.1 + 0.2), u"0.30000000000000004"_s);
        QCOMPARE(shortestDecimal(1e16), u"1e+16"_s);
        QCOMPARE(shortestDecimal(0.00001), u"1e-05"_s);
        QCOMPARE(fileSizeText(1), u"1 byte"_s);
        QCOMPARE(fileSizeText(15234), u"15 KB"_s);
        QCOMPARE(fileSizeText(4500000000), u"4.50 GB"_s);
    }

    // What the run needs to know, read from the kinds of file cameras and phones make.
    void realFiles_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("display");  // resolution, frame rate, codec, pixels, depth
        QTest::addColumn<QList<int>>("facts"); // shown size, rotation, audio, other streams
        QTest::addColumn<bool>("alpha");
        QTest::newRow("odd mpeg-2") << clip(Clip::Odd) << u"161x91 25.00 mpeg2video yuv420p 8bit"_s
                                    << QList<int>{161, 91, 0, 1, 0} << false;
        QTest::newRow("10-bit hevc")
            << clip(Clip::TenBit) << u"160x120 25.00 hevc yuv420p10le 10bit"_s
            << QList<int>{160, 120, 0, 1, 0} << false;
        QTest::newRow("prores 4444")
            << clip(Clip::Alpha) << u"160x120 25.00 prores yuva444p12le 12bit"_s
            << QList<int>{160, 120, 0, 0, 0} << true;
        QTest::newRow("rotated") << clip(Clip::Rotated) << u"160x91 25.00 mpeg4 yuv420p 8bit"_s
                                 << QList<int>{91, 160, 270, 0, 0} << false;

        QTest::newRow("two audio and subtitles")
            << clip(Clip::TwoAudio) << u"160x120 25.00 h264 yuv420p 8bit"_s
            << QList<int>{160, 120, 0, 2, 1} << false;
    }

    void realFiles()
    {
        QFETCH(QString, path);
        const ProbeOutcome outcome = probe(path);
        QVERIFY2(outcome.file.has_value(), qPrintable(outcome.trace.join(u'\n')));
        const VideoFile &file = *outcome.file;
        const QStringList display{file.resolution, file.frameRate, file.codec.section(u' ', 0, 0),
                                  file.colorFormat, file.bitDepth};
        QTEST(display.join(u' '), "display");
        const QList<int> facts{file.shownWidth(), file.shownHeight(), file.rotation,
                               file.audioStreams, file.otherStreams};
        QTEST(facts, "facts");
        QTEST(file.hasAlpha, "alpha");
        QCOMPARE(file.isProRes4444, path == clip(Clip::Alpha));
        QCOMPARE(file.fileKey, fileFactsAt(path).key);
        QVERIFY(file.fileKey.isValid());
        QCOMPARE(outcome.trace.at(1),
                 u"🔍 [DEBUG] ffprobe 路径: "_s + QStandardPaths::findExecutable(u"ffprobe"_s));
    }

    // What an editor relinks a proxy by and what an output keeps, read the same by ffprobe
    // and quillmere-probe.
    void mediaFacts_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("facts");
        QTest::newRow("anamorphic") << clip(Clip::Anamorphic)
                                    << u"10:11 shape, 25/1 rate, 25/1 average, 3 frames, 0.12 s"_s;
        QTest::newRow("no shape") << clip(Clip::NoShape)
                                  << u"0:0 shape, 25/1 rate, 25/1 average, 3 frames, 0.12 s"_s;
        QTest::newRow("gaps") << clip(Clip::Gaps)
                              << u"1:1 shape, 25/1 rate, 25/1 average, 15 frames, 0.6 s"_s;
        QTest::newRow("variable")
            << clip(Clip::Variable)
            << u"1:1 shape, 25/1 rate, 20/1 average, 8 frames, 0.4 s; audio mono"_s;
        QTest::newRow("matroska, its length tagged")
            << clip(Clip::Film)
            << u"1:1 shape, 24000/1001 rate, 24000/1001 average, -1 frames, 0.417 s; audio mono"_s;
        QTest::newRow("tagged")
            << clip(Clip::Tagged)
            << u"1:1 shape, 25/1 rate, 25/1 average, 10 frames, 0.4 s; timecode 01:00:00:00; "
               "created 2020-01-02T03:04:05Z, Canon EOS R5; bt709 bt709 bt709 tv; audio 5.1"_s;
    }

    void mediaFacts()
    {
        QFETCH(QString, path);
        ProbeWorkerPool pool{ToolLocator(QStringLiteral(QUILLMERE_PROBE_DIR))};
        QSignalSpy finished(pool.probe(QUrl::fromLocalFile(path)), &ProbeRequest::finished);
        const ProbeOutcome worker = outcomeOf(finished);
        for (const ProbeOutcome &outcome : {worker, probe(path)}) {
            QVERIFY2(outcome.file, qPrintable(outcome.trace.join(u'\n')));
            const VideoFile &file = *outcome.file;
            QString facts = u"%1:%2 shape, %3/%4 rate, %5/%6 average, %7 frames, %8 s"_s
                                .arg(file.sampleAspect.num)
                                .arg(file.sampleAspect.den)
                                .arg(file.baseFrameRate.num)
                                .arg(file.baseFrameRate.den)
                                .arg(file.averageFrameRate.num)
                                .arg(file.averageFrameRate.den)
                                .arg(file.frameCount)
                                .arg(file.videoDuration);
            if (!file.timecode.isEmpty())
                facts += u"; timecode "_s + file.timecode;
            if (file.tags.contains(u"make"_s))
                facts += u"; created %1, %2 %3"_s.arg(file.tags.value(u"creation_time"_s),
                                                      file.tags.value(u"make"_s),
                                                      file.tags.value(u"model"_s));
            if (!file.colorPrimaries.isEmpty())
                facts += u"; %1 %2 %3 %4"_s.arg(file.colorPrimaries, file.colorTransfer,
                                                file.colorSpace, file.colorRange);
            if (!file.audioLayouts.isEmpty())
                facts += u"; audio "_s + file.audioLayouts.join(u' ');
            QTEST(facts, "facts");
        }
    }

    // Matroska keeps a track's length and rate as tags where the stream has none: mkvmerge's
    // statistics give the length, ffmpeg's writer the time the track ends.
    void trackStatistics_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("facts"); // length, video bits/s; each audio track's
        const QByteArray audio =
            q(", {'codec_type': 'audio', 'channels': 2, 'tags': {'BPS-eng': '24000'}}");
        const auto with = [&](const QByteArray &video) {
            return q("{'streams': [{'codec_type': 'video', ") + video + q("}") + audio +
                   q("], 'format': {'start_time': '0.000000'}}");
        };
        QTest::newRow("ffmpeg's end time")
            << with(q("'start_time': '0.021000', 'tags': {'DURATION': '00:00:02.023000000'}"))
            << u"2.002 s, -1 b/s; 2 ch 24000 b/s"_s;
        QTest::newRow("mkvmerge's length and rate")
            << with(q("'start_time': '0.521000', 'tags': {'DURATION': '00:00:02.002000000', "
                      "'BPS': '724387', '_STATISTICS_TAGS': 'BPS DURATION NUMBER_OF_FRAMES'}"))
            << u"2.002 s, 724387 b/s; 2 ch 24000 b/s"_s;
        QTest::newRow("the stream's own first")
            << with(q("'duration': '1.500000', 'bit_rate': '5000', 'tags': {'DURATION': "
                      "'00:01:00.000000000', 'BPS': '9'}"))
            << u"1.5 s, 5000 b/s; 2 ch 24000 b/s"_s;
        QTest::newRow("not a clock")
            << with(q("'tags': {'DURATION': '2.5'}")) << u"0 s, -1 b/s; 2 ch 24000 b/s"_s;
    }

    void trackStatistics()
    {
        QFETCH(QByteArray, json);
        const ProbeOutcome outcome = interpretProbeOutput(json, clipUrl, {});
        QVERIFY2(outcome.file, qPrintable(outcome.trace.join(u'\n')));
        const VideoFile &file = *outcome.file;
        QString facts = u"%1 s, %2 b/s"_s.arg(file.videoDuration).arg(file.videoBitsPerSecond);
        for (int track = 0; track < file.audioStreams; ++track)
            facts += u"; %1 ch %2 b/s"_s.arg(file.audioChannels.value(track))
                         .arg(file.audioBitsPerSecond.value(track));
        QTEST(facts, "facts");
    }

    // A playlist or a list of other files is refused before anything reads what it names.
    void indirectionIsNoVideo_data()
    {
        QTest::addColumn<QString>("path");
        const QString media = QFileInfo(clip(Clip::Plain)).path();
        const QString concat = media + u"/list.mov"_s;
        writeFile(concat, "ffconcat version 1.0\nfile plain.mp4\n");
        QTest::newRow("hls") << clip(Clip::Playlist);
        QTest::newRow("concat") << concat;
    }

    void indirectionIsNoVideo()
    {
        QFETCH(QString, path);
        ProbeWorkerPool pool{ToolLocator(QStringLiteral(QUILLMERE_PROBE_DIR))};
        QSignalSpy finished(pool.probe(QUrl::fromLocalFile(path)), &ProbeRequest::finished);
        const ProbeOutcome worker = outcomeOf(finished);
        for (const ProbeOutcome &outcome : {worker, probe(path)}) {
            QVERIFY(!outcome.file);
            QCOMPARE(outcome.failure, u"不是视频文件"_s);
        }
    }

    // quillmere-probe does not even open what a playlist names: here a pipe nobody writes,
    // which would hold it until its time limit.
    void theWorkerOpensNothingAPlaylistNames()
    {
        QTemporaryDir folder;
        QVERIFY(::mkfifo(QFile::encodeName(folder.filePath(u"segment.ts"_s)).constData(), 0600) ==
                0);
        const QString playlist = folder.filePath(u"playlist.mp4"_s);
        QFile::copy(clip(Clip::Playlist), playlist);
        ProbeWorkerPool pool{ToolLocator(QStringLiteral(QUILLMERE_PROBE_DIR))};
        pool.setTimeLimit(std::chrono::seconds(20));
        QSignalSpy finished(pool.probe(QUrl::fromLocalFile(playlist)), &ProbeRequest::finished);
        QCOMPARE(outcomeOf(finished).failure, u"不是视频文件"_s);
    }

    void probesThatNeverEndFailTheFileAlone_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("limit"); // milliseconds; only one limit can be reached in each
        QTest::addColumn<QString>("failure");
        QTest::newRow("endless output") << QByteArray("exec yes\n") << 600000 << u"超过 32 MB"_s;
        QTest::newRow("hangs") << QByteArray("exec sleep 30\n") << 300 << u"超过 0.3 秒仍未完成"_s;
        QTest::newRow("cannot start") << QByteArray() << 600000 << u"无法启动 ffprobe"_s;
    }

    void probesThatNeverEndFailTheFileAlone()
    {
        QFETCH(QByteArray, body);
        QTemporaryDir resources;
        const QString tool = writeTool(resources.path(), u"ffprobe"_s, body);
        if (body.isEmpty())
            writeFile(tool, "#!/nonexistent/interpreter\n");
        QFETCH(int, limit);
        const ProbeOutcome outcome =
            probe(u"/videos/a.mp4"_s, resources.path(), std::chrono::milliseconds(limit));
        QVERIFY(!outcome.file.has_value());
        QFETCH(QString, failure);
        QVERIFY2(outcome.failure.contains(failure), qPrintable(outcome.failure));
    }

    // quillmere-probe's answer reads into the record ffprobe's does, for every kind of clip and
    // for what is not one, whatever its name.
    void workerAnswersAsFFprobeDoes_data()
    {
        QTest::addColumn<QString>("path");
        const QString media = QFileInfo(clip(Clip::Plain)).path();
        const QString audio = media + u"/audio.m4a"_s;
        runFFmpeg({u"-f"_s, u"lavfi"_s, u"-i"_s, u"sine"_s, u"-t"_s, u"0.2"_s, audio});
        writeFile(media + u"/text.mov"_s, "not a video\n");
        writeFile(media + u"/empty.mp4"_s, "");
        const QString uneven = media + u"/uneven.mp4"_s; // its average rate is not its base rate
        runFFmpeg({u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc2=size=64x48:duration=0.8"_s, u"-vf"_s,
                   u"setpts='if(lt(N,10),N,3*N)/25/TB'"_s, u"-fps_mode"_s, u"passthrough"_s,
                   uneven});

        for (const auto &[name, kind] : {std::pair{"plain", Clip::Plain},
                                         {"odd mpeg-2", Clip::Odd},
                                         {"10-bit hevc", Clip::TenBit},
                                         {"prores 4444", Clip::Alpha},
                                         {"4:4:4", Clip::Yuv444},
                                         {"two audio", Clip::TwoAudio},
                                         {"no audio", Clip::NoAudio},
                                         {"rotated", Clip::Rotated},
                                         {"vp9", Clip::Vp9},
                                         {"truncated", Clip::Truncated}})
            QTest::newRow(name) << clip(kind);
        for (const auto &[name, kind] : {std::pair{"square 4:3", Clip::Square43},
                                         {"no shape", Clip::NoShape},
                                         {"anamorphic", Clip::Anamorphic},
                                         {"portrait", Clip::Portrait},
                                         {"variable", Clip::Variable},
                                         {"gaps", Clip::Gaps},
                                         {"tagged", Clip::Tagged},
                                         {"film", Clip::Film},
                                         {"low rate", Clip::LowRate}})
            QTest::newRow(name) << clip(kind);
        QTest::newRow("hostile name")
            << copyTo(clip(Clip::Vp9), media + u"/-x %41%zz\n'\"q\\ 片.webm"_s);
        QTest::newRow("variable rate") << uneven;
        QTest::newRow("audio only") << audio;

        QTest::newRow("subtitles only") << media + u"/s.srt"_s;
        QTest::newRow("text") << media + u"/text.mov"_s;
        QTest::newRow("empty") << media + u"/empty.mp4"_s;
        QTest::newRow("missing") << media + u"/missing.mp4"_s;
    }

    void workerAnswersAsFFprobeDoes()
    {
        QFETCH(QString, path);
        const ProbeOutcome ffprobe = probe(path);
        ProbeWorkerPool pool{ToolLocator(QStringLiteral(QUILLMERE_PROBE_DIR))};
        QSignalSpy finished(pool.probe(QUrl::fromLocalFile(path)), &ProbeRequest::finished);
        ProbeOutcome worker = outcomeOf(finished);
        QCOMPARE(worker.trace.at(1), u"🔍 [DEBUG] ffprobe 路径: "_s +
                                         QStringLiteral(QUILLMERE_PROBE_DIR) +
                                         u"/quillmere-probe"_s);
        QCOMPARE(traceAfterJson(worker), traceAfterJson(ffprobe));
        QCOMPARE(worker.file.has_value(), ffprobe.file.has_value());
        if (worker.file) {
            worker.file->id = ffprobe.file->id;
            QVERIFY(*worker.file == *ffprobe.file);
        }
    }

    void missingFFprobe()
    {
        QTemporaryDir empty;
        const EnvironmentGuard path("PATH", empty.path().toUtf8());
        const ProbeOutcome outcome = probe(u"/videos/a.mp4"_s, empty.path());
        QCOMPARE(outcome.trace, (QStringList{u"🔍 [DEBUG] getVideoInfo 开始处理: /videos/a.mp4"_s,
                                             u"❌ [ERROR] ffprobe not found in bundle"_s}));
    }
};

QTEST_GUILESS_MAIN(TestProbe)
#include "tst_probe.moc"
