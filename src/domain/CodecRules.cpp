#include "domain/CodecRules.h"

#include "domain/Choices.h"

namespace CodecRules {

CodecRuleSettings afterCodecChange(CodecRuleSettings settings)
{
    if (settings.codec.contains(u"ProRes"))
        settings.container = QStringLiteral("mov");
    return apply(std::move(settings));
}

CodecRuleSettings apply(CodecRuleSettings settings)
{
    if (settings.codec != Codec::ProResHardware && settings.codec != Codec::ProResSoftware)
        settings.proResProfile = QStringLiteral("422");
    // Only the hardware ProRes encoder is held to the profile; the software one is left alone.
    if (settings.codec == Codec::ProResHardware && !settings.proResProfile.contains(u"4444"))
        settings.enableAlpha = false;
    return settings;
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

} // namespace CodecRules
