#include "transcode/FFmpegDiagnosis.h"

#include <QRegularExpression>

namespace {

constexpr qsizetype KeptLines = 40;

QString withoutContext(const QString &line)
{
    static const QRegularExpression context(QStringLiteral("^\\[[^\\]]* @ 0x[0-9a-fA-F]+\\] "));
    return QString(line).remove(context);
}

// Lines that only say that something failed, or say nothing of a failure at all.
bool saysNothingSpecific(const QString &line)
{
    static const QRegularExpression noise(QStringLiteral(
        "^(Conversion failed!|Error while |Error initializing |Error opening output file|"
        "Error splitting the argument list|Could not open encoder before EOF|"
        "Nothing was written into output file|Task finished with error code|"
        "Terminating thread with return code|Error sending frames to consumers|"
        "Exiting normally|frame=|size=|video:|Press \\[q\\]|Stream mapping:|"
        "Input #|Output #|Stream #|Metadata:|Duration:|ffmpeg version|built with|"
        "configuration:|lib[a-z]+ +[0-9]|\\s)"));
    return line.isEmpty() || noise.match(line).hasMatch();
}

// Lines that read as a reason: what went wrong, not what was going on.
bool soundsLikeAFailure(const QString &line)
{
    static const QRegularExpression failure(
        QStringLiteral("error|fail|invalid|cannot|could not|unable|not |no such|no space|denied|"
                       "unknown|unsupported|unrecognized|incorrect|missing|too (large|small|many)|"
                       "out of|corrupt"),
        QRegularExpression::CaseInsensitiveOption);
    return failure.match(line).hasMatch();
}

} // namespace

QString FFmpegDiagnosis::shortened(const QString &text)
{
    if (text.size() <= LongestReason)
        return text;
    qsizetype cut = LongestReason - 1;
    if (text.at(cut).isLowSurrogate())
        --cut;
    return text.left(cut) + QChar(0x2026);
}

void FFmpegDiagnosis::add(const QByteArray &line)
{
    if (line.contains("No space left on device"))
        m_noSpace = true;
    // Leading blanks stay: ffmpeg indents what describes the streams.
    QString text = shortened(QString::fromUtf8(line.left(4 * LongestReason)));
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    if (text.trimmed().isEmpty())
        return;
    m_lines << text;
    if (m_lines.size() > KeptLines)
        m_lines.removeFirst();
}

QString FFmpegDiagnosis::reason() const
{
    // The last line that names a failure, else the last that says anything specific.
    QString fallback;
    for (qsizetype i = m_lines.size() - 1; i >= 0; --i) {
        const QString line = withoutContext(m_lines.at(i));
        if (saysNothingSpecific(line))
            continue;
        if (soundsLikeAFailure(line))
            return line;
        if (fallback.isEmpty())
            fallback = line;
    }
    if (!fallback.isEmpty())
        return fallback;
    return m_lines.isEmpty() ? QString() : withoutContext(m_lines.last()).trimmed();
}
