#include "transcode/VideoFormatChecker.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace VideoFormatChecker {

QStringList probeArguments(const QString &path)
{
    return {QStringLiteral("-v"),
            QStringLiteral("quiet"),
            QStringLiteral("-print_format"),
            QStringLiteral("json"),
            QStringLiteral("-show_streams"),
            QStringLiteral("-select_streams"),
            QStringLiteral("v:0"),
            path};
}

bool isProRes4444(const QByteArray &ffprobeJson)
{
    const QJsonArray streams =
        QJsonDocument::fromJson(ffprobeJson).object().value(QStringLiteral("streams")).toArray();
    if (streams.isEmpty())
        return false;
    const QJsonObject stream = streams.first().toObject();
    if (stream.value(QStringLiteral("codec_tag_string")).toString() != u"ap4h")
        return false;
    const QJsonValue encoder =
        stream.value(QStringLiteral("tags")).toObject().value(QStringLiteral("encoder"));
    const QJsonValue formatName =
        encoder.isString() ? encoder : stream.value(QStringLiteral("profile"));
    return formatName.isString() && formatName.toString().contains(u"4444");
}

QStringList proRes4444Arguments(const QString &input, const QString &output)
{
    return {QStringLiteral("-i"),          input,
            QStringLiteral("-c:v"),        QStringLiteral("prores_videotoolbox"),
            QStringLiteral("-profile:v"),  QStringLiteral("4444"),
            QStringLiteral("-alpha_bits"), QStringLiteral("16"),
            QStringLiteral("-y"),          output};
}

QStringList intermediatePassArguments(const QString &input, const QString &output)
{
    return {QStringLiteral("-i"),
            input,
            QStringLiteral("-y"),
            QStringLiteral("-progress"),
            QStringLiteral("pipe:1"),
            QStringLiteral("-c:v"),
            QStringLiteral("prores_videotoolbox"),
            QStringLiteral("-profile:v"),
            QStringLiteral("4"),
            QStringLiteral("-pix_fmt"),
            QStringLiteral("bgra"),
            QStringLiteral("-f"),
            QStringLiteral("mov"),
            output};
}

QStringList hevcAlphaExportArguments(const QString &input, const QString &output)
{
    return {QStringLiteral("-i"),         input,
            QStringLiteral("-y"),         QStringLiteral("-progress"),
            QStringLiteral("pipe:1"),     QStringLiteral("-map"),
            QStringLiteral("0:v:0"),      QStringLiteral("-c:v"),
            QStringLiteral("libx265"),    QStringLiteral("-pix_fmt"),
            QStringLiteral("yuva420p"),   QStringLiteral("-crf"),
            QStringLiteral("14"),         QStringLiteral("-tag:v"),
            QStringLiteral("hvc1"),       QStringLiteral("-movflags"),
            QStringLiteral("+faststart"), QStringLiteral("-f"),
            QStringLiteral("mov"),        output};
}

} // namespace VideoFormatChecker
