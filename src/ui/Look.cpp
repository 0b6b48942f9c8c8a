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

QString prominentButtonStyle(bool small)
{
    const QString style = QStringLiteral(R"(
QPushButton { background: #007aff; color: white; border: none; border-radius: 7px;
              padding: %1; font-size: %2px; font-weight: 600; }
QPushButton:hover { background: #1a88ff; }
QPushButton:pressed { background: #0062cc; }
QPushButton:disabled { background: rgba(128, 128, 128, 0.35); color: rgba(255, 255, 255, 0.85); }
QPushButton[running="true"]:disabled { background: rgba(0, 122, 255, 0.55); }
QPushButton:focus { border: 2px solid #99c9ff; padding: %3; }
)");
    return small ? style.arg(QStringLiteral("5px 14px"), QStringLiteral("13"),
                             QStringLiteral("3px 12px"))
                 : style.arg(QStringLiteral("8px 22px"), QStringLiteral("15"),
                             QStringLiteral("6px 20px"));
}

QString borderedButtonStyle(bool small)
{
    const QString style = QStringLiteral(R"(
QPushButton { border: 1px solid palette(mid); border-radius: 7px; background: palette(button);
              padding: %1; font-size: %2px; }
QPushButton:pressed { background: palette(mid); }
QPushButton:focus { border: 2px solid #99c9ff; padding: %3; }
)");
    return small ? style.arg(QStringLiteral("4px 12px"), QStringLiteral("13"),
                             QStringLiteral("3px 11px"))
                 : style.arg(QStringLiteral("7px 18px"), QStringLiteral("15"),
                             QStringLiteral("6px 17px"));
}

} // namespace Look
