#include "transcode/Encoders.h"

#include <QDir>

namespace Encoders {

namespace {

struct Family
{
    const char *software;
    QStringList hardware; // in the order they are tried
};

const QList<Family> &families()
{
    static const QList<Family> list{
        {"libx264",
         {QStringLiteral("h264_videotoolbox"), QStringLiteral("h264_nvenc"),
          QStringLiteral("h264_vaapi"), QStringLiteral("h264_qsv")}},
        {"libx265",
         {QStringLiteral("hevc_videotoolbox"), QStringLiteral("hevc_nvenc"),
          QStringLiteral("hevc_vaapi"), QStringLiteral("hevc_qsv")}},
        {"prores_ks", {QStringLiteral("prores_videotoolbox")}},
    };
    return list;
}

const Family *familyOf(const QString &encoder)
{
    for (const Family &family : families()) {
        if (family.hardware.contains(encoder) || encoder == QLatin1String(family.software))
            return &family;
    }
    return nullptr;
}

} // namespace

QStringList candidatesFor(const QString &named)
{
    const Family *family = familyOf(named);
    return family && family->hardware.contains(named) ? family->hardware : QStringList();
}

QStringList candidatesHere(const QString &named)
{
    QStringList candidates = candidatesFor(named);
#ifndef Q_OS_MACOS
    candidates.removeIf(
        [](const QString &encoder) { return formOf(encoder) == Form::VideoToolbox; });
#endif
    return candidates;
}

QString softwareStandIn(const QString &encoder)
{
    const Family *family = familyOf(encoder);
    return family ? QString::fromLatin1(family->software) : encoder;
}

Form formOf(const QString &encoder)
{
    if (encoder.endsWith(u"_videotoolbox"))
        return Form::VideoToolbox;
    if (encoder.endsWith(u"_nvenc"))
        return Form::Nvenc;
    if (encoder.endsWith(u"_vaapi"))
        return Form::Vaapi;
    if (encoder.endsWith(u"_qsv"))
        return Form::QuickSync;
    return Form::Software;
}

bool isHevc(const QString &encoder)
{
    return encoder == u"libx265" || encoder.startsWith(u"hevc_");
}

bool needsEvenSize(const QString &encoder)
{
    return encoder == u"libx264" || encoder == u"libx265" || encoder == u"libsvtav1" ||
           encoder.startsWith(u"h264_") || encoder.startsWith(u"hevc_");
}

bool keepsFullRange(const QString &encoder)
{
    return encoder == u"libx264" || encoder == u"libx265" || encoder == u"libsvtav1";
}

QStringList deviceOptions(Form form, const QString &renderNode)
{
    switch (form) {
    case Form::Vaapi:
        return {QStringLiteral("-vaapi_device"), renderNode};
    case Form::QuickSync:
        return {QStringLiteral("-init_hw_device"), QStringLiteral("qsv=hw"),
                QStringLiteral("-filter_hw_device"), QStringLiteral("hw")};
    default:
        return {};
    }
}

QString uploadFilters(Form form, bool tenBit)
{
    switch (form) {
    case Form::Vaapi:
        return QStringLiteral("format=%1,hwupload").arg(tenBit ? u"p010" : u"nv12");
    case Form::QuickSync:
        return QStringLiteral("format=%1,hwupload=extra_hw_frames=64")
            .arg(tenBit ? u"p010le" : u"nv12");
    default:
        return {};
    }
}

QStringList formOptions(Form form)
{
    if (form == Form::Nvenc)
        return {QStringLiteral("-preset"), QStringLiteral("p6"), QStringLiteral("-tune"),
                QStringLiteral("hq")};
    return {};
}

QString pixelFormat420(Form form, bool tenBit)
{
    if (!tenBit)
        return QStringLiteral("yuv420p");
    return form == Form::Software ? QStringLiteral("yuv420p10le") : QStringLiteral("p010le");
}

QStringList testEncodeArguments(const QString &encoder, const QString &renderNode)
{
    const Form form = formOf(encoder);
    QStringList arguments{QStringLiteral("-v"), QStringLiteral("error")};
    arguments << deviceOptions(form, renderNode);
    // Large enough for every GPU encoder's smallest picture.
    arguments << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
              << QStringLiteral("color=c=black:size=256x256:rate=25");
    if (const QString upload = uploadFilters(form, false); !upload.isEmpty())
        arguments << QStringLiteral("-vf") << upload;
    arguments << QStringLiteral("-frames:v") << QStringLiteral("1") << QStringLiteral("-c:v")
              << encoder << formOptions(form) << QStringLiteral("-f") << QStringLiteral("null")
              << QStringLiteral("-");
    return arguments;
}

QString renderNode()
{
    const QStringList nodes =
        QDir(QStringLiteral("/dev/dri"))
            .entryList({QStringLiteral("renderD*")}, QDir::System, QDir::Name);
    return nodes.isEmpty() ? QStringLiteral("/dev/dri/renderD128")
                           : QStringLiteral("/dev/dri/") + nodes.first();
}

} // namespace Encoders
