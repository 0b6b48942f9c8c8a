#include "domain/Trace.h"

#include <algorithm>
#include <cstdio>

namespace {

void writeLine(const QString &line, FILE *stream)
{
    const QByteArray bytes = escapeControlCharacters(line).toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
    std::clearerr(stream);
}

} // namespace

QString escapeControlCharacters(const QString &text)
{
    const auto isControl = [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; };
    if (std::none_of(text.begin(), text.end(), isControl))
        return text;
    QString escaped;
    escaped.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (!isControl(c))
            escaped += c;
        else if (c == u'\n')
            escaped += QStringLiteral("\\n");
        else if (c == u'\r')
            escaped += QStringLiteral("\\r");
        else if (c == u'\t')
            escaped += QStringLiteral("\\t");
        else
            escaped += QString::asprintf("\\x%02X", c.unicode());
    }
    return escaped;
}

void writeTraceToStandardOutput(const QString &line)
{
    writeLine(line, stdout);
}

void writeLineToStandardError(const QString &line)
{
    writeLine(line, stderr);
}
