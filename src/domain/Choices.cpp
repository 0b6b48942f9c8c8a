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

} // namespace Choices
