#include "ui/Spinner.h"

#include <QPainter>

Spinner::Spinner(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_turn.setStartValue(0);
    m_turn.setEndValue(360);
    m_turn.setDuration(900);
    m_turn.setLoopCount(-1);
    connect(&m_turn, &QVariantAnimation::valueChanged, this, [this] { update(); });
}

void Spinner::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF ring = QRectF(rect()).adjusted(2, 2, -2, -2);
    QColor track = palette().color(QPalette::ButtonText);
    track.setAlphaF(0.3f);
    painter.setPen(QPen(track, 2));
    painter.drawEllipse(ring);
    painter.setPen(QPen(palette().color(QPalette::ButtonText), 2, Qt::SolidLine, Qt::RoundCap));
    // Qt counts angles in sixteenths of a degree, counter-clockwise.
    const int start = -m_turn.currentValue().toInt() * 16;
    painter.drawArc(ring, start, 100 * 16);
}

void Spinner::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_turn.start();
}

void Spinner::hideEvent(QHideEvent *event)
{
    m_turn.stop();
    QWidget::hideEvent(event);
}
