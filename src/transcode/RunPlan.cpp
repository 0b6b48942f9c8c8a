#include "transcode/RunPlan.h"

#include "domain/FileUrls.h"
#include "transcode/Encoders.h"
#include "transcode/FFmpegArguments.h"
#include "transcode/OutputNaming.h"
#include "transcode/ResultMark.h"
#include "transcode/VideoFormatChecker.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QtEndian>

#include <cmath>
#include <sys/stat.h>

namespace {

bool takesAlphaRoute(const TranscodeSettings &settings)
{
    return settings.codec == Codec::HevcHardware && settings.enableAlpha;
}

bool wantsSoftwareHevcAlpha(const TranscodeSettings &settings)
{
    return settings.codec == Codec::HevcSoftware && settings.enableAlpha;
}

// The rates the choices write with two decimals are the NTSC rates, exactly.
QString exactFrameRate(const QString &rate)
{
    static const QHash<QString, QString> ntsc{
        {QStringLiteral("23.98"), QStringLiteral("24000/1001")},
        {QStringLiteral("29.97"), QStringLiteral("30000/1001")},
        {QStringLiteral("59.94"), QStringLiteral("60000/1001")},
        {QStringLiteral("119.98"), QStringLiteral("120000/1001")},
    };
    return ntsc.value(rate, rate);
}

// The pixel format that plays everywhere for this encoder and source, or nothing where the
// settings' own arguments decide.
QString targetPixelFormat(const QString &encoder, const TranscodeSettings &settings,
                          const VideoFile &source)
{
    const Encoders::Form form = Encoders::formOf(encoder);
    if (encoder == u"libx264" || encoder.startsWith(u"h264_"))
        return Encoders::pixelFormat420(form, false);
    if (Encoders::isHevc(encoder))
        return settings.enableAlpha ? QString()
                                    : Encoders::pixelFormat420(form, source.bitsPerSample > 8);
    if (encoder == u"prores_ks") {
        if (proResProfileNumber(settings.proResProfile).toInt() < 4)
            return QStringLiteral("yuv422p10le");
        return settings.enableAlpha && source.hasAlpha ? QStringLiteral("yuva444p10le")
                                                       : QStringLiteral("yuv444p10le");
    }
    return {};
}

// Whether ffmpeg left to itself would give the encoder another format than `target`.
bool needsPixelFormat(const QString &target, const VideoFile &source)
{
    if (source.colorFormat == target)
        return false;
    // ProRes 422 is what ffmpeg makes of every plain 4:2:0 or 4:2:2 source anyway.
    static const QStringList becomes422{QStringLiteral("yuv420p"), QStringLiteral("yuv422p"),
                                        QStringLiteral("yuv420p10le"),
                                        QStringLiteral("yuv422p10le")};
    return !(target == u"yuv422p10le" && becomes422.contains(source.colorFormat));
}

// A chosen resolution as the box the picture must fit in; nothing for the source's own size or
// a text that names no size.
std::optional<QSize> boxOf(const QString &resolution)
{
    const QStringList sides = resolution.split(QLatin1Char('x'));
    const QSize box(sides.value(0).toInt(), sides.value(1).toInt());
    if (resolution == OriginalResolution || sides.size() != 2 || box.isEmpty())
        return std::nullopt;
    return box;
}

// The picture as the player shows it: rotation applied, with the pixel shape that goes with it.
struct ShownPicture
{
    int width = 0;
    int height = 0;
    Ratio pixelShape;

    bool isKnown() const { return width > 0 && height > 0; }
    double pixelAspect() const { return pixelShape.isKnown() ? pixelShape.value() : 1.0; }
};

ShownPicture shownPicture(const VideoFile &source)
{
    Ratio shape = source.sampleAspect;
    if (source.rotation % 180 != 0)
        std::swap(shape.num, shape.den);
    return {source.shownWidth(), source.shownHeight(), shape};
}

// The picture's size out of the filters, and the filters that make it.
struct Sizing
{
    QStringList filters;
    QSize size;
};

// A chosen size is a box: the picture fits inside with its shape kept, square pixels and even
// sides, and is never made larger than it is shown. The source's own size is only made even
// where the encoder needs it, the scaler keeping the shape through the pixel aspect.
Sizing sizingFor(const TranscodeSettings &settings, const VideoFile &source, const QString &encoder,
                 const QStringList &settingsFilters)
{
    const ShownPicture shown = shownPicture(source);
    const QSize asShown(shown.width, shown.height);
    const std::optional<QSize> box = boxOf(settings.resolution);
    if (!box && settings.resolution != OriginalResolution)
        return {settingsFilters, {}};
    if (!shown.isKnown())
        return {settingsFilters, box.value_or(QSize())};
    if (!box) {
        if (!Encoders::needsEvenSize(encoder) || (shown.width % 2 == 0 && shown.height % 2 == 0))
            return {{}, asShown};
        // Down to even, never to nothing.
        const auto even = [](int size) { return qMax(2, size - size % 2); };
        const QSize evened(even(shown.width), even(shown.height));
        return {{QStringLiteral("scale=%1x%2").arg(evened.width()).arg(evened.height())}, evened};
    }
    const double width = shown.width * shown.pixelAspect();
    const double height = shown.height;
    const double fit = std::min({box->width() / width, box->height() / height, 1.0});
    // The nearest even size, the smaller on a tie, and never above the picture as shown.
    const auto evenSide = [](double size, double shownSize) {
        return qMax(2, 2 * static_cast<int>(
                               std::min(std::ceil(size / 2 - 0.5), std::floor(shownSize / 2))));
    };
    const QSize fitted(evenSide(width * fit, width), evenSide(height * fit, height));
    // A picture that fills the box is scaled as the settings say.
    Sizing sizing{fitted == *box ? settingsFilters : QStringList(), fitted};
    if (fitted != asShown && fitted != *box)
        sizing.filters << QStringLiteral("scale=%1x%2").arg(fitted.width()).arg(fitted.height());
    // The scaler gives the pixels whatever shape keeps the picture's; where that is not
    // square, it is made so.
    const double shape = shown.pixelAspect() * fitted.height() * shown.width /
                         (double(fitted.width()) * shown.height);
    if (shown.pixelShape.isKnown() && std::fabs(shape - 1) > 1e-9)
        sizing.filters << QStringLiteral("setsar=1");
    return sizing;
}

QSize chosenSizeFor(const TranscodeSettings &settings, const VideoFile &source)
{
    if (const std::optional<QSize> box = boxOf(settings.resolution))
        return *box;
    const ShownPicture shown = shownPicture(source);
    if (settings.resolution != OriginalResolution || !shown.isKnown())
        return {};
    return {shown.width, shown.height};
}

// What the output may spend, in bits a second: "-b:v", and "-b:a:N" where AAC's own choice
// would spend more.
struct Rates
{
    QString video;
    QList<std::pair<int, QString>> audio;
};

// What ffmpeg's AAC encoder spends on a track by default: about 64 kbit/s a channel.
double aacDefaultRate(int channels)
{
    return channels == 1 ? 69000.0 : 64000.0 * (channels > 0 ? channels : 2);
}

// A chosen bitrate is meant for the whole box: a picture fitted smaller gets it in proportion
// to its pixels. Where the probe knows what the source spends, the output's video and each
// audio track stay a tenth under it, so that the output is never more bytes than the source;
// a part the probe does not know is what the container's rate leaves of the parts it does.
Rates ratesFor(const QString &settingsBitrate, const TranscodeSettings &settings,
               const VideoFile &source, const QSize &size)
{
    const std::optional<QSize> box = boxOf(settings.resolution);
    if (settingsBitrate.isEmpty() || !box || size.isEmpty())
        return {settingsBitrate, {}};
    constexpr double spared = 0.9;
    const double whole = static_cast<double>(std::max<qint64>(source.bitsPerSecond, 0));
    const double sourceVideo = static_cast<double>(std::max<qint64>(source.videoBitsPerSecond, 0));
    double knownAudio = 0;
    int unknownAudio = 0;
    for (int track = 0; track < source.audioStreams; ++track) {
        const qint64 rate = source.audioBitsPerSecond.value(track, -1);
        rate > 0 ? knownAudio += static_cast<double>(rate) : ++unknownAudio;
    }
    // A track the probe does not measure shares what the container leaves it, or, where the
    // video is not measured either, a quarter of the container's rate.
    const double shared = sourceVideo > 0 ? whole - sourceVideo - knownAudio : whole / 4;
    Rates rates;
    double audio = 0;
    for (int track = 0; track < source.audioStreams; ++track) {
        const double aac = aacDefaultRate(source.audioChannels.value(track, 0));
        const qint64 rate = source.audioBitsPerSecond.value(track, -1);
        const double part = rate > 0 ? static_cast<double>(rate) : shared / unknownAudio;
        const double out = part > 0 ? std::min(aac, spared * part) : aac;
        audio += out;
        if (out < aac)
            rates.audio << std::pair{track, bitrateArgument(std::max(out, 1000.0) / 1e6).value()};
    }
    double mbps = settings.bitrate * (double(size.width()) * size.height()) /
                  (double(box->width()) * box->height());
    if (sourceVideo > 0)
        mbps = std::min(mbps, spared * sourceVideo / 1e6);
    else if (whole > 0)
        mbps = std::min(mbps, (spared * whole - audio) / 1e6);
    rates.video = mbps < settings.bitrate
                      ? bitrateArgument(std::max(mbps, 0.001)).value_or(settingsBitrate)
                      : settingsBitrate;
    return rates;
}

// How the source's frames are kept with "原始帧率".
struct FrameTiming
{
    QString filter; // makes the rate constant, filling gaps and adding nothing at the end
    QString mode;   // "-fps_mode"
    qint64 frames = -1;
    qint64 limit = -1; // "-frames:v"
    double frameSeconds = 0;
};

// The rates a container may store rounded (Matroska's nanoseconds make 59.94 "19001/317") are
// the NTSC rates, exactly.
Ratio exactBaseRate(const Ratio &rate)
{
    for (const qint64 ntsc : {24000, 30000, 48000, 60000, 120000}) {
        const Ratio exact{ntsc, 1001};
        if (rate.isKnown() && std::fabs(rate.value() / exact.value() - 1) < 1e-4)
            return exact;
    }
    return rate;
}

// Whether cameras record at `rate`: whole or half frames a second, or such a rate slowed by
// 1000/1001 as NTSC's, under Matroska's millisecond clock. Any other rate a file without a
// frame count gives is the average of a variable rate.
bool isRecordingRate(const Ratio &rate)
{
    for (const double slowed : {1.0, 1.001}) {
        const double halves = 2 * rate.value() * slowed;
        if (halves >= 1 && halves < 2000 && std::fabs(halves / std::round(halves) - 1) < 1e-4)
            return true;
    }
    return false;
}

FrameTiming frameTimingFor(const TranscodeSettings &settings, const VideoFile &source)
{
    const Ratio rate = exactBaseRate(source.baseFrameRate);
    if (settings.frameRate != OriginalFrameRate || !rate.isKnown())
        return {};
    FrameTiming timing;
    timing.frameSeconds = 1.0 / rate.value();
    // The container's count is the editor's where its length at the base rate agrees with it;
    // an edit list that trims the start leaves more samples than frames shown.
    const double atBaseRate = source.videoDuration * rate.value();
    const bool counted = source.frameCount > 0 && atBaseRate > 0 && atBaseRate < 1e15 &&
                         std::llround(atBaseRate) == source.frameCount;
    const bool uncounted = source.frameCount <= 0 || source.videoDuration <= 0;
    const bool constant =
        counted || (uncounted && isRecordingRate(rate) && source.averageFrameRate.isKnown() &&
                    std::fabs(source.averageFrameRate.value() / rate.value() - 1) < 1e-3);
    const QStringList formats = source.formatName.split(QLatin1Char(','));
    if (counted) {
        timing.frames = source.frameCount;
    } else if (constant && formats.contains(QStringLiteral("matroska")) && atBaseRate >= 1 &&
               atBaseRate < 1e15 && std::fabs(atBaseRate - std::round(atBaseRate)) < 0.25) {
        // Matroska counts no frames, but its tagged length at a steady rate is a whole number
        // of them; a millisecond clock may round each end by a millisecond.
        timing.frames = std::llround(atBaseRate);
    }
    if (!constant) {
        // Each frame at its own time: the duration is kept and no frame repeated.
        timing.mode = QStringLiteral("vfr");
        return timing;
    }
    // ffmpeg's own constant rate keeps exactly the frames of a QuickTime or MP4 index that
    // starts with the file; elsewhere it repeats a frame at the end or at the start.
    const bool indexed =
        formats.contains(QStringLiteral("mov")) || formats.contains(QStringLiteral("mp4"));
    const bool fromTheStart = std::fabs(source.videoStartOffset) < timing.frameSeconds / 2;
    if (counted && indexed && fromTheStart)
        return timing;
    timing.mode = QStringLiteral("passthrough");
    if (counted && formats.contains(QStringLiteral("avi")) && fromTheStart) {
        // An AVI's frames are the places in its index, from the start: an empty one (a dropped
        // frame, or where packed B-frames leave the decoder a frame behind) repeats the
        // picture before it, and the count is the index's.
        timing.filter = QStringLiteral("fps=%1/%2:start_time=0").arg(rate.num).arg(rate.den);
        timing.limit = timing.frames;
        return timing;
    }
    // Times rounded to the millisecond (Matroska, FLV) may end the last frame a hair before a
    // whole frame; the nearest rounding would drop it.
    timing.filter = QStringLiteral("fps=%1/%2:round=up").arg(rate.num).arg(rate.den);
    return timing;
}

// The container tags an output keeps: ffmpeg leaves the creation date and a few others behind
// unless told to copy, and MP4 and QuickTime files hold only the tags they have names for
// unless written as metadata keys.
void keepTags(EncodeCommand &command, const VideoFile &source, const QString &format)
{
    static const QStringList leftBehind{
        QStringLiteral("creation_time"), QStringLiteral("company_name"),
        QStringLiteral("product_name"), QStringLiteral("product_version")};
    static const QStringList ownOrNamed{QStringLiteral("major_brand"),
                                        QStringLiteral("minor_version"),
                                        QStringLiteral("compatible_brands"),
                                        QStringLiteral("encoder"),
                                        QStringLiteral("software"),
                                        QStringLiteral("creation_time"),
                                        QStringLiteral("timecode"),
                                        QStringLiteral("duration"),
                                        QStringLiteral("location-eng"),
                                        QStringLiteral("title"),
                                        QStringLiteral("artist"),
                                        QStringLiteral("album_artist"),
                                        QStringLiteral("composer"),
                                        QStringLiteral("album"),
                                        QStringLiteral("date"),
                                        QStringLiteral("comment"),
                                        QStringLiteral("genre"),
                                        QStringLiteral("copyright"),
                                        QStringLiteral("grouping"),
                                        QStringLiteral("lyrics"),
                                        QStringLiteral("description"),
                                        QStringLiteral("synopsis"),
                                        QStringLiteral("show"),
                                        QStringLiteral("episode_id"),
                                        QStringLiteral("network"),
                                        QStringLiteral("keywords"),
                                        QStringLiteral("track"),
                                        QStringLiteral("disc"),
                                        QStringLiteral("compilation"),
                                        QStringLiteral("location")};
    static const QStringList namedInQuickTime{QStringLiteral("make"), QStringLiteral("model"),
                                              QStringLiteral("author")};
    bool asKeys = false;
    for (const QString &tag : source.tags.keys()) {
        const QString key = tag.toLower();
        command.keepMetadata = command.keepMetadata || leftBehind.contains(key);
        asKeys = asKeys || !(ownOrNamed.contains(key) ||
                             (format == u"mov" && namedInQuickTime.contains(key)));
    }
    if (!asKeys)
        return;
    command.movFlags << QStringLiteral("+use_metadata_tags");
    // As keys the source's brands would outlast the output's own.
    for (const QString &brand : {QStringLiteral("major_brand"), QStringLiteral("minor_version"),
                                 QStringLiteral("compatible_brands")}) {
        if (source.tags.contains(brand))
            command.clearedTags << brand;
    }
}

// The settings' command made to work here and on this file: the encoder that works on this
// machine in its own form, a pixel format that plays, the picture fitted, the source's frames,
// tags and every audio track kept. A file that needs none of it keeps the command as it is.
EncodeCommand commandFor(EncodeCommand command, const QString &encoder,
                         const TranscodeSettings &settings, const VideoFile &source,
                         const QString &renderNode, const QString &format)
{
    const Encoders::Form form = Encoders::formOf(encoder);
    command.deviceOptions = Encoders::deviceOptions(form, renderNode);
    if (!command.encoder.isEmpty()) {
        command.encoder = encoder;
        command.formOptions = Encoders::formOptions(form);
    }
    if (form != Encoders::Form::VideoToolbox)
        command.allowSoftware = false;
    if (Encoders::isHevc(encoder) && form == Encoders::Form::Software && settings.enableAlpha) {
        // x265's own alpha format; it takes no quality for the alpha plane.
        command.pixelFormat = QStringLiteral("yuva420p");
        command.alphaQuality.clear();
    }
    const bool tenBit = Encoders::isHevc(encoder) && source.bitsPerSample > 8;
    const QString upload = Encoders::uploadFilters(form, tenBit);
    const QString target = targetPixelFormat(encoder, settings, source);
    if (upload.isEmpty() && !target.isEmpty() && needsPixelFormat(target, source))
        command.pixelFormat = target;

    const Sizing sizing = sizingFor(settings, source, encoder, command.filters);
    const FrameTiming timing = frameTimingFor(settings, source);
    const Rates rates = ratesFor(command.bitrate, settings, source, sizing.size);
    command.bitrate = rates.video;
    command.audioBitrates = rates.audio;
    command.filters.clear();
    if (!timing.filter.isEmpty())
        command.filters << timing.filter;
    command.filters << sizing.filters;
    // A full-range picture stays full range where the stream can say so; converted to video
    // range for a pixel format, it would lose its darkest and brightest steps.
    if (source.colorRange == u"pc" && source.colorFormat.startsWith(u"yuv") &&
        Encoders::keepsFullRange(encoder)) {
        command.filters << QStringLiteral("scale=out_range=pc");
        command.colorRange = QStringLiteral("pc");
    }
    if (!upload.isEmpty())
        command.filters << upload;
    command.frameRate = exactFrameRate(command.frameRate);
    command.frameTiming = timing.mode;
    command.frameLimit = timing.limit;

    // Without maps ffmpeg keeps one audio track and may try subtitles the container cannot
    // hold.
    if (source.audioStreams > 1 || source.videoStreams > 1 || source.otherStreams > 0)
        command.maps << QStringLiteral("0:v:0") << QStringLiteral("0:a?");
    keepTags(command, source, format);
    // The AAC encoder names side surround channels by no layout at all; as back surround they
    // keep the usual name.
    static const QHash<QString, QString> aacLayouts{
        {QStringLiteral("5.1(side)"), QStringLiteral("5.1")},
        {QStringLiteral("5.0(side)"), QStringLiteral("5.0")}};
    for (int track = 0; track < source.audioLayouts.size(); ++track) {
        if (const QString layout = aacLayouts.value(source.audioLayouts.at(track));
            !layout.isEmpty())
            command.audioLayouts << std::pair{track, layout};
    }
    return command;
}

// What the output must show: the source's audio tracks, length and shape, and with its rate
// kept, its frames.
OutputPromise promiseFor(const TranscodeSettings &settings, const VideoFile &source)
{
    const FrameTiming timing = frameTimingFor(settings, source);
    OutputPromise promise;
    promise.audioStreams = source.audioStreams;
    promise.audioDurations = source.audioDurations;
    promise.duration = source.duration;
    promise.displayAspect = displayAspect(source);
    // Where the source's count and length agree, so must the output's; a variable rate keeps
    // the duration the container gives.
    promise.frames = timing.frames;
    if (timing.frames >= 0) {
        promise.videoDuration = source.videoDuration;
        promise.frameSeconds = timing.frameSeconds;
    }
    return promise;
}

QString fallbackNotice(const QString &named, const QString &used)
{
    if (Encoders::formOf(used) != Encoders::Form::Software)
        return QStringLiteral("使用硬件编码器 %1").arg(used);
    const QStringList tried = Encoders::candidatesHere(named);
    if (tried.isEmpty())
        return QStringLiteral("这台电脑没有可用的硬件编码器，使用软件编码器 %1").arg(used);
    return QStringLiteral("没有可用的硬件编码器（已试 %1），已改用软件编码器 %2")
        .arg(tried.join(QStringLiteral("、")), used);
}

RunRefusal noHevcAlpha(const TranscodeSettings &settings)
{
    const QString why =
        QStringLiteral("此 ffmpeg 没有能保留 Alpha 通道的 HEVC 编码器，无法输出带 "
                       "Alpha 通道的 HEVC；要保留 Alpha 通道，请选择预设“ProRes 4444透明”"
                       "（ProRes 4444）。");
    if (takesAlphaRoute(settings))
        return {Error{QStringLiteral("VideoConversion"), -2, QStringLiteral("无法创建导出会话")},
                QStringLiteral("无法创建导出会话：") + why};
    return {Error{QStringLiteral("Settings"), 2, why}, why};
}

QString keyOf(const VideoFile &file, const PlanChoices &choices)
{
    return choices.shardKey ? choices.shardKey(file) : filePath(file.url);
}

// Whether this run converts `file`, rather than only naming its output.
bool converts(const VideoFile &file, const PlanChoices &choices)
{
    if (choices.shard && !inShard(keyOf(file, choices), *choices.shard))
        return false;
    return choices.only.isEmpty() || choices.only.contains(file.id);
}

// Gives each file of the listing its output, so that no two share one and none lands on an
// input of the run, whatever path names it. A result a run of ours made is known by the mark
// of its source: it is that file's, never another's, so that shards started apart, or a run
// over a folder that has changed, name alike and never take one file's result for another's.
class OutputNamer
{
public:
    OutputNamer(const QList<VideoFile> &files, const PlanEnvironment &environment)
        : m_fileAt(environment.fileAt)
    {
        for (const VideoFile &file : files) {
            m_inputs.insert(filePath(file.url));
            if (file.fileKey.isValid())
                m_inputKeys << file.fileKey;
        }
    }

    // In `folder`, named after `source` with `extension`; " (2)", " (3)", ... when taken.
    // `existing`: what becomes of a file already there; `converted`: whether this run converts
    // the source, whose results are marked `mark`. Anything there but a plain file that is not
    // an input is never replaced.
    struct Claim
    {
        ExistingOutput existing = ExistingOutput::KeepBoth;
        bool converted = true;
        QByteArray mark;
        // Taken back after a stop: only a result proven this file's by its mark is skipped,
        // where the file system keeps marks.
        bool resumes = false;
    };
    QString claim(const QString &folder, const QString &source, const QString &extension,
                  const Claim &how)
    {
        const QString stem = OutputNaming::baseName(QFileInfo(source).fileName());
        for (int n = 1;; ++n) {
            const QString suffix = n == 1 ? QString() : QStringLiteral(" (%1)").arg(n);
            const QString path =
                QDir(folder).filePath(OutputNaming::fittedName(stem, suffix, extension));
            if (isTaken(path, how))
                continue;
            m_claimed.insert(path);
            return path;
        }
    }

    void keep(const QString &path) { m_claimed.insert(path); }

    // Whether a claimed name has a file there already.
    bool occupied(const QString &path) const { return m_fileAt && m_fileAt(path); }

    QString partialFor(const QString &output)
    {
        QString partial = OutputNaming::partialPath(output);
        for (int n = 2; m_claimed.contains(partial); ++n)
            partial = OutputNaming::partialPath(output, QString::number(n));
        m_claimed.insert(partial);
        return partial;
    }

private:
    bool isTaken(const QString &path, const Claim &how) const
    {
        if (m_claimed.contains(path) || m_inputs.contains(path))
            return true;
        const std::optional<DiskEntry> existing = m_fileAt ? m_fileAt(path) : std::nullopt;
        if (!existing)
            return false;
        if (!existing->regularFile || m_inputKeys.contains(existing->key))
            return true;
        if (existing->madeFrom.isEmpty())
            return how.existing == ExistingOutput::KeepBoth || (how.resumes && existing->marksKept);
        if (existing->madeFrom != how.mark)
            return true; // another file's result, or one of this file before it changed
        // This file's own: where this run leaves the file alone, its result keeps the name.
        return how.converted && how.existing == ExistingOutput::KeepBoth;
    }

    std::function<std::optional<DiskEntry>(const QString &)> m_fileAt;
    QSet<QString> m_claimed;
    QSet<QString> m_inputs;
    QList<FileKey> m_inputKeys;
};

// Where each file of the listing goes, and what is there already.
QList<PlannedFile> namedOutputs(const TranscodeSettings &settings, const QList<VideoFile> &files,
                                const PlanEnvironment &environment, const QString &folder)
{
    const QString format = OutputNaming::outputExtension(settings.codec, settings.container);
    OutputNamer names(files, environment);
    QList<PlannedFile> named;
    for (int position = 0; position < files.size(); ++position) {
        const VideoFile &source = files.at(position);
        const QString input = filePath(source.url);
        PlannedFile file;
        file.position = position;
        file.source = source;
        file.resumes = environment.choices.resumed.contains(source.id);
        file.sourceMark = ResultMark::sourceMarkOf(source, keyOf(source, environment.choices));
        if (!settings.overwriteOriginal) {
            file.outputPath = names.claim(
                folder, input, format,
                {file.resumes ? ExistingOutput::Skip : environment.choices.existingOutput,
                 converts(source, environment.choices), file.sourceMark, file.resumes});
            file.replacesOutput = names.occupied(file.outputPath);
        } else if (OutputNaming::extension(source.name).compare(format, Qt::CaseInsensitive) == 0) {
            file.outputPath = input;
            names.keep(input);
            file.replacesSource = true;
        } else {
            // A new container gets a name that says so; nothing already there is replaced.
            file.outputPath = names.claim(QFileInfo(input).path(), input, format,
                                          {ExistingOutput::KeepBoth, true, file.sourceMark});
            file.replacesSource = true;
        }
        file.partialPath = names.partialFor(file.outputPath);
        named << file;
    }
    return named;
}

QString outputDirectoryFor(const TranscodeSettings &settings, const QList<VideoFile> &files)
{
    if (settings.overwriteOriginal || files.isEmpty())
        return {};
    return OutputNaming::outputDirectory(files.first().url, settings.codec);
}

PlannedCommand command(PlannedCommand::Kind kind, const QString &ffmpeg, QStringList arguments,
                       double start = 0, double span = 1, bool readsProgress = true)
{
    return PlannedCommand{kind, ffmpeg, std::move(arguments), start, span, readsProgress};
}

// The HEVC-with-alpha route: through an alpha-capable ProRes and ProRes 4444 unless the source
// is ProRes 4444 already.
void planAlphaRoute(PlannedFile &file, const QString &ffmpeg, const EncoderAnswers &answers,
                    const PlanEnvironment &environment)
{
    const QString input = filePath(file.source.url);
    file.route = Route::HevcAlpha;
    file.encoder = answers.hevcAlphaEncoder;
    // The export keeps neither audio nor the source's frame timing.
    file.promise.audioStreams = 0;
    file.promise.frames = -1;
    file.promise.videoDuration = 0;
    const QString proRes = answers.encoderFor(QStringLiteral("prores_videotoolbox"));
    if (file.source.isProRes4444) {
        file.commands << command(
            PlannedCommand::Kind::HevcAlphaExport, ffmpeg,
            VideoFormatChecker::hevcAlphaExportArguments(input, file.partialPath));
        return;
    }
    const QString temporary = environment.temporaryDirectory;
    const QString intermediate =
        QDir(temporary).filePath(environment.uniqueName() + QStringLiteral(".mov"));
    const QString stage =
        QDir(temporary).filePath(environment.uniqueName() + QStringLiteral(".mov"));
    file.temporaryFiles << intermediate << stage;
    file.commands << command(
                         PlannedCommand::Kind::AlphaIntermediate, ffmpeg,
                         VideoFormatChecker::intermediatePassArguments(input, intermediate, proRes),
                         0, 0.5, false)
                  << command(PlannedCommand::Kind::ProRes4444Stage, ffmpeg,
                             VideoFormatChecker::proRes4444Arguments(intermediate, stage, proRes),
                             0.5, 0.25, false)
                  << command(PlannedCommand::Kind::HevcAlphaExport, ffmpeg,
                             VideoFormatChecker::hevcAlphaExportArguments(stage, file.partialPath),
                             0.75, 0.25);
}

} // namespace

std::optional<DiskEntry> diskEntryAt(const QString &path)
{
    struct stat status;
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    DiskEntry entry{{static_cast<quint64>(status.st_dev), static_cast<quint64>(status.st_ino)},
                    S_ISREG(status.st_mode),
                    {},
                    false};
    if (entry.regularFile) {
        const std::optional<QByteArray> mark = ResultMark::sourceMarkAt(path);
        entry.madeFrom = mark.value_or(QByteArray());
        entry.marksKept = mark.has_value();
    }
    return entry;
}

bool inShard(const QString &key, const Shard &shard)
{
    if (shard.count <= 1)
        return shard.index == 0;
    const QByteArray digest =
        QCryptographicHash::hash(QFile::encodeName(key), QCryptographicHash::Sha256);
    const quint64 spread = qFromBigEndian<quint64>(digest.constData());
    return spread % static_cast<quint64>(shard.count) == static_cast<quint64>(shard.index);
}

double displayAspect(const VideoFile &file)
{
    const ShownPicture shown = shownPicture(file);
    return shown.isKnown() ? shown.width * shown.pixelAspect() / shown.height : 0.0;
}

QStringList existingOutputs(const TranscodeSettings &settings, const QList<VideoFile> &files,
                            const PlanEnvironment &environment)
{
    PlanEnvironment replacing = environment;
    replacing.choices.existingOutput = ExistingOutput::Replace;
    QStringList existing;
    const QString folder = outputDirectoryFor(settings, files);
    if (folder.isEmpty())
        return existing;
    for (const PlannedFile &file : namedOutputs(settings, files, replacing, folder)) {
        if (file.replacesOutput && !file.resumes && converts(file.source, environment.choices))
            existing << file.outputPath;
    }
    return existing;
}

QStringList existingOutputs(const TranscodeSettings &settings, const QList<VideoFile> &files,
                            const QSet<QUuid> &only)
{
    PlanEnvironment environment;
    environment.fileAt = diskEntryAt;
    environment.choices.only = only;
    return existingOutputs(settings, files, environment);
}

EncoderQuestions encoderQuestions(const TranscodeSettings &settings)
{
    EncoderQuestions questions;
    if (const Result<EncodeCommand> command = encodeCommandFor(settings);
        command && !takesAlphaRoute(settings)) {
        if (!Encoders::candidatesFor(command->encoder).isEmpty())
            questions.hardware << command->encoder;
    }
    if (takesAlphaRoute(settings))
        questions.hardware << QStringLiteral("prores_videotoolbox");
    questions.hevcAlpha = takesAlphaRoute(settings) || wantsSoftwareHevcAlpha(settings);
    return questions;
}

RunPlan planRun(const TranscodeSettings &settings, const QList<VideoFile> &files,
                const EncoderAnswers &answers, const PlanEnvironment &environment)
{
    RunPlan plan;
    plan.ffmpeg = environment.ffmpeg;
    plan.listingSize = static_cast<int>(files.size());
    const Result<EncodeCommand> settingsCommand = encodeCommandFor(settings);
    if (!settingsCommand) {
        plan.refusal = RunRefusal{settingsCommand.error(), settingsCommand.error().description()};
        return plan;
    }
    const EncoderQuestions questions = encoderQuestions(settings);
    if (questions.hevcAlpha && answers.hevcAlphaEncoder.isEmpty()) {
        plan.refusal = noHevcAlpha(settings);
        return plan;
    }
    for (const QString &named : questions.hardware)
        plan.notices << fallbackNotice(named, answers.encoderFor(named));
    plan.outputDirectory = outputDirectoryFor(settings, files);

    // Outputs are named over the whole listing, so that every shard names them alike.
    plan.files = namedOutputs(settings, files, environment, plan.outputDirectory);
    plan.files.removeIf(
        [&](const PlannedFile &file) { return !converts(file.source, environment.choices); });

    const QString format = OutputNaming::outputExtension(settings.codec, settings.container);
    for (PlannedFile &file : plan.files) {
        file.promise = promiseFor(settings, file.source);
        if (takesAlphaRoute(settings)) {
            planAlphaRoute(file, plan.ffmpeg, answers, environment);
            continue;
        }
        const QString input = filePath(file.source.url);
        const auto conversion = [&](const QString &encoder) {
            const EncodeCommand adapted = commandFor(*settingsCommand, encoder, settings,
                                                     file.source, answers.renderNode, format);
            return command(PlannedCommand::Kind::Conversion, plan.ffmpeg,
                           adapted.conversionArguments(input, format, file.partialPath));
        };
        file.encoder = answers.encoderFor(settingsCommand->encoder);
        file.outputSize =
            sizingFor(settings, file.source, file.encoder, settingsCommand->filters).size;
        file.chosenSize = chosenSizeFor(settings, file.source);
        file.commands << conversion(file.encoder);
        if (Encoders::formOf(file.encoder) != Encoders::Form::Software) {
            file.retryEncoder = Encoders::softwareStandIn(file.encoder);
            file.softwareRetry << conversion(file.retryEncoder);
        }
    }
    return plan;
}
