#include "ui/LinkButton.h"

#include "ui/Look.h"

#include <QPainter>
#include <QStyle>

LinkButton::LinkButton(QWidget *parent)
    : QPushButton(parent)
{
    setFlat(true);
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QSize LinkButton::sizeHint() const
{
    // A few pixels beyond the text, which elision measures a little differently.
    return {fontMetrics().horizontalAdvance(text()) + 12, Look::lineHeight(font()) + 6};
}

QSize LinkButton::minimumSizeHint() const
{
    return {fontMetrics().horizontalAdvance(QStringLiteral("…")) * 8, sizeHint().height()};
}

void LinkButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QFont font = this->font();
    font.setUnderline(underMouse());
    painter.setFont(font);
    painter.setPen(isDown() ? Look::blue().darker(130) : Look::blue());
    const QRect area = rect().adjusted(4, 0, -4, 0);
    painter.drawText(area, Qt::AlignCenter,
                     QFontMetrics(font).elidedText(text(), Qt::ElideMiddle, area.width()));
    if (hasFocus()) {
        painter.setPen(QPen(Look::accent(palette()), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}
