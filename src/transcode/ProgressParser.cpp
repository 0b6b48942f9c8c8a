#include "transcode/ProgressParser.h"

#include "domain/NumberText.h"

#include <QList>
#include <QString>

#include <algorithm>

namespace {

QStringView trimmed(QStringView text)
{
    while (!text.isEmpty() && (text.front() == u' ' || text.front() == u'\t'))
        text = text.sliced(1);
    while (!text.isEmpty() && (text.back() == u' ' || text.back() == u'\t'))
        text.chop(1);
    return text;
}

double numberOrZero(QStringView text)
{
    return parseWholeNumber(text).value_or(0);
}

// The value without every occurrence of `unit` ("kbits/s", "x"), read as a number.
double numberWithout(QStringView value, QStringView unit)
{
    return numberOrZero(value.toString().remove(unit.toString()));
}

} // namespace

std::optional<double> ProgressParser::parseProgressLine(QStringView line, double totalDuration)
{
    const QList<QStringView> pieces = line.split(u'=', Qt::SkipEmptyParts);
    if (pieces.size() != 2)
        return std::nullopt;
    const QStringView key = trimmed(pieces[0]);
    const QStringView value = trimmed(pieces[1]);

    if (key == u"frame") {
        frame = parseWholeInteger(value).value_or(0);
    } else if (key == u"fps") {
        fps = numberOrZero(value);
    } else if (key == u"bitrate") {
        if (value != u"N/A")
            bitrate = numberWithout(value, u"kbits/s") / 1000.0;
    } else if (key == u"speed") {
        if (value != u"N/A")
            speed = numberWithout(value, u"x");
    } else if (key == u"out_time") {
        readOutTime(value);
        if (totalDuration > 0)
            return std::min(currentTime / totalDuration, 1.0);
    } else if (key == u"progress" && value == u"end") {
        return 1.0;
    }
    return fractionDone(totalDuration);
}

void ProgressParser::readOutTime(QStringView value)
{
    const QList<QStringView> parts = value.split(u':', Qt::SkipEmptyParts);
    if (parts.size() != 3)
        return;
    const double hours = numberOrZero(parts[0]);
    const double minutes = numberOrZero(parts[1]);
    const QList<QStringView> seconds = parts[2].split(u'.', Qt::SkipEmptyParts);
    const double whole = seconds.isEmpty() ? 0 : numberOrZero(seconds[0]);
    const double fraction =
        seconds.size() < 2 ? 0
                           : numberOrZero(QString(QStringLiteral("0.") + seconds[1].toString()));
    currentTime = hours * 3600 + minutes * 60 + whole + fraction;
}

std::optional<double> ProgressParser::fractionDone(double duration) const
{
    if (duration > 0 && currentTime > 0)
        return std::min(currentTime / duration, 1.0);
    return std::nullopt;
}
