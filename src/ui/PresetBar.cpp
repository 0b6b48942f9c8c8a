#include "ui/PresetBar.h"

#include "domain/SettingsRules.h"
#include "session/TranscodeViewModel.h"
#include "ui/CardText.h"

#include <QPushButton>
#include <QStyle>

#include <algorithm>

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

// The buttons line up with the texts above and below them; the last of a line may reach the
// right edge, so that all six fit in one line at the smallest window size.
constexpr int Indent = 8;
constexpr int MarginY = 5;
constexpr int Spacing = 8;

} // namespace

PresetBar::PresetBar(TranscodeViewModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    for (const TranscodePreset &preset : model.presets()) {
        auto *button = new QPushButton(ActiveMark + preset.name, this);
        button->setStyleSheet(ButtonStyle);
        button->setCursor(Qt::PointingHandCursor);
        // As wide with the mark as without, so that the row does not shift when it moves.
        button->setMinimumWidth(button->sizeHint().width());
        connect(button, &QPushButton::clicked, &model,
                [&model, preset] { model.applyPreset(preset); });
        m_buttons << button;
    }
    m_height = placeButtons(sizeHint().width());

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

QList<int> PresetBar::buttonWidths() const
{
    QList<int> widths;
    for (const QPushButton *button : m_buttons)
        widths << qMax(button->sizeHint().width(), button->minimumWidth());
    return widths;
}

int PresetBar::buttonHeight() const
{
    int height = 0;
    for (const QPushButton *button : m_buttons)
        height = qMax(height, button->sizeHint().height());
    return height;
}

int PresetBar::placeButtons(int width)
{
    const QList<int> widths = buttonWidths();
    const int height = buttonHeight();
    const QList<QPoint> places = flowItems(widths, width - Indent, Spacing);
    for (qsizetype i = 0; i < m_buttons.size(); ++i)
        m_buttons[i]->setGeometry(Indent + places[i].x(),
                                  MarginY + places[i].y() * (height + Spacing), widths[i], height);
    const int lines = places.isEmpty() ? 1 : places.last().y() + 1;
    return 2 * MarginY + lines * height + (lines - 1) * Spacing;
}

void PresetBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int height = placeButtons(width());
    if (height != m_height) {
        m_height = height;
        updateGeometry();
    }
}

QSize PresetBar::sizeHint() const
{
    const QList<int> widths = buttonWidths();
    int line = Indent + Spacing * (static_cast<int>(widths.size()) - 1);
    for (const int width : widths)
        line += width;
    return {line, m_height};
}

QSize PresetBar::minimumSizeHint() const
{
    const QList<int> widths = buttonWidths();
    return {Indent + *std::max_element(widths.begin(), widths.end()), m_height};
}
