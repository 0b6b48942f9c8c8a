#include "transcode/FFmpegArguments.h"

#include "domain/SettingsRules.h"

namespace {

enum class CodecGroup { None, H264, Hevc, ProRes, Av1 };

CodecGroup groupOf(const QString &codec)
{
    if (codec == Codec::H264Hardware || codec == Codec::H264Software)
        return CodecGroup::H264;
    if (codec == Codec::HevcHardware || codec == Codec::HevcSoftware)
        return CodecGroup::Hevc;
    if (codec == Codec::ProResHardware || codec == Codec::ProResSoftware)
        return CodecGroup::ProRes;
    if (codec == Codec::Av1Software)
        return CodecGroup::Av1;
    return CodecGroup::None;
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

Result<QStringList> buildFFmpegArguments(const TranscodeSettings &settings)
{
    const CodecGroup group = groupOf(settings.codec);
    const bool hardware = settings.codec.endsWith(u"(硬件加速)");
    const std::optional<QString> kbps = bitrateArgument(settings.bitrate);
    if (!kbps &&
        (group == CodecGroup::H264 || group == CodecGroup::Hevc || group == CodecGroup::Av1)) {
        return Error{QStringLiteral("Settings"), 1,
                     QStringLiteral("码率无效: %1 Mbps。码率换算为 kbit/s 后须至少为 1，"
                                    "且在 64 位整数范围内。")
                         .arg(settings.bitrate)};
    }

    QStringList arguments;
    switch (group) {
    case CodecGroup::H264:
        arguments << QStringLiteral("-c:v")
                  << (hardware ? QStringLiteral("h264_videotoolbox") : QStringLiteral("libx264"))
                  << QStringLiteral("-b:v") << *kbps << QStringLiteral("-movflags")
                  << QStringLiteral("+faststart") << QStringLiteral("-c:a") << QStringLiteral("aac")
                  << QStringLiteral("-strict") << QStringLiteral("experimental");
        break;
    case CodecGroup::Hevc:
        arguments << QStringLiteral("-c:v")
                  << (hardware ? QStringLiteral("hevc_videotoolbox") : QStringLiteral("libx265"));
        if (hardware && settings.enableAlpha)
            arguments << QStringLiteral("-allow_sw") << QStringLiteral("1");
        if (settings.enableAlpha)
            arguments << QStringLiteral("-pix_fmt") << QStringLiteral("bgra")
                      << QStringLiteral("-alpha_quality") << QStringLiteral("0.9");
        arguments << QStringLiteral("-b:v") << *kbps << QStringLiteral("-tag:v")
                  << QStringLiteral("hvc1");
        break;
    case CodecGroup::ProRes:
        arguments << QStringLiteral("-c:v")
                  << (hardware ? QStringLiteral("prores_videotoolbox")
                               : QStringLiteral("prores_ks"))
                  << QStringLiteral("-profile:v") << proResProfileNumber(settings.proResProfile);
        break;
    case CodecGroup::Av1:
        arguments << QStringLiteral("-c:v") << QStringLiteral("libsvtav1") << QStringLiteral("-b:v")
                  << *kbps << QStringLiteral("-preset") << QStringLiteral("8")
                  << QStringLiteral("-svtav1-params") << QStringLiteral("tune=0:fast-decode=1")
                  << QStringLiteral("-pix_fmt") << QStringLiteral("yuv420p")
                  << QStringLiteral("-strict") << QStringLiteral("experimental");
        break;
    case CodecGroup::None:
        break;
    }

    if (settings.resolution != OriginalResolution)
        arguments << QStringLiteral("-vf") << QStringLiteral("scale=") + settings.resolution;
    if (settings.frameRate != OriginalFrameRate)
        arguments << QStringLiteral("-r") << settings.frameRate;
    return arguments;
}
