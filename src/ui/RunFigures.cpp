#include "ui/RunFigures.h"

#include <charconv>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// "%.1f" as printf writes it in the C locale, whatever locale the process runs in.
QString oneDecimal(double value)
{
    char text[512]; // the widest double written in full
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 1);
    return QString::fromLatin1(text, result.ptr - text);
}

} // namespace

namespace RunFigures {

int percent(double progress)
{
    const double scaled = progress * 100;
    if (!(scaled > 0))
        return 0;
    return scaled >= 100 ? 100 : static_cast<int>(std::trunc(scaled));
}

QString percentText(double progress)
{
    return QString::number(percent(progress)) + u'%';
}

QString counter(int index, int total)
{
    return QString::number(index) + u'/' + QString::number(total);
}

QString frames(qint64 frame)
{
    return u"帧数: "_s + QString::number(frame);
}

QString fps(double fps)
{
    return u"FPS: "_s + oneDecimal(fps);
}

QString bitrate(double mbps)
{
    return u"码率: "_s + oneDecimal(mbps) + u" Mbps"_s;
}

QString speed(double factor)
{
    return u"速度: "_s + oneDecimal(factor) + u'x';
}

} // namespace RunFigures
