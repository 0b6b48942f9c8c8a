#include "probe/ProbeOutput.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// JSON written with single quotes, for readability.
QByteArray q(const char *text)
{
    return QByteArray(text).replace('\'', '"');
}

const QUrl clip = QUrl::fromLocalFile(u"/videos/片段 \"one\".mov"_s);

// A document with one video stream whose fields are `video`, and a format section `format`.
QByteArray document(const QByteArray &video, const QByteArray &format = q("'duration': '1.5'"))
{
    const QByteArray fields = video.isEmpty() ? video : ", " + video;
    return q("{'streams': [{'codec_type': 'video'") + fields + q("}], 'format': {") + format + "}}";
}

QString summaryLine(const ProbeOutcome &outcome, const QString &prefix)
{
    for (const QString &line : outcome.trace) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size());
    }
    return u"<missing>"_s;
}

} // namespace

class TestProbeOutput : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wholeTraceOfASuccessfulProbe()
    {
        const QByteArray json = q(
            "{'streams': [\n"
            "            {'codec_type': 'audio', 'codec_name': 'aac'},\n"
            "            {},\n"
            "            {'codec_type': 'video', 'codec_name': 'h264',\n"
            "             'codec_long_name': 'H.264 / AVC / MPEG-4 AVC / MPEG-4 part 10', 'width': "
            "1920,\n"
            "             'height': 1080, 'r_frame_rate': '30000/1001', 'pix_fmt': 'yuv420p10le',\n"
            "             'bits_per_raw_sample': '10'},\n"
            "            {'codec_type': 'video', 'codec_name': 'png', 'width': 1, 'height': 1}],\n"
            "            'format': {'bit_rate': '12500000', 'duration': '62.500000'}, 'extra': 1}");
        const ProbeOutcome outcome = interpretProbeOutput(json, clip, 123456789);
        QVERIFY(outcome.file.has_value());
        const QStringList expected{
            u"🔍 [DEBUG] FFprobe 输出数据长度: %1"_s.arg(json.size()),
            u"🔍 [DEBUG] FFprobe JSON 输出: "_s + QString::fromUtf8(json.left(500)) + u"..."_s,
            u"🔍 [DEBUG] 成功解析 JSON，包含 3 个键"_s,
            u"成功解析视频信息："_s,
            u"分辨率: 1920x1080"_s,
            u"帧率: 29.97"_s,
            u"编码器: h264 (H.264 / AVC / MPEG-4 AVC / MPEG-4 part 10)"_s,
            u"码率: 12Mbps"_s,
            u"色彩格式: yuv420p10le"_s,
            u"位深: 10bit"_s,
            u"Alpha通道: 否"_s,
            u"时长: 62.5秒"_s,
            u"文件大小: 123.5 MB"_s,
        };
        QCOMPARE(outcome.trace, expected);

        const VideoFile &file = *outcome.file;
        QVERIFY(!file.id.isNull());
        QCOMPARE(file.url, clip);
        QCOMPARE(file.name, u"片段 \"one\".mov"_s);
        QCOMPARE(file.resolution, u"1920x1080"_s);
        QCOMPARE(file.frameRate, u"29.97"_s);
        QCOMPARE(file.bitrate, u"12Mbps"_s);
        QCOMPARE(file.codec, u"h264 (H.264 / AVC / MPEG-4 AVC / MPEG-4 part 10)"_s);
        QCOMPARE(file.colorFormat, u"yuv420p10le"_s);
        QCOMPARE(file.bitDepth, u"10bit"_s);
        QCOMPARE(file.hasAlpha, false);
        QCOMPARE(file.duration, 62.5);
        QCOMPARE(file.size, 123456789);
        QVERIFY(interpretProbeOutput(json, clip, 0).file->id != file.id);
    }

    void failures_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QString>("lastLine");
        const QString notFound = u"Error: Required video information not found in JSON"_s;
        const QString notJson = u"Error: Could not parse FFprobe JSON output"_s;
        QTest::newRow("empty") << QByteArray() << u"❌ [ERROR] FFprobe 没有输出任何数据"_s;
        QTest::newRow("not json") << QByteArray("Invalid data found") << notJson;
        QTest::newRow("truncated") << QByteArray(q("{'streams': [")) << notJson;
        QTest::newRow("array at top") << QByteArray(q("[{'codec_type': 'video'}]")) << notJson;
        QTest::newRow("string at top") << QByteArray(q("'video'")) << notJson;
        QTest::newRow("no streams") << QByteArray(q("{'format': {}}")) << notFound;
        QTest::newRow("no format")
            << QByteArray(q("{'streams': [{'codec_type': 'video'}]}")) << notFound;
        QTest::newRow("format not an object")
            << QByteArray(q("{'streams': [{'codec_type': 'video'}], 'format': []}")) << notFound;
        QTest::newRow("streams not an array")
            << QByteArray(q("{'streams': {'codec_type': 'video'}, 'format': {}}")) << notFound;
        QTest::newRow("a stream that is not an object")
            << QByteArray(q("{'streams': [{'codec_type': 'video'}, 7], 'format': {}}")) << notFound;
        QTest::newRow("audio only")
            << QByteArray(
                   q("{'streams': [{'codec_type': 'audio'}], 'format': {'duration': '3.0'}}"))
            << notFound;
        QTest::newRow("codec type in capitals")
            << QByteArray(q("{'streams': [{'codec_type': 'Video'}], 'format': {}}")) << notFound;
        QTest::newRow("codec type not a string")
            << QByteArray(q("{'streams': [{'codec_type': ['video']}], 'format': {}}")) << notFound;
        QTest::newRow("empty streams")
            << QByteArray(q("{'streams': [], 'format': {}}")) << notFound;
    }

    void failures()
    {
        QFETCH(QByteArray, output);
        const ProbeOutcome outcome = interpretProbeOutput(output, clip, 10);
        QVERIFY(!outcome.file.has_value());
        QTEST(outcome.trace.last(), "lastLine");
        QCOMPARE(outcome.trace.first(), u"🔍 [DEBUG] FFprobe 输出数据长度: %1"_s.arg(output.size()));
    }

    void fieldRules_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("line");  // summary line prefix
        QTest::addColumn<QString>("value"); // what follows it

        const QString res = u"分辨率: "_s;
        const QString rate = u"帧率: "_s;
        const QString codec = u"编码器: "_s;
        const QString bitrate = u"码率: "_s;
        const QString format = u"色彩格式: "_s;
        const QString depth = u"位深: "_s;
        const QString alpha = u"Alpha通道: "_s;
        const QString duration = u"时长: "_s;

        QTest::newRow("no size") << document("") << res << u"0x0"_s;
        QTest::newRow("width only") << document(q("'width': 640")) << res << u"640x0"_s;
        QTest::newRow("size as strings")
            << document(q("'width': '640', 'height': '480'")) << res << u"0x0"_s;
        QTest::newRow("fractional width")
            << document(q("'width': 640.5, 'height': 480")) << res << u"0x480"_s;
        QTest::newRow("integral double")
            << document(q("'width': 640.0, 'height': 480")) << res << u"640x480"_s;

        QTest::newRow("rate missing") << document("") << rate << QString();
        QTest::newRow("rate 25/1") << document(q("'r_frame_rate': '25/1'")) << rate << u"25.00"_s;
        QTest::newRow("rate 60000/1001")
            << document(q("'r_frame_rate': '60000/1001'")) << rate << u"59.94"_s;
        QTest::newRow("rate 0/0") << document(q("'r_frame_rate': '0/0'")) << rate << u"0/0"_s;
        QTest::newRow("rate not a string")
            << document(q("'r_frame_rate': 25")) << rate << QString();

        QTest::newRow("codec both missing") << document("") << codec << u"未知 (未知)"_s;
        QTest::newRow("codec long name missing")
            << document(q("'codec_name': 'hevc'")) << codec << u"hevc (未知)"_s;

        QTest::newRow("bitrate missing") << document("") << bitrate << u"未知"_s;
        QTest::newRow("bitrate below a million")
            << document("", q("'bit_rate': '999999'")) << bitrate << u"0Mbps"_s;
        QTest::newRow("bitrate truncated")
            << document("", q("'bit_rate': '2999999'")) << bitrate << u"2Mbps"_s;
        QTest::newRow("bitrate as number")
            << document("", q("'bit_rate': 5000000")) << bitrate << u"未知"_s;
        QTest::newRow("bitrate with decimals")
            << document("", q("'bit_rate': '5000000.5'")) << bitrate << u"未知"_s;
        QTest::newRow("bitrate with blank")
            << document("", q("'bit_rate': ' 5000000'")) << bitrate << u"未知"_s;
        QTest::newRow("bitrate overflow")
            << document("", q("'bit_rate': '99999999999999999999'")) << bitrate << u"未知"_s;

        QTest::newRow("pix_fmt missing") << document("") << format << u"未知"_s;
        QTest::newRow("pix_fmt number") << document(q("'pix_fmt': 0")) << format << u"未知"_s;

        QTest::newRow("depth integer")
            << document(q("'bits_per_raw_sample': 10")) << depth << u"10bit"_s;
        QTest::newRow("depth as ffprobe writes it")
            << document(q("'bits_per_raw_sample': '12', 'pix_fmt': 'yuv420p'")) << depth
            << u"12bit"_s;
        QTest::newRow("depth from pixel format")
            << document(q("'pix_fmt': 'yuv420p10le'")) << depth << u"10bit"_s;
        QTest::newRow("depth text not a number")
            << document(q("'bits_per_raw_sample': 'N/A', 'pix_fmt': 'p010le'")) << depth
            << u"10bit"_s;
        QTest::newRow("depth nothing known") << document("") << depth << u"8bit"_s;

        for (const char *name :
             {"yuva444p10le", "rgba", "bgra", "argb", "yuva420p", "gbrp_alpha", "alpha"})
            QTest::addRow("alpha %s", name)
                << document(q("'pix_fmt': '") + QByteArray(name) + '"') << alpha << u"是"_s;
        for (const char *name : {"yuv420p", "ARGB", "RGBA", "gbrap", "abgr", "ya8", "alphax"})
            QTest::addRow("no alpha %s", name)
                << document(q("'pix_fmt': '") + QByteArray(name) + '"') << alpha << u"否"_s;

        QTest::newRow("duration missing") << document("", "") << duration << u"0.0秒"_s;
        QTest::newRow("duration not numeric")
            << document("", q("'duration': 'N/A'")) << duration << u"0.0秒"_s;
        QTest::newRow("duration with blank")
            << document("", q("'duration': ' 1.5'")) << duration << u"0.0秒"_s;
        QTest::newRow("duration as number")
            << document("", q("'duration': 1.5")) << duration << u"0.0秒"_s;
        QTest::newRow("duration whole")
            << document("", q("'duration': '10.000000'")) << duration << u"10.0秒"_s;
        QTest::newRow("duration round trip")
            << document("", q("'duration': '0.1'")) << duration << u"0.1秒"_s;
    }

    void fieldRules()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, line);
        const ProbeOutcome outcome = interpretProbeOutput(json, clip, 0);
        QVERIFY2(outcome.file.has_value(), qPrintable(outcome.trace.join(u'\n')));
        QTEST(summaryLine(outcome, line), "value");
    }

    void summaryFollowsTheRecord()
    {
        const ProbeOutcome outcome = interpretProbeOutput(
            document(q("'pix_fmt': 'gray16le', 'codec_name': 'ffv1'"), q("'bit_rate': 'x'")), clip,
            0);
        QCOMPARE(outcome.file->bitDepth, u"16bit"_s);
        QCOMPARE(outcome.file->bitrate, u"未知"_s);
        QCOMPARE(outcome.file->codec, u"ffv1 (未知)"_s);
        QCOMPARE(outcome.file->frameRate, QString());
        QCOMPARE(outcome.file->size, 0);
        QCOMPARE(summaryLine(outcome, u"文件大小: "_s), u"0 bytes"_s);
    }

    void previewIsSkippedForBytesThatAreNotUtf8()
    {
        QByteArray json = document(q("'codec_name': 'h264'"), q("'tags': {'title': 'x'}"));
        json.replace("x", "\xff\xfe");
        const ProbeOutcome outcome = interpretProbeOutput(json, clip, 0);
        QVERIFY(!outcome.trace.join(u'\n').contains(u"FFprobe JSON 输出"));
        // Qt's JSON reader accepts what it can; the probe goes on either way.
        QVERIFY(outcome.trace.size() >= 2);
    }

    void previewIsCutAt500Characters()
    {
        // Far more than 500 characters, half of them a letter with a combining mark.
        QString title;
        for (int i = 0; i < 300; ++i)
            title += u"片e\u0301"_s;
        const QByteArray json = document(q("'codec_name': 'h264'"),
                                         q("'tags': {'title': '") + title.toUtf8() + q("'}"));
        const ProbeOutcome outcome = interpretProbeOutput(json, clip, 0);
        const QString preview = outcome.trace.at(1);
        const QString prefix = u"🔍 [DEBUG] FFprobe JSON 输出: "_s;
        QVERIFY(preview.startsWith(prefix));
        QVERIFY(preview.endsWith(u"..."_s));
        const QString shown = preview.mid(prefix.size()).chopped(3);
        QVERIFY(QString::fromUtf8(json).startsWith(shown));
        // Characters as a reader counts them: "é" written as e + accent is one.
        const int before = QString::fromUtf8(json).indexOf(u'片');
        const int titleCharacters = 500 - before;
        QCOMPARE(shown.size() - before, (titleCharacters / 2) * 3 + (titleCharacters % 2));
    }

    void formatFrameRate_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        QTest::newRow("ntsc") << u"30000/1001"_s << u"29.97"_s;
        QTest::newRow("pal") << u"25/1"_s << u"25.00"_s;
        QTest::newRow("59.94") << u"60000/1001"_s << u"59.94"_s;
        QTest::newRow("23.976") << u"24000/1001"_s << u"23.98"_s;
        QTest::newRow("rounded up") << u"2/3"_s << u"0.67"_s;
        QTest::newRow("0/0") << u"0/0"_s << u"0/0"_s;
        QTest::newRow("negative divisor") << u"25/-1"_s << u"25/-1"_s;
        QTest::newRow("single number") << u"25"_s << u"25"_s;
        QTest::newRow("three pieces") << u"1/2/3"_s << u"1/2/3"_s;
        QTest::newRow("empty pieces dropped") << u"/50//2/"_s << u"25.00"_s;
        QTest::newRow("decimal pieces") << u"29.97/1"_s << u"29.97"_s;
        QTest::newRow("not numbers") << u"a/b"_s << u"a/b"_s;
        QTest::newRow("empty") << QString() << QString();
    }

    void formatFrameRate()
    {
        QFETCH(QString, input);
        QTEST(::formatFrameRate(input), "output");
    }

    void bitDepthFromPixelFormat_data()
    {
        QTest::addColumn<QString>("pixelFormat");
        QTest::addColumn<int>("depth");
        const std::pair<const char *, int> rows[] = {
            {"yuv420p", 8},      {"yuvj420p", 8},      {"nv12", 8},
            {"rgb24", 8},        {"bgra", 8},          {"yuv420p10le", 10},
            {"yuv422p10be", 10}, {"yuva444p12le", 12}, {"yuv444p16le", 16},
            {"gbrp10le", 10},    {"gbrap16be", 16},    {"gray", 8},
            {"gray10le", 10},    {"gray16le", 16},     {"ya16le", 16},
            {"p010le", 10},      {"p016le", 16},       {"p210le", 10},
            {"y210le", 10},      {"x2rgb10le", 10},    {"rgb48le", 16},
            {"rgba64be", 16},    {"grayf32le", 32},    {"xyz12le", 12},
            {"nv20le", 10},      {"未知", 8},          {"yuv420p99", 8},
            {"yuv420p0", 8},     {"yuva420p9le", 9},   {"", 8},
        };
        for (const auto &[name, depth] : rows)
            QTest::newRow(name) << QString::fromUtf8(name) << depth;
    }

    void bitDepthFromPixelFormat()
    {
        QFETCH(QString, pixelFormat);
        QTEST(bitDepthOf(QJsonValue(), pixelFormat), "depth");
        // What ffprobe states wins over the name.
        QCOMPARE(bitDepthOf(QJsonValue(u"14"_s), pixelFormat), 14);
        QCOMPARE(bitDepthOf(QJsonValue(14), pixelFormat), 14);
    }

    void shortestDecimal_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << u"0.0"_s;
        QTest::newRow("whole") << 10.0 << u"10.0"_s;
        QTest::newRow("half") << 62.5 << u"62.5"_s;
        QTest::newRow("shortest") << 0.1 << u"0.1"_s;
        QTest::newRow("sum") << 0.1 + 0.2 << u"0.30000000000000004"_s;
        QTest::newRow("ffprobe") << 5.005333 << u"5.005333"_s;
        QTest::newRow("small") << 0.0001 << u"0.0001"_s;
        QTest::newRow("tiny") << 0.00001 << u"1e-05"_s;
        QTest::newRow("large") << 1e15 << u"1000000000000000.0"_s;
        QTest::newRow("huge") << 1e16 << u"1e+16"_s;
        QTest::newRow("huge with digits") << 1.25e17 << u"1.25e+17"_s;
        QTest::newRow("negative") << -3.25 << u"-3.25"_s;
    }

    void shortestDecimal()
    {
        QFETCH(double, value);
        QTEST(::shortestDecimal(value), "text");
    }

    void fileSizeText_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << u"0 bytes"_s;
        QTest::newRow("one") << qint64(1) << u"1 byte"_s;
        QTest::newRow("bytes") << qint64(999) << u"999 bytes"_s;
        QTest::newRow("kilobytes") << qint64(15234) << u"15 KB"_s;
        QTest::newRow("megabytes") << qint64(123456789) << u"123.5 MB"_s;
        QTest::newRow("gigabytes") << qint64(4500000000) << u"4.50 GB"_s;
    }

    void fileSizeText()
    {
        QFETCH(qint64, bytes);
        QTEST(::fileSizeText(bytes), "text");
    }
};

QTEST_GUILESS_MAIN(TestProbeOutput)
#include "tst_probeoutput.moc"
