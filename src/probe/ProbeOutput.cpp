#include "probe/ProbeOutput.h"

#include "domain/FileUrls.h"
#include "domain/NumberText.h"
#include "probe/IndirectFormats.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextBoundaryFinder>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Unknown = QStringLiteral("未知");

std::optional<qint64> integerValue(const QJsonValue &value)
{
    constexpr qint64 notIntegral = std::numeric_limits<qint64>::min();
    if (!value.isDouble())
        return std::nullopt;
    const qint64 integer = value.toInteger(notIntegral);
    if (integer == notIntegral)
        return std::nullopt;
    return integer;
}

std::optional<QString> stringValue(const QJsonValue &value)
{
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

int depthFromPixelFormat(QString name)
{
    if (name.endsWith(u"le") || name.endsWith(u"be"))
        name.chop(2);
    struct Rule
    {
        QRegularExpression pattern;
        int fixedDepth; // 0: the first captured number
    };
    static const Rule rules[] = {
        {QRegularExpression(QStringLiteral("^p[0-9]([0-9]{2})$")), 0},    // p010, p216
        {QRegularExpression(QStringLiteral("^(rgb|bgr)a?(48|64)$")), 16}, // rgb48, rgba64
        {QRegularExpression(QStringLiteral("^y2([0-9]{2})$")), 0},        // y210
        {QRegularExpression(QStringLiteral("^x2(rgb|bgr)10$")), 10},      // x2rgb10
        {QRegularExpression(QStringLiteral("^nv20$")), 10},               // nv20
        {QRegularExpression(QStringLiteral("^(?:gbra?p|gray|rgba?|bgra?|ya)f(16|32)$")), 0},
        {QRegularExpression(
             QStringLiteral("^(?:yuva?[0-9]{3}p|gbra?p|gray|ya|xyz|bayer_[a-z]{4})([0-9]+)$")),
         0},
    };
    for (const Rule &rule : rules) {
        const QRegularExpressionMatch match = rule.pattern.match(name);
        if (!match.hasMatch())
            continue;
        if (rule.fixedDepth > 0)
            return rule.fixedDepth;
        const int depth = match.captured(match.lastCapturedIndex()).toInt();
        return depth >= 1 && depth <= 64 ? depth : 8;
    }
    return 8;
}

bool pixelFormatHasAlpha(const QString &format)
{
    for (const char16_t *marker : {u"_alpha", u"rgba", u"yuva", u"bgra"}) {
        if (format.contains(QStringView(marker)))
            return true;
    }
    return format == u"alpha" || format == u"argb";
}

// Degrees the player turns the picture, 0 to 270: from the display matrix ffprobe lists, or
// from the older "rotate" tag.
int rotationOf(const QJsonObject &stream)
{
    double degrees = 0;
    const QJsonArray sideData = stream.value(QStringLiteral("side_data_list")).toArray();
    const auto matrix = std::find_if(sideData.begin(), sideData.end(), [](const QJsonValue &v) {
        return v.toObject().value(QStringLiteral("rotation")).isDouble();
    });
    if (matrix != sideData.end())
        degrees = matrix->toObject().value(QStringLiteral("rotation")).toDouble();
    else if (const QJsonValue tag =
                 stream.value(QStringLiteral("tags")).toObject().value(QStringLiteral("rotate"));
             tag.isString())
        degrees = parseWholeNumber(tag.toString()).value_or(0);
    const int quarter = static_cast<int>(std::lround(degrees / 90.0)) % 4;
    return (quarter + 4) % 4 * 90;
}

// Apple's ProRes 4444: the codec tag and a format name holding "4444", the format name being
// the stream's "encoder" tag or, without one, its profile.
bool isAppleProRes4444(const QJsonObject &stream)
{
    if (stream.value(QStringLiteral("codec_tag_string")).toString() != u"ap4h")
        return false;
    const QJsonValue encoder =
        stream.value(QStringLiteral("tags")).toObject().value(QStringLiteral("encoder"));
    const QJsonValue formatName =
        encoder.isString() ? encoder : stream.value(QStringLiteral("profile"));
    return formatName.isString() && formatName.toString().contains(u"4444");
}

// "30000/1001" or "10:11"; unknown for anything but two positive integers.
Ratio ratioOf(const QJsonValue &value, QChar separator)
{
    const QStringList parts = value.toString().split(separator);
    if (parts.size() != 2)
        return {};
    const Ratio ratio{parseWholeInteger(parts[0]).value_or(0),
                      parseWholeInteger(parts[1]).value_or(0)};
    return ratio.isKnown() ? ratio : Ratio{};
}

std::optional<double> secondsOf(const QJsonValue &value)
{
    return parseWholeNumber(stringValue(value).value_or(QString()));
}

QString textOf(const QJsonObject &object, const QString &key)
{
    return stringValue(object.value(key)).value_or(QString());
}

// A Matroska track tag, with or without mkvmerge's older language suffix.
QString trackTag(const QJsonObject &stream, const QString &name)
{
    const QJsonObject tags = stream.value(QStringLiteral("tags")).toObject();
    const QString plain = textOf(tags, name);
    return !plain.isEmpty() ? plain : textOf(tags, name + QStringLiteral("-eng"));
}

// Matroska's "00:00:02.023000000".
std::optional<double> clockSeconds(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 3)
        return std::nullopt;
    const std::optional<qint64> hours = parseWholeInteger(parts[0]);
    const std::optional<qint64> minutes = parseWholeInteger(parts[1]);
    const std::optional<double> seconds = parseWholeNumber(parts[2]);
    if (!hours || !minutes || !seconds || *hours < 0 || *minutes < 0 || *seconds < 0)
        return std::nullopt;
    return double(*hours) * 3600 + double(*minutes) * 60 + *seconds;
}

// A stream's bits per second: its own, else mkvmerge's statistics; -1 where neither is known.
qint64 bitsPerSecondOf(const QJsonObject &stream)
{
    return parseWholeInteger(textOf(stream, QStringLiteral("bit_rate")))
        .value_or(parseWholeInteger(trackTag(stream, QStringLiteral("BPS"))).value_or(-1));
}

// The video's length where the container gives none: Matroska tags it, mkvmerge's statistics
// as the track's length, ffmpeg's writer as the time the track ends.
void readTrackLength(VideoFile &file, const QJsonObject &video, std::optional<double> start)
{
    if (file.videoDuration > 0)
        return;
    const std::optional<double> tagged = clockSeconds(trackTag(video, QStringLiteral("DURATION")));
    if (!tagged)
        return;
    const bool isLength = trackTag(video, QStringLiteral("_STATISTICS_TAGS"))
                              .split(QLatin1Char(' '))
                              .contains(QStringLiteral("DURATION"));
    const double length = isLength ? *tagged : *tagged - start.value_or(0);
    if (length > 0)
        file.videoDuration = length;
}

// What ffprobe says of the video stream and the container beyond the card's fields.
void readMediaFacts(VideoFile &file, const QJsonObject &video, const QJsonObject &format,
                    const QJsonArray &streams)
{
    file.sampleAspect = ratioOf(video.value(QStringLiteral("sample_aspect_ratio")), u':');
    file.baseFrameRate = ratioOf(video.value(QStringLiteral("r_frame_rate")), u'/');
    file.averageFrameRate = ratioOf(video.value(QStringLiteral("avg_frame_rate")), u'/');
    file.frameCount = parseWholeInteger(textOf(video, QStringLiteral("nb_frames"))).value_or(-1);
    file.packetsRead =
        parseWholeInteger(textOf(video, QStringLiteral("nb_read_packets"))).value_or(-1);
    file.videoDuration = secondsOf(video.value(QStringLiteral("duration"))).value_or(0);
    const std::optional<double> videoStart = secondsOf(video.value(QStringLiteral("start_time")));
    const std::optional<double> fileStart = secondsOf(format.value(QStringLiteral("start_time")));
    if (videoStart && fileStart)
        file.videoStartOffset = *videoStart - *fileStart;
    readTrackLength(file, video, videoStart);
    file.videoBitsPerSecond = bitsPerSecondOf(video);
    file.formatName = textOf(format, QStringLiteral("format_name"));
    const QJsonObject tags = format.value(QStringLiteral("tags")).toObject();
    for (auto tag = tags.begin(); tag != tags.end(); ++tag) {
        if (tag.value().isString())
            file.tags.insert(tag.key(), tag.value().toString());
    }
    file.colorRange = textOf(video, QStringLiteral("color_range"));
    file.colorSpace = textOf(video, QStringLiteral("color_space"));
    file.colorTransfer = textOf(video, QStringLiteral("color_transfer"));
    file.colorPrimaries = textOf(video, QStringLiteral("color_primaries"));
    // The container's own, else the first stream's that carries one (QuickTime's tmcd track).
    file.timecode = file.tags.value(QStringLiteral("timecode"));
    for (const QJsonValue &value : streams) {
        const QJsonObject stream = value.toObject();
        if (file.timecode.isEmpty())
            file.timecode =
                textOf(stream.value(QStringLiteral("tags")).toObject(), QStringLiteral("timecode"));
        if (stream.value(QStringLiteral("codec_type")) != QStringLiteral("audio"))
            continue;
        const std::optional<qint64> channels =
            integerValue(stream.value(QStringLiteral("channels")));
        const QString layout = textOf(stream, QStringLiteral("channel_layout"));
        file.audioLayouts << (!layout.isEmpty() ? layout
                              : channels        ? QStringLiteral("%1 channels").arg(*channels)
                                                : QString());
        file.audioChannels << static_cast<int>(std::clamp<qint64>(channels.value_or(0), 0, 1024));
        file.audioBitsPerSecond << bitsPerSecondOf(stream);
        file.audioDurations << secondsOf(stream.value(QStringLiteral("duration"))).value_or(0);
    }
}

// The first `count` characters as a reader counts them, not UTF-16 units.
QString firstCharacters(const QString &text, int count)
{
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    int seen = 0;
    while (graphemes.toNextBoundary() >= 0) {
        if (++seen == count)
            return text.left(graphemes.position());
    }
    return text;
}

} // namespace

QStringList probeArguments(const QString &path, bool readToEnd)
{
    QStringList arguments{
        QStringLiteral("-v"),   QStringLiteral("quiet"),        QStringLiteral("-print_format"),
        QStringLiteral("json"), QStringLiteral("-show_format"), QStringLiteral("-show_streams")};
    if (readToEnd)
        arguments << QStringLiteral("-count_packets");
    return arguments << path;
}

QString formatFrameRate(const QString &rFrameRate)
{
    const QStringList pieces = rFrameRate.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (pieces.size() == 2) {
        const std::optional<double> numerator = parseWholeNumber(pieces[0]);
        const std::optional<double> denominator = parseWholeNumber(pieces[1]);
        if (numerator && denominator && *denominator > 0)
            return QString::asprintf("%.2f", *numerator / *denominator);
    }
    return rFrameRate;
}

int bitDepthOf(const QJsonValue &bitsPerRawSample, const QString &pixelFormat)
{
    std::optional<qint64> stated = integerValue(bitsPerRawSample);
    if (!stated && bitsPerRawSample.isString())
        stated = parseWholeInteger(bitsPerRawSample.toString());
    if (stated && *stated > 0 && *stated <= 64)
        return static_cast<int>(*stated);
    return depthFromPixelFormat(pixelFormat);
}

QString shortestDecimal(double value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");

    // "d.ddde±x" with the fewest digits that read back to the same value.
    const QByteArray scientific =
        QByteArray::number(std::fabs(value), 'e', QLocale::FloatingPointShortest);
    const qsizetype e = scientific.indexOf('e');
    const QByteArray digits = scientific.left(e).replace(".", "");
    const int exponent = scientific.mid(e + 1).toInt();
    QString text = std::signbit(value) ? QStringLiteral("-") : QString();

    if (exponent < -4 || exponent >= 16) {
        text += QLatin1Char(digits[0]);
        if (digits.size() > 1)
            text += QLatin1Char('.') + QString::fromLatin1(digits.mid(1));
        text += QString::asprintf("e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        return text;
    }
    if (exponent < 0)
        return text + QStringLiteral("0.") + QString(-exponent - 1, QLatin1Char('0')) +
               QString::fromLatin1(digits);
    const QByteArray whole = digits.left(exponent + 1).leftJustified(exponent + 1, '0');
    const QByteArray fraction = digits.mid(exponent + 1);
    return text + QString::fromLatin1(whole) + QLatin1Char('.') +
           (fraction.isEmpty() ? QStringLiteral("0") : QString::fromLatin1(fraction));
}

QString fileSizeText(qint64 bytes)
{
    if (bytes == 1)
        return QStringLiteral("1 byte");
    if (std::llabs(bytes) < 1000)
        return QStringLiteral("%1 bytes").arg(bytes);
    static const struct
    {
        const char *unit;
        int decimals;
    } units[] = {{"KB", 0}, {"MB", 1}, {"GB", 2}, {"TB", 2}, {"PB", 2}, {"EB", 2}};
    double value = static_cast<double>(bytes) / 1000.0;
    int index = 0;
    while (std::fabs(value) >= 999.95 && index < 5) {
        value /= 1000.0;
        ++index;
    }
    return QString::asprintf("%.*f %s", units[index].decimals, value, units[index].unit);
}

FileFacts fileFactsAt(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status;
    if (::stat(name.constData(), &status) != 0)
        return {};
    return {static_cast<qint64>(status.st_size),
            {static_cast<quint64>(status.st_dev), static_cast<quint64>(status.st_ino)},
            static_cast<qint64>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec,
            ::faccessat(AT_FDCWD, name.constData(), R_OK, AT_EACCESS) == 0 ? 0 : errno};
}

ProbeOutcome interpretProbeOutput(const QByteArray &output, const QUrl &url,
                                  const FileFacts &onDisk)
{
    ProbeOutcome outcome;
    QStringList &trace = outcome.trace;
    trace << QStringLiteral("🔍 [DEBUG] FFprobe 输出数据长度: %1").arg(output.size());
    if (output.isEmpty()) {
        trace << QStringLiteral("❌ [ERROR] FFprobe 没有输出任何数据");
        outcome.failure = QStringLiteral("ffprobe 没有输出任何数据");
        return outcome;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(output);
    if (!utf8.hasError())
        trace << QStringLiteral("🔍 [DEBUG] FFprobe JSON 输出: ") + firstCharacters(text, 500) +
                     QStringLiteral("...");

    const QJsonDocument document = QJsonDocument::fromJson(output);
    if (!document.isObject()) {
        trace << QStringLiteral("Error: Could not parse FFprobe JSON output");
        outcome.failure = QStringLiteral("无法解析 ffprobe 的输出");
        return outcome;
    }
    const QJsonObject json = document.object();
    trace << QStringLiteral("🔍 [DEBUG] 成功解析 JSON，包含 %1 个键").arg(json.size());

    // "streams" must be an array of objects, as a whole; one stray element spoils it.
    const QJsonValue streamsValue = json.value(QStringLiteral("streams"));
    const QJsonValue formatValue = json.value(QStringLiteral("format"));
    const QJsonArray streams = streamsValue.toArray();
    const bool streamsAreObjects =
        streamsValue.isArray() && std::all_of(streams.begin(), streams.end(),
                                              [](const QJsonValue &s) { return s.isObject(); });
    QJsonObject video;
    int videoStreams = 0;
    int audioStreams = 0;
    int otherStreams = 0;
    if (streamsAreObjects) {
        for (const QJsonValue &stream : streams) {
            const QJsonValue type = stream.toObject().value(QStringLiteral("codec_type"));
            if (type == QStringLiteral("video")) {
                if (videoStreams++ == 0)
                    video = stream.toObject();
            } else if (type == QStringLiteral("audio")) {
                ++audioStreams;
            } else if (!stream.toObject().isEmpty()) {
                ++otherStreams;
            }
        }
    }
    const QString formatName = textOf(formatValue.toObject(), QStringLiteral("format_name"));
    if (isIndirectFormat(formatName.toStdString())) {
        trace << QStringLiteral("❌ [ERROR] 不是视频文件: %1 格式只引用其他文件").arg(formatName);
        outcome.failure = QStringLiteral("不是视频文件");
        return outcome;
    }
    if (videoStreams == 0 || !formatValue.isObject()) {
        trace << QStringLiteral("Error: Required video information not found in JSON");
        const int why = onDisk.readError;
        outcome.failure =
            why == EACCES || why == EPERM ? QStringLiteral("无法读取（没有读取权限）")
            : why != 0
                ? QStringLiteral("无法读取（%1）").arg(QString::fromLocal8Bit(std::strerror(why)))
                : QStringLiteral("没有视频流（不是视频文件或文件已损坏）");
        return outcome;
    }
    const QJsonObject format = formatValue.toObject();

    VideoFile file;
    file.url = url;
    file.name = lastPathComponent(url);
    file.resolution = QStringLiteral("%1x%2")
                          .arg(integerValue(video.value(QStringLiteral("width"))).value_or(0))
                          .arg(integerValue(video.value(QStringLiteral("height"))).value_or(0));
    file.frameRate = formatFrameRate(
        stringValue(video.value(QStringLiteral("r_frame_rate"))).value_or(QString()));
    file.codec = QStringLiteral("%1 (%2)").arg(
        stringValue(video.value(QStringLiteral("codec_name"))).value_or(Unknown),
        stringValue(video.value(QStringLiteral("codec_long_name"))).value_or(Unknown));
    const std::optional<qint64> bitsPerSecond = parseWholeInteger(
        stringValue(format.value(QStringLiteral("bit_rate"))).value_or(QString()));
    file.bitrate = bitsPerSecond ? QStringLiteral("%1Mbps").arg(*bitsPerSecond / 1000000) : Unknown;
    file.colorFormat = stringValue(video.value(QStringLiteral("pix_fmt"))).value_or(Unknown);
    const int bitDepth =
        bitDepthOf(video.value(QStringLiteral("bits_per_raw_sample")), file.colorFormat);
    file.bitDepth = QStringLiteral("%1bit").arg(bitDepth);
    file.hasAlpha = pixelFormatHasAlpha(file.colorFormat);
    file.duration =
        parseWholeNumber(stringValue(format.value(QStringLiteral("duration"))).value_or(QString()))
            .value_or(0);
    file.size = onDisk.size;
    file.fileKey = onDisk.key;
    file.modifiedTime = onDisk.modifiedTime;
    file.width = static_cast<int>(integerValue(video.value(QStringLiteral("width"))).value_or(0));
    file.height = static_cast<int>(integerValue(video.value(QStringLiteral("height"))).value_or(0));
    file.rotation = rotationOf(video);
    file.bitsPerSample = bitDepth;
    file.bitsPerSecond = bitsPerSecond.value_or(-1);
    file.videoStreams = videoStreams;
    file.audioStreams = audioStreams;
    file.otherStreams = otherStreams;
    file.isProRes4444 = isAppleProRes4444(video);
    readMediaFacts(file, video, format, streams);

    trace << QStringLiteral("成功解析视频信息：") << QStringLiteral("分辨率: ") + file.resolution
          << QStringLiteral("帧率: ") + file.frameRate << QStringLiteral("编码器: ") + file.codec
          << QStringLiteral("码率: ") + file.bitrate
          << QStringLiteral("色彩格式: ") + file.colorFormat
          << QStringLiteral("位深: %1bit").arg(bitDepth)
          << QStringLiteral("Alpha通道: ") +
                 (file.hasAlpha ? QStringLiteral("是") : QStringLiteral("否"))
          << QStringLiteral("时长: ") + shortestDecimal(file.duration) + QStringLiteral("秒")
          << QStringLiteral("文件大小: ") + fileSizeText(file.size);

    file.id = QUuid::createUuid();
    outcome.file = file;
    return outcome;
}
