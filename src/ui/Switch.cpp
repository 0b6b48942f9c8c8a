#include "ui/Switch.h"

#include "ui/Look.h"

#include <QPainter>

namespace {

constexpr int TrackWidth = 28;
constexpr int TrackHeight = 16;
constexpr int LabelGap = 6;

} // namespace

Switch::Switch(const QString &text, QWidget *parent)
    : QAbstractButton(parent)
{
    setText(text);
    setCheckable(true);
    setFont(Look::pixelSized(font(), 13));
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize Switch::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + LabelGap + TrackWidth + 2,
            qMax(metrics.height(), TrackHeight + 2)};
}

void Switch::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics metrics(font());
    const int labelWidth = metrics.horizontalAdvance(text());
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(QRect(0, 0, labelWidth, height()), Qt::AlignLeft | Qt::AlignVCenter, text());

    const QRectF track(labelWidth + LabelGap, (height() - TrackHeight) / 2.0, TrackWidth,
                       TrackHeight);
    QColor trackColor = isChecked() ? Look::accent(palette()) : QColor(Qt::gray).lighter(130);
    if (!isEnabled())
        trackColor.setAlphaF(0.4f);
    painter.setPen(hasFocus() ? QPen(Look::accent(palette()).darker(130), 1.5) : Qt::NoPen);
    painter.setBrush(trackColor);
    const qreal radius = TrackHeight / 2.0;
    painter.drawRoundedRect(track, radius, radius);

    const qreal knob = TrackHeight - 4;
    const qreal knobX = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(knobX, track.top() + 2, knob, knob));
}
