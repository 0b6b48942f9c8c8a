#include "ui/PresetBar.h"

#include "session/TranscodeViewModel.h"

#include <QHBoxLayout>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace {

const QString ButtonStyle = uR"(
QPushButton { background: #007aff; color: white; border: none; border-radius: 6px;
              padding: 6px 12px; font-size: 14px; font-weight: 500; }
QPushButton:hover { background: #1a88ff; }
QPushButton:pressed { background: #0062cc; }
QPushButton:focus { outline: none; border: 2px solid #99c9ff; padding: 4px 10px; }
)"_s;

} // namespace

PresetBar::PresetBar(TranscodeViewModel &model, QWidget *parent)
    : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    auto *row = new QWidget(this);
    row->setAutoFillBackground(false);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(8, 5, 8, 5);
    layout->setSpacing(10);
    for (const TranscodePreset &preset : model.presets()) {
        auto *button = new QPushButton(preset.name, row);
        button->setStyleSheet(ButtonStyle);
        button->setCursor(Qt::PointingHandCursor);
        connect(button, &QPushButton::clicked, &model,
                [&model, preset] { model.applyPreset(preset); });
        layout->addWidget(button);
    }
    layout->addStretch();
    setWidget(row);
    viewport()->setAutoFillBackground(false);
}

QSize PresetBar::sizeHint() const
{
    return widget()->sizeHint();
}

QSize PresetBar::minimumSizeHint() const
{
    return {0, widget()->sizeHint().height()};
}
