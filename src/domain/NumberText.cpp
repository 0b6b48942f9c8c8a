#include "domain/NumberText.h"

#include <cmath>

namespace {

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Moves `i` past a run of digits and tells how many there were.
qsizetype skipDigits(QStringView text, qsizetype &i)
{
    const qsizetype start = i;
    while (i < text.size() && isDigit(text[i]))
        ++i;
    return i - start;
}

void skipSign(QStringView text, qsizetype &i)
{
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
}

} // namespace

std::optional<qint64> parseWholeInteger(QStringView text)
{
    qsizetype i = 0;
    skipSign(text, i);
    if (skipDigits(text, i) == 0 || i != text.size())
        return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

std::optional<double> parseWholeNumber(QStringView text)
{
    qsizetype i = 0;
    skipSign(text, i);
    qsizetype digits = skipDigits(text, i);
    if (i < text.size() && text[i] == u'.') {
        ++i;
        digits += skipDigits(text, i);
    }
    if (digits == 0)
        return std::nullopt;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        skipSign(text, i);
        if (skipDigits(text, i) == 0)
            return std::nullopt;
    }
    if (i != text.size())
        return std::nullopt;
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional(value) : std::nullopt;
}
