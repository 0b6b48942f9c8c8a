#include "transcode/VideoFormatChecker.h"

namespace VideoFormatChecker {

QStringList intermediatePassArguments(const QString &input, const QString &output,
                                      const QString &proRes)
{
    return {QStringLiteral("-i"),
            input,
            QStringLiteral("-y"),
            QStringLiteral("-progress"),
            QStringLiteral("pipe:1"),
            QStringLiteral("-c:v"),
            proRes,
            QStringLiteral("-profile:v"),
            QStringLiteral("4"),
            QStringLiteral("-pix_fmt"),
            QStringLiteral("bgra"),
            QStringLiteral("-f"),
            QStringLiteral("mov"),
            output};
}

QStringList proRes4444Arguments(const QString &input, const QString &output, const QString &proRes)
{
    return {QStringLiteral("-i"),          input,
            QStringLiteral("-c:v"),        proRes,
            QStringLiteral("-profile:v"),  QStringLiteral("4444"),
            QStringLiteral("-alpha_bits"), QStringLiteral("16"),
            QStringLiteral("-y"),          output};
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
