#include "transcode/RunPlan.h"

#include "domain/FileUrls.h"
#include "probe/ProbeOutput.h"
#include "transcode/Encoders.h"
#include "transcode/FFmpegArguments.h"
#include "transcode/OutputNaming.h"
#include "transcode/VideoFormatChecker.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {

bool takesAlphaRoute(const TranscodeSettings &settings)
{
    return settings.codec == Codec::HevcHardware && settings.enableAlpha;
}

bool wantsSoftwareHevcAlpha(const TranscodeSettings &settings)
{
    return settings.codec == Codec::HevcSoftware && settings.enableAlpha;
}

qsizetype valueIndex(const QStringList &arguments, const QString &option)
{
    const qsizetype at = arguments.indexOf(option);
    return at >= 0 && at + 1 < arguments.size() ? at + 1 : -1;
}

void removeOption(QStringList &arguments, const QString &option)
{
    if (const qsizetype at = valueIndex(arguments, option); at >= 0)
        arguments.remove(at - 1, 2);
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

struct ShapedArguments
{
    QStringList deviceOptions;
    QStringList settings;
};

// The settings' arguments made to work here and on this file: the encoder that works on this
// machine in its own form, a pixel format that plays, even sizes, exact NTSC rates and every
// audio track. A file that needs none of it keeps the arguments as they are.
ShapedArguments shapeArguments(QStringList arguments, const QString &encoder,
                               const TranscodeSettings &settings, const VideoFile &source,
                               const QString &renderNode)
{
    const Encoders::Form form = Encoders::formOf(encoder);
    ShapedArguments shaped{Encoders::deviceOptions(form, renderNode), {}};
    const qsizetype at = valueIndex(arguments, QStringLiteral("-c:v"));
    if (at < 0) {
        shaped.settings = arguments;
        return shaped;
    }
    arguments[at] = encoder;
    if (form != Encoders::Form::VideoToolbox)
        removeOption(arguments, QStringLiteral("-allow_sw"));
    if (Encoders::isHevc(encoder) && form == Encoders::Form::Software && settings.enableAlpha) {
        // x265's own alpha format; it takes no quality for the alpha plane.
        arguments[valueIndex(arguments, QStringLiteral("-pix_fmt"))] = QStringLiteral("yuva420p");
        removeOption(arguments, QStringLiteral("-alpha_quality"));
    }
    qsizetype insertAt = at + 1;
    for (const QString &option : Encoders::formOptions(form))
        arguments.insert(insertAt++, option);

    const bool tenBit = Encoders::isHevc(encoder) && source.bitsPerSample > 8;
    const QString upload = Encoders::uploadFilters(form, tenBit);
    const QString target = targetPixelFormat(encoder, settings, source);
    if (upload.isEmpty() && !target.isEmpty() && needsPixelFormat(target, source)) {
        arguments.insert(insertAt, QStringLiteral("-pix_fmt"));
        arguments.insert(insertAt + 1, target);
    }

    QStringList filters;
    const qsizetype scaleAt = valueIndex(arguments, QStringLiteral("-vf"));
    if (scaleAt >= 0) {
        filters << arguments[scaleAt];
    } else if (Encoders::needsEvenSize(encoder) &&
               (source.shownWidth() % 2 != 0 || source.shownHeight() % 2 != 0)) {
        // Down to even, never to nothing; the scaler keeps the shape through the pixel aspect.
        const auto even = [](int size) { return qMax(2, size - size % 2); };
        filters << QStringLiteral("scale=%1x%2")
                       .arg(even(source.shownWidth()))
                       .arg(even(source.shownHeight()));
    }
    if (!upload.isEmpty())
        filters << upload;
    if (!filters.isEmpty()) {
        const QString chain = filters.join(QLatin1Char(','));
        if (scaleAt >= 0) {
            arguments[scaleAt] = chain;
        } else {
            const qsizetype rateAt = arguments.indexOf(QStringLiteral("-r"));
            const qsizetype at = rateAt >= 0 ? rateAt : arguments.size();
            arguments.insert(at, QStringLiteral("-vf"));
            arguments.insert(at + 1, chain);
        }
    }
    if (const qsizetype rateAt = valueIndex(arguments, QStringLiteral("-r")); rateAt >= 0)
        arguments[rateAt] = exactFrameRate(arguments[rateAt]);

    // Without maps ffmpeg keeps one audio track and may try subtitles the container cannot
    // hold.
    if (source.audioStreams > 1 || source.videoStreams > 1 || source.otherStreams > 0)
        arguments << QStringLiteral("-map") << QStringLiteral("0:v:0") << QStringLiteral("-map")
                  << QStringLiteral("0:a?");
    shaped.settings = arguments;
    return shaped;
}

QString encoderNamedIn(const QStringList &arguments)
{
    const qsizetype at = valueIndex(arguments, QStringLiteral("-c:v"));
    return at >= 0 ? arguments[at] : QString();
}

QString fallbackNotice(const QString &named, const QString &used)
{
    if (Encoders::formOf(used) != Encoders::Form::Software)
        return QStringLiteral("使用硬件编码器 %1").arg(used);
    const QStringList tried = Encoders::candidatesFor(named);
    return tried.size() > 1 ? QStringLiteral("此 ffmpeg 不能使用硬件编码器 %1（也没有可用的 %2），"
                                             "已改用软件编码器 %3")
                                  .arg(named, tried.mid(1).join(QStringLiteral("、")), used)
                            : QStringLiteral("此 ffmpeg 不能使用硬件编码器 %1，已改用软件编码器 %2")
                                  .arg(named, used);
}

RunRefusal noHevcAlpha(const TranscodeSettings &settings)
{
    const QString why =
        QStringLiteral("此 ffmpeg 没有能保留 Alpha 通道的 HEVC 编码器，无法输出带 "
                       "Alpha 通道的 HEVC；要保留 Alpha 通道，请选择 ProRes 4444。");
    if (takesAlphaRoute(settings))
        return {Error{QStringLiteral("VideoConversion"), -2, QStringLiteral("无法创建导出会话")},
                QStringLiteral("无法创建导出会话：") + why};
    return {Error{QStringLiteral("Settings"), 2, why}, why};
}

// Gives each file of the listing its output, so that no two share one and none lands on an
// input of the run, whatever path names it.
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
    // `existingIsTaken`: a file already there is kept, not replaced.
    QString claim(const QString &folder, const QString &source, const QString &extension,
                  bool existingIsTaken)
    {
        const QString stem = OutputNaming::baseName(QFileInfo(source).fileName());
        for (int n = 1;; ++n) {
            const QString suffix = n == 1 ? QString() : QStringLiteral(" (%1)").arg(n);
            const QString path =
                QDir(folder).filePath(OutputNaming::fittedName(stem, suffix, extension));
            if (isTaken(path, existingIsTaken))
                continue;
            m_claimed.insert(path);
            return path;
        }
    }

    void keep(const QString &path) { m_claimed.insert(path); }

    QString partialFor(const QString &output)
    {
        QString partial = OutputNaming::partialPath(output);
        for (int n = 2; m_claimed.contains(partial); ++n)
            partial = OutputNaming::partialPath(output, QString::number(n));
        m_claimed.insert(partial);
        return partial;
    }

private:
    bool isTaken(const QString &path, bool existingIsTaken) const
    {
        if (m_claimed.contains(path) || m_inputs.contains(path))
            return true;
        const std::optional<FileKey> existing = m_fileAt ? m_fileAt(path) : std::nullopt;
        return existing && (existingIsTaken || m_inputKeys.contains(*existing));
    }

    std::function<std::optional<FileKey>(const QString &)> m_fileAt;
    QSet<QString> m_claimed;
    QSet<QString> m_inputs;
    QList<FileKey> m_inputKeys;
};

PlannedCommand command(PlannedCommand::Kind kind, const QString &ffmpeg, QStringList arguments,
                       double start = 0, double span = 1, bool readsProgress = true)
{
    return PlannedCommand{kind, ffmpeg, std::move(arguments), start, span, readsProgress};
}

// The file's main conversion as the settings shape it for this machine and this file.
QStringList mainRouteArguments(const QStringList &deviceOptions, const QString &input,
                               const QStringList &settings, const QString &format,
                               const QString &output)
{
    return deviceOptions +
           QStringList{QStringLiteral("-i"), input, QStringLiteral("-y"),
                       QStringLiteral("-progress"), QStringLiteral("pipe:1")} +
           settings +
           QStringList{QStringLiteral("-f"), format, QStringLiteral("-c:a"), QStringLiteral("aac"),
                       output};
}

} // namespace

std::optional<FileKey> fileKeyAt(const QString &path)
{
    const FileKey key = fileFactsAt(path).key;
    return key.isValid() ? std::optional(key) : std::nullopt;
}

EncoderQuestions encoderQuestions(const TranscodeSettings &settings)
{
    EncoderQuestions questions;
    if (const Result<QStringList> arguments = buildFFmpegArguments(settings);
        arguments && !takesAlphaRoute(settings)) {
        const QString named = encoderNamedIn(*arguments);
        if (!Encoders::candidatesFor(named).isEmpty())
            questions.hardware << named;
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
    const Result<QStringList> settingsArguments = buildFFmpegArguments(settings);
    if (!settingsArguments) {
        plan.refusal =
            RunRefusal{settingsArguments.error(), settingsArguments.error().description()};
        return plan;
    }
    const EncoderQuestions questions = encoderQuestions(settings);
    if (questions.hevcAlpha && answers.hevcAlphaEncoder.isEmpty()) {
        plan.refusal = noHevcAlpha(settings);
        return plan;
    }
    for (const QString &named : questions.hardware)
        plan.notices << fallbackNotice(named, answers.encoderFor(named));
    if (files.isEmpty())
        return plan;
    if (!settings.overwriteOriginal)
        plan.outputDirectory = OutputNaming::outputDirectory(files.first().url, settings.codec);

    const QString format = OutputNaming::outputExtension(settings.codec, settings.container);
    OutputNamer names(files, environment);
    for (int position = 0; position < files.size(); ++position) {
        const VideoFile &source = files.at(position);
        const QString input = filePath(source.url);
        PlannedFile file;
        file.position = position;
        file.source = source;
        if (!settings.overwriteOriginal) {
            file.outputPath = names.claim(plan.outputDirectory, input, format, false);
        } else if (OutputNaming::extension(source.name).compare(format, Qt::CaseInsensitive) == 0) {
            file.outputPath = input;
            names.keep(input);
            file.replacesSource = true;
        } else {
            // A new container gets a name that says so; nothing already there is replaced.
            file.outputPath = names.claim(QFileInfo(input).path(), input, format, true);
            file.replacesSource = true;
        }
        file.partialPath = names.partialFor(file.outputPath);

        if (takesAlphaRoute(settings)) {
            file.route = Route::HevcAlpha;
            file.encoder = answers.hevcAlphaEncoder;
            const QString proRes = answers.encoderFor(QStringLiteral("prores_videotoolbox"));
            if (source.isProRes4444) {
                file.commands << command(
                    PlannedCommand::Kind::HevcAlphaExport, plan.ffmpeg,
                    VideoFormatChecker::hevcAlphaExportArguments(input, file.partialPath));
            } else {
                const QString temporary = environment.temporaryDirectory;
                const QString intermediate =
                    QDir(temporary).filePath(environment.uniqueName() + QStringLiteral(".mov"));
                const QString stage =
                    QDir(temporary).filePath(environment.uniqueName() + QStringLiteral(".mov"));
                file.temporaryFiles << intermediate << stage;
                file.commands << command(PlannedCommand::Kind::AlphaIntermediate, plan.ffmpeg,
                                         VideoFormatChecker::intermediatePassArguments(
                                             input, intermediate, proRes),
                                         0, 0.5, false)
                              << command(PlannedCommand::Kind::ProRes4444Stage, plan.ffmpeg,
                                         VideoFormatChecker::proRes4444Arguments(intermediate,
                                                                                 stage, proRes),
                                         0.5, 0.25, false)
                              << command(PlannedCommand::Kind::HevcAlphaExport, plan.ffmpeg,
                                         VideoFormatChecker::hevcAlphaExportArguments(
                                             stage, file.partialPath),
                                         0.75, 0.25);
            }
        } else {
            const QString named = encoderNamedIn(*settingsArguments);
            file.encoder = answers.encoderFor(named);
            const auto conversion = [&](const QString &encoder) {
                const ShapedArguments shaped = shapeArguments(*settingsArguments, encoder, settings,
                                                              source, answers.renderNode);
                return command(PlannedCommand::Kind::Conversion, plan.ffmpeg,
                               mainRouteArguments(shaped.deviceOptions, input, shaped.settings,
                                                  format, file.partialPath));
            };
            file.commands << conversion(file.encoder);
            file.expectedAudioStreams = source.audioStreams;
            if (Encoders::formOf(file.encoder) != Encoders::Form::Software) {
                file.retryEncoder = Encoders::softwareStandIn(file.encoder);
                file.softwareRetry << conversion(file.retryEncoder);
            }
        }
        plan.files << file;
    }
    if (environment.shard) {
        const Shard shard = *environment.shard;
        plan.files.removeIf([shard](const PlannedFile &file) {
            return file.position % shard.count != shard.index;
        });
    }
    if (!environment.only.isEmpty())
        plan.files.removeIf(
            [&](const PlannedFile &file) { return !environment.only.contains(file.source.id); });
    return plan;
}
