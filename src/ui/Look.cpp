#include "ui/Look.h"

#include <QFontMetrics>

namespace Look {

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor secondaryText(const QPalette &palette)
{
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.6f);
    return color;
}

QColor accent(const QPalette &palette)
{
    return palette.color(QPalette::Highlight);
}

QColor panel(const QPalette &palette)
{
    const QColor window = palette.color(QPalette::Window);
    return isDark(palette) ? window.lighter(125) : window.lighter(104);
}

QColor raisedPanel(const QPalette &palette)
{
    const QColor window = palette.color(QPalette::Window);
    return isDark(palette) ? window.lighter(150) : palette.color(QPalette::Base);
}

QColor blue()
{
    return QColor(0x00, 0x7a, 0xff);
}

QColor red()
{
    return QColor(0xff, 0x3b, 0x30);
}

QColor green()
{
    return QColor(0x28, 0xa7, 0x45);
}

QFont headline(const QFont &base)
{
    QFont font = base;
    font.setWeight(QFont::DemiBold);
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() + 1);
    else
        font.setPixelSize(font.pixelSize() + 1);
    return font;
}

QFont caption(const QFont &base)
{
    QFont font = base;
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() - 1);
    else
        font.setPixelSize(font.pixelSize() - 1);
    return font;
}

int lineHeight(const QFont &font)
{
    const QFontMetrics metrics(font);
    const QRect room(0, 0, 1000, 1000);
    return qMax(metrics.height(),
                metrics.boundingRect(room, Qt::TextSingleLine, QStringLiteral("视频Ag_")).height());
}

QFont pixelSized(const QFont &base, int pixels, QFont::Weight weight)
{
    QFont font = base;
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

} // namespace Look
