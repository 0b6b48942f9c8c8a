#include "ui/PresetBar.h"

#include "domain/SettingsRules.h"
#include "session/TranscodeViewModel.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QStyle>

using namespace Qt::StringLiterals;

namespace {

const QString ButtonStyle = uR"(
QPushButton { background: #007aff; color: white; border: 2px solid transparent;
              border-radius: 6px; padding: 4px 10px; font-size: 14px; font-weight: 500; }
QPushButton:hover { background: #1a88ff; }
QPushButton:pressed { background: #0062cc; }
QPushButton[active="true"] { background: #0050a8; border-color: #0050a8; }
QPushButton:disabled { background: rgba(128, 128, 128, 0.35); color: rgba(255, 255, 255, 0.9); }
QPushButton[active="true"]:disabled { background: rgba(0, 80, 168, 0.55); }
QPushButton:focus { outline: none; border-color: #99c9ff; }
)"_s;

const QString ActiveMark = u"✓ "_s;

} // namespace

PresetBar::PresetBar(TranscodeViewModel &model, QWidget *parent)
    : QScrollArea(parent)
    , m_model(model)
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
        auto *button = new QPushButton(ActiveMark + preset.name, row);
        button->setStyleSheet(ButtonStyle);
        button->setCursor(Qt::PointingHandCursor);
        // As wide with the mark as without, so that the row does not shift when it moves.
        button->setMinimumWidth(button->sizeHint().width());
        connect(button, &QPushButton::clicked, &model,
                [&model, preset] { model.applyPreset(preset); });
        layout->addWidget(button);
        m_buttons << button;
    }
    layout->addStretch();
    setWidget(row);
    viewport()->setAutoFillBackground(false);

    for (const auto changed :
         {&TranscodeViewModel::selectedCodecChanged, &TranscodeViewModel::selectedContainerChanged,
          &TranscodeViewModel::selectedProResProfileChanged,
          &TranscodeViewModel::selectedResolutionChanged,
          &TranscodeViewModel::selectedFrameRateChanged,
          &TranscodeViewModel::selectedBitrateChanged, &TranscodeViewModel::enableAlphaChanged,
          &TranscodeViewModel::overwriteOriginalChanged, &TranscodeViewModel::encoderSupportChanged,
          &TranscodeViewModel::isTranscodingChanged})
        connect(&model, changed, this, &PresetBar::followSettings);
    followSettings();
}

void PresetBar::followSettings()
{
    const QList<TranscodePreset> &presets = m_model.presets();
    for (qsizetype i = 0; i < presets.size(); ++i) {
        QPushButton *button = m_buttons[i];
        const bool active = m_model.isPresetActive(presets[i]);
        const QString unavailable =
            m_model.unavailableReason(SettingsRules::withPreset(m_model.settings(), presets[i]));
        button->setText((active ? ActiveMark : QString()) + presets[i].name);
        button->setEnabled(!m_model.isTranscoding() && unavailable.isEmpty());
        button->setToolTip(unavailable.isEmpty() ? (active ? u"当前设置与此预设一致"_s : QString())
                                                 : u"不可用：%1"_s.arg(unavailable));
        if (button->property("active").toBool() != active) {
            button->setProperty("active", active);
            button->style()->unpolish(button);
            button->style()->polish(button);
        }
    }
}

QSize PresetBar::sizeHint() const
{
    return widget()->sizeHint();
}

QSize PresetBar::minimumSizeHint() const
{
    return {0, widget()->sizeHint().height()};
}
