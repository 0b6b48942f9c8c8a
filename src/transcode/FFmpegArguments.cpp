#include "transcode/FFmpegArguments.h"

#include "domain/SettingsRules.h"

namespace {

using Family = EncodeCommand::Family;

Family familyOf(const QString &codec)
{
    if (codec == Codec::H264Hardware || codec == Codec::H264Software)
        return Family::H264;
    if (codec == Codec::HevcHardware || codec == Codec::HevcSoftware)
        return Family::Hevc;
    if (codec == Codec::ProResHardware || codec == Codec::ProResSoftware)
        return Family::ProRes;
    if (codec == Codec::Av1Software)
        return Family::Av1;
    return Family::None;
}

void addOption(QStringList &arguments, const QString &option, const QString &value)
{
    if (!value.isEmpty())
        arguments << option << value;
}

} // namespace

QString proResProfileNumber(const QString &profile)
{
    // The profile table lists the profiles in the order of their ffmpeg numbers.
    const qsizetype index = Choices::proResProfiles().indexOf(profile);
    return QString::number(index < 0 ? 2 : index);
}

std::optional<QString> bitrateArgument(double mbps)
{
    const std::optional<qint64> kbps = SettingsRules::bitrateKbps(mbps);
    if (!kbps)
        return std::nullopt;
    return QString::number(*kbps) + QLatin1Char('k');
}

Result<EncodeCommand> encodeCommandFor(const TranscodeSettings &settings)
{
    EncodeCommand command;
    command.family = familyOf(settings.codec);
    const bool hardware = settings.codec.endsWith(u"(硬件加速)");
    const std::optional<QString> kbps = bitrateArgument(settings.bitrate);
    const bool takesBitrate = command.family == Family::H264 || command.family == Family::Hevc ||
                              command.family == Family::Av1;
    if (!kbps && takesBitrate) {
        return Error{QStringLiteral("Settings"), 1,
                     QStringLiteral("码率无效: %1 Mbps。码率换算为 kbit/s 后须至少为 1，"
                                    "且在 64 位整数范围内。")
                         .arg(settings.bitrate)};
    }
    if (takesBitrate)
        command.bitrate = *kbps;

    switch (command.family) {
    case Family::H264:
        command.encoder =
            hardware ? QStringLiteral("h264_videotoolbox") : QStringLiteral("libx264");
        command.movFlags << QStringLiteral("+faststart");
        command.strictExperimental = true;
        break;
    case Family::Hevc:
        command.encoder =
            hardware ? QStringLiteral("hevc_videotoolbox") : QStringLiteral("libx265");
        command.allowSoftware = hardware && settings.enableAlpha;
        if (settings.enableAlpha) {
            command.pixelFormat = QStringLiteral("bgra");
            command.alphaQuality = QStringLiteral("0.9");
        }
        command.codecOptions << QStringLiteral("-tag:v") << QStringLiteral("hvc1");
        break;
    case Family::ProRes:
        command.encoder =
            hardware ? QStringLiteral("prores_videotoolbox") : QStringLiteral("prores_ks");
        command.proResProfile = proResProfileNumber(settings.proResProfile);
        break;
    case Family::Av1:
        command.encoder = QStringLiteral("libsvtav1");
        command.codecOptions << QStringLiteral("-preset") << QStringLiteral("8")
                             << QStringLiteral("-svtav1-params")
                             << QStringLiteral("tune=0:fast-decode=1");
        command.pixelFormat = QStringLiteral("yuv420p");
        command.strictExperimental = true;
        break;
    case Family::None:
        break;
    }
    command.audioCodec = QStringLiteral("aac");
    if (settings.resolution != OriginalResolution)
        command.filters << QStringLiteral("scale=") + settings.resolution;
    if (settings.frameRate != OriginalFrameRate)
        command.frameRate = settings.frameRate;
    return command;
}

Result<QStringList> buildFFmpegArguments(const TranscodeSettings &settings)
{
    const Result<EncodeCommand> command = encodeCommandFor(settings);
    if (!command)
        return command.error();
    return command->settingsArguments();
}

QStringList EncodeCommand::videoArguments(bool audioAmongVideo) const
{
    QStringList arguments;
    if (!encoder.isEmpty()) {
        arguments << QStringLiteral("-c:v") << encoder << formOptions;
        if (allowSoftware)
            arguments << QStringLiteral("-allow_sw") << QStringLiteral("1");
        // AV1's list names its pixel format after its encoder options, the others before.
        if (family != Family::Av1)
            addOption(arguments, QStringLiteral("-pix_fmt"), pixelFormat);
        addOption(arguments, QStringLiteral("-alpha_quality"), alphaQuality);
        addOption(arguments, QStringLiteral("-b:v"), bitrate);
        addOption(arguments, QStringLiteral("-profile:v"), proResProfile);
        arguments << codecOptions;
        if (family == Family::Av1)
            addOption(arguments, QStringLiteral("-pix_fmt"), pixelFormat);
        addOption(arguments, QStringLiteral("-movflags"), movFlags.join(QString()));
        if (audioAmongVideo && family == Family::H264)
            addOption(arguments, QStringLiteral("-c:a"), audioCodec);
        if (strictExperimental)
            arguments << QStringLiteral("-strict") << QStringLiteral("experimental");
    }
    addOption(arguments, QStringLiteral("-vf"), filters.join(QLatin1Char(',')));
    addOption(arguments, QStringLiteral("-r"), frameRate);
    return arguments;
}

QStringList EncodeCommand::settingsArguments() const
{
    return videoArguments(true);
}

QStringList EncodeCommand::conversionArguments(const QString &input, const QString &format,
                                               const QString &output) const
{
    QStringList arguments = deviceOptions;
    arguments << QStringLiteral("-i") << input << QStringLiteral("-y")
              << QStringLiteral("-progress") << QStringLiteral("pipe:1") << videoArguments(false);
    addOption(arguments, QStringLiteral("-fps_mode"), frameTiming);
    if (frameLimit >= 0)
        arguments << QStringLiteral("-frames:v") << QString::number(frameLimit);
    addOption(arguments, QStringLiteral("-color_range"), colorRange);
    for (const QString &map : maps)
        arguments << QStringLiteral("-map") << map;
    if (keepMetadata)
        arguments << QStringLiteral("-map_metadata") << QStringLiteral("0");
    for (const QString &tag : clearedTags)
        arguments << QStringLiteral("-metadata") << tag + QLatin1Char('=');
    for (const auto &[track, layout] : audioLayouts)
        arguments << QStringLiteral("-ch_layout:a:%1").arg(track) << layout;
    for (const auto &[track, bitrate] : audioBitrates)
        arguments << QStringLiteral("-b:a:%1").arg(track) << bitrate;
    arguments << QStringLiteral("-f") << format;
    addOption(arguments, QStringLiteral("-c:a"), audioCodec);
    return arguments << output;
}
