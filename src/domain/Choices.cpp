#include "domain/Choices.h"

namespace Choices {

const QStringList &codecs()
{
    static const QStringList list{Codec::H264Hardware, Codec::HevcHardware, Codec::ProResHardware,
                                  Codec::H264Software, Codec::HevcSoftware, Codec::ProResSoftware,
                                  Codec::Av1Software};
    return list;
}

const QStringList &resolutions()
{
    static const QStringList list{OriginalResolution, QStringLiteral("3840x2160"),
                                  QStringLiteral("2560x1440"), QStringLiteral("1920x1080"),
                                  QStringLiteral("1280x720")};
    return list;
}

const QStringList &frameRates()
{
    static const QStringList list{OriginalFrameRate,        QStringLiteral("120"),
                                  QStringLiteral("119.98"), QStringLiteral("60"),
                                  QStringLiteral("59.94"),  QStringLiteral("30"),
                                  QStringLiteral("29.97"),  QStringLiteral("25"),
                                  QStringLiteral("24"),     QStringLiteral("23.98")};
    return list;
}

const QStringList &proResProfiles()
{
    static const QStringList list{QStringLiteral("422 Proxy"), QStringLiteral("422 LT"),
                                  QStringLiteral("422"),       QStringLiteral("422 HQ"),
                                  QStringLiteral("4444"),      QStringLiteral("4444 XQ")};
    return list;
}

const QStringList &containers()
{
    static const QStringList list{QStringLiteral("mov"), QStringLiteral("mp4")};
    return list;
}

const QStringList &videoExtensions()
{
    static const QStringList list =
        QStringLiteral("mp4 mov m4v mkv avi mxf wmv flv webm m2ts mts ts 3gp mpg "
                       "mpeg vob asf rm rmvb m4s f4v ogv dv divx m2v qt 3g2 mpe "
                       "mpeg2 mp2 mpv mod tod vro dat dvr-ms")
            .split(QLatin1Char(' '));
    return list;
}

QList<TranscodePreset> makePresets()
{
    const auto preset = [](const QString &name, const QString &codec, const QString &container,
                           const QString &colorFormat, double bitrate, const QString &resolution,
                           const QString &proResProfile, bool hardware, bool alpha) {
        return TranscodePreset{QUuid::createUuid(), name,     codec,      container,
                               colorFormat,         bitrate,  resolution, OriginalFrameRate,
                               proResProfile,       hardware, alpha,      std::nullopt};
    };
    const QString mp4 = QStringLiteral("mp4");
    const QString mov = QStringLiteral("mov");
    TranscodePreset smallest =
        preset(QStringLiteral("AV1极致压缩"), Codec::Av1Software, mp4, QStringLiteral("yuv420p"),
               1.0, OriginalResolution, QString(), false, false);
    QList<TranscodePreset> presets{
        preset(QStringLiteral("H264代理"), Codec::H264Hardware, mp4, QStringLiteral("420 8bit"),
               5.0, QStringLiteral("1280x720"), QString(), true, false),
        preset(QStringLiteral("HEVC透明"), Codec::HevcHardware, mov, QStringLiteral("yuv420p"),
               20.0, OriginalResolution, QString(), true, true),
        preset(QStringLiteral("ProRes代理"), Codec::ProResHardware, mov, QStringLiteral("422 8bit"),
               0, QStringLiteral("1280x720"), QStringLiteral("422 Proxy"), true, false),
        preset(QStringLiteral("常规H264"), Codec::H264Hardware, mp4, QStringLiteral("420 8bit"),
               10.0, OriginalResolution, QString(), true, false),
        preset(QStringLiteral("ProRes 4444透明"), Codec::ProResHardware, mov,
               QStringLiteral("4444"), 0, OriginalResolution, QStringLiteral("4444"), true, true),
    };
    // The smallest files are for sharing, never to stand in for the originals.
    smallest.overwriteOriginal = false;
    presets << smallest;
    return presets;
}

const QList<ChoiceName> &presetNames()
{
    static const QList<ChoiceName> names{
        {QStringLiteral("h264-proxy"), QStringLiteral("H264代理")},
        {QStringLiteral("hevc-alpha"), QStringLiteral("HEVC透明")},
        {QStringLiteral("prores-proxy"), QStringLiteral("ProRes代理")},
        {QStringLiteral("h264"), QStringLiteral("常规H264")},
        {QStringLiteral("prores-4444-alpha"), QStringLiteral("ProRes 4444透明")},
        {QStringLiteral("av1-small"), QStringLiteral("AV1极致压缩")},
    };
    return names;
}

const QList<ChoiceName> &codecNames()
{
    static const QList<ChoiceName> names{
        {QStringLiteral("h264-hw"), Codec::H264Hardware},
        {QStringLiteral("hevc-hw"), Codec::HevcHardware},
        {QStringLiteral("prores-hw"), Codec::ProResHardware},
        {QStringLiteral("h264-sw"), Codec::H264Software},
        {QStringLiteral("hevc-sw"), Codec::HevcSoftware},
        {QStringLiteral("prores-sw"), Codec::ProResSoftware},
        {QStringLiteral("av1-sw"), Codec::Av1Software},
    };
    return names;
}

const QList<ChoiceName> &proResProfileNames()
{
    static const QList<ChoiceName> names{
        {QStringLiteral("proxy"), QStringLiteral("422 Proxy")},
        {QStringLiteral("lt"), QStringLiteral("422 LT")},
        {QStringLiteral("standard"), QStringLiteral("422")},
        {QStringLiteral("hq"), QStringLiteral("422 HQ")},
        {QStringLiteral("4444xq"), QStringLiteral("4444 XQ")},
    };
    return names;
}

const QList<ChoiceName> &resolutionNames()
{
    static const QList<ChoiceName> names{
        {QStringLiteral("source"), OriginalResolution},
        {QStringLiteral("2160p"), QStringLiteral("3840x2160")},
        {QStringLiteral("1440p"), QStringLiteral("2560x1440")},
        {QStringLiteral("1080p"), QStringLiteral("1920x1080")},
        {QStringLiteral("720p"), QStringLiteral("1280x720")},
    };
    return names;
}

const QList<ChoiceName> &frameRateNames()
{
    // "119.98" stands for 120000/1001, which is 119.88 to two places.
    static const QList<ChoiceName> names{
        {QStringLiteral("source"), OriginalFrameRate},
        {QStringLiteral("119.88"), QStringLiteral("119.98")},
        {QStringLiteral("23.976"), QStringLiteral("23.98")},
    };
    return names;
}

} // namespace Choices
