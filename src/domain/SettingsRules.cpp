#include "domain/SettingsRules.h"

#include <cmath>

namespace SettingsRules {

TranscodeSettings withCodec(TranscodeSettings settings, const QString &codec)
{
    settings.codec = codec;
    if (codec.contains(u"ProRes"))
        settings.container = QStringLiteral("mov");
    return applyCodecRules(std::move(settings));
}

TranscodeSettings withContainer(TranscodeSettings settings, const QString &container)
{
    settings.container = container;
    return settings;
}

TranscodeSettings withProResProfile(TranscodeSettings settings, const QString &profile)
{
    settings.proResProfile = profile;
    return applyCodecRules(std::move(settings));
}

TranscodeSettings withResolution(TranscodeSettings settings, const QString &resolution)
{
    settings.resolution = resolution;
    return applyCodecRules(std::move(settings));
}

TranscodeSettings withFrameRate(TranscodeSettings settings, const QString &frameRate)
{
    settings.frameRate = frameRate;
    return applyCodecRules(std::move(settings));
}

TranscodeSettings withBitrate(TranscodeSettings settings, double mbps)
{
    if (bitrateKbps(mbps))
        settings.bitrate = mbps;
    return settings;
}

TranscodeSettings withAlpha(TranscodeSettings settings, bool enableAlpha)
{
    settings.enableAlpha = enableAlpha;
    return settings;
}

TranscodeSettings withOverwrite(TranscodeSettings settings, bool overwriteOriginal)
{
    settings.overwriteOriginal = overwriteOriginal;
    return settings;
}

TranscodeSettings withPreset(TranscodeSettings settings, const TranscodePreset &preset)
{
    settings.codec = preset.codec;
    settings.resolution = preset.resolution;
    settings.frameRate = preset.frameRate;
    settings = withBitrate(std::move(settings), preset.bitrate);
    settings.container = preset.container;
    settings.proResProfile = preset.proResProfile;
    settings.enableAlpha = preset.enableAlpha;
    if (preset.overwriteOriginal)
        settings.overwriteOriginal = *preset.overwriteOriginal;
    return withCodec(std::move(settings), preset.codec);
}

TranscodeSettings applyCodecRules(TranscodeSettings settings)
{
    if (settings.codec != Codec::ProResHardware && settings.codec != Codec::ProResSoftware)
        settings.proResProfile = QStringLiteral("422");
    // Only the hardware ProRes encoder is held to the profile; the software one is left alone.
    if (settings.codec == Codec::ProResHardware && !settings.proResProfile.contains(u"4444"))
        settings.enableAlpha = false;
    return settings;
}

std::optional<qint64> bitrateKbps(double mbps)
{
    constexpr double twoToThe63 = 9223372036854775808.0;
    const double kbps = mbps * 1000.0;
    if (!std::isfinite(kbps) || kbps < 1 || kbps >= twoToThe63)
        return std::nullopt;
    return static_cast<qint64>(kbps);
}

bool supportsBitrate(const QString &codec)
{
    return codec.contains(u"H.264") || codec.contains(u"HEVC") || codec.contains(u"AV1");
}

bool supportsAlpha(const QString &codec, const QString &proResProfile)
{
    if (codec.contains(u"HEVC"))
        return true;
    if (codec.contains(u"ProRes"))
        return proResProfile.contains(u"4444");
    return false;
}

} // namespace SettingsRules
