#include "ui/SettingsPanel.h"

#include "domain/SettingsRules.h"
#include "session/TranscodeViewModel.h"
#include "ui/Look.h"
#include "ui/Switch.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSignalBlocker>

#include <cmath>

using namespace Qt::StringLiterals;

std::optional<double> parseBitrate(const QString &text)
{
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = c.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value) || value < 0)
        return std::nullopt;
    return value;
}

QString formatBitrate(double mbps)
{
    return QString::number(mbps, 'f', QLocale::FloatingPointShortest);
}

namespace {

const QString ProRes = u"ProRes"_s;

// The settings box: a rounded panel a shade off the window.
class Box : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Look::panel(palette()));
        painter.drawRoundedRect(rect(), 8, 8);
    }
};

// A run of controls that shows and hides as one and takes no room while hidden.
QWidget *addGroup(QWidget *row, int spacing = 8)
{
    auto *group = new QWidget(row);
    // As wide as its controls: the row's stretches take what is left.
    group->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    auto *layout = new QHBoxLayout(group);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    row->layout()->addWidget(group);
    return group;
}

QWidget *addRow(QWidget *box)
{
    auto *row = new QWidget(box);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(20);
    box->layout()->addWidget(row);
    return row;
}

void addLabel(QWidget *group, const QString &text, int width)
{
    auto *label = new QLabel(text, group);
    // At least as wide as laid down, wider where a large font needs it.
    label->setMinimumWidth(width);
    group->layout()->addWidget(label);
}

} // namespace

SettingsPanel::SettingsPanel(TranscodeViewModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    auto *title = new QLabel(u"参数设置："_s, this);
    title->setFont(Look::headline(font()));
    title->setContentsMargins(8, 0, 8, 0);
    layout->addWidget(title);

    auto *box = new Box(this);
    box->setObjectName(u"settingsBox"_s);
    auto *boxLayout = new QVBoxLayout(box);
    boxLayout->setContentsMargins(12, 12, 12, 12);
    boxLayout->setSpacing(12);
    layout->addWidget(box);

    QWidget *sizeRow = addRow(box);
    addPicker(addGroup(sizeRow), u"分辨率:"_s, 50, 120, model.availableResolutions(),
              &TranscodeViewModel::selectedResolution, &TranscodeViewModel::setSelectedResolution,
              &TranscodeViewModel::selectedResolutionChanged)
        ->setObjectName(u"resolutionPicker"_s);
    addPicker(addGroup(sizeRow), u"帧率:"_s, 50, 120, model.availableFrameRates(),
              &TranscodeViewModel::selectedFrameRate, &TranscodeViewModel::setSelectedFrameRate,
              &TranscodeViewModel::selectedFrameRateChanged)
        ->setObjectName(u"frameRatePicker"_s);

    QWidget *codecRow = addRow(box);
    QWidget *codecGroup = addGroup(codecRow);
    addPicker(codecGroup, u"编码器:"_s, 50, 150, model.availableCodecs(),
              &TranscodeViewModel::selectedCodec, &TranscodeViewModel::setSelectedCodec,
              &TranscodeViewModel::selectedCodecChanged)
        ->setObjectName(u"codecPicker"_s);
    m_containerGroup = addGroup(codecGroup);
    QComboBox *containerPicker =
        addPicker(m_containerGroup, u"封装格式:"_s, 65, 80, model.availableContainers(),
                  &TranscodeViewModel::selectedContainer, &TranscodeViewModel::setSelectedContainer,
                  &TranscodeViewModel::selectedContainerChanged);
    containerPicker->setObjectName(u"containerPicker"_s);

    m_profileGroup = addGroup(codecRow);
    addPicker(m_profileGroup, u"配置:"_s, 50, 120, model.availableProResProfiles(),
              &TranscodeViewModel::selectedProResProfile,
              &TranscodeViewModel::setSelectedProResProfile,
              &TranscodeViewModel::selectedProResProfileChanged)
        ->setObjectName(u"profilePicker"_s);
    m_alphaSwitch =
        addSwitch(codecRow, u"Alpha通道"_s, &TranscodeViewModel::enableAlpha,
                  &TranscodeViewModel::setEnableAlpha, &TranscodeViewModel::enableAlphaChanged);
    m_alphaSwitch->setObjectName(u"alphaSwitch"_s);
    m_bitrateGroup = addBitrateGroup(codecRow);
    m_overwriteSwitch = addSwitch(codecRow, u"覆盖原文件"_s, &TranscodeViewModel::overwriteOriginal,
                                  &TranscodeViewModel::setOverwriteOriginal,
                                  &TranscodeViewModel::overwriteOriginalChanged);
    m_overwriteSwitch->setObjectName(u"overwriteSwitch"_s);
    m_sizeRow = sizeRow;
    m_codecRow = codecRow;

    for (QWidget *row : {sizeRow, codecRow}) {
        auto *rowLayout = static_cast<QHBoxLayout *>(row->layout());
        rowLayout->insertStretch(0);
        rowLayout->addStretch();
    }
    m_box = box;

    // Said before a run is refused for it.
    m_unavailable = new QLabel(box);
    m_unavailable->setObjectName(u"unavailableNotice"_s);
    m_unavailable->setWordWrap(true);
    m_unavailable->setAlignment(Qt::AlignCenter);
    m_unavailable->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    QPalette red = m_unavailable->palette();
    red.setColor(QPalette::WindowText, Look::red());
    m_unavailable->setPalette(red);
    m_unavailable->hide();
    boxLayout->addWidget(m_unavailable);

    connect(&model, &TranscodeViewModel::selectedCodecChanged, this, &SettingsPanel::followCodec);
    connect(&model, &TranscodeViewModel::selectedProResProfileChanged, this,
            &SettingsPanel::followCodec);
    for (const auto changed :
         {&TranscodeViewModel::selectedCodecChanged, &TranscodeViewModel::enableAlphaChanged,
          &TranscodeViewModel::encoderSupportChanged, &TranscodeViewModel::isTranscodingChanged})
        connect(&model, changed, this, &SettingsPanel::followAvailability);
    followCodec();
    followAvailability();
}

QComboBox *SettingsPanel::addPicker(QWidget *group, const QString &label, int labelWidth, int width,
                                    const QStringList &choices, TextReader read, TextWriter write,
                                    Notifier changed)
{
    addLabel(group, label, labelWidth);
    auto *picker = new QComboBox(group);
    picker->addItems(choices);
    picker->setFixedWidth(width);
    group->layout()->addWidget(picker);

    const auto show = [this, picker, read] {
        const QSignalBlocker quiet(picker);
        picker->setCurrentIndex(picker->findText((m_model.*read)()));
    };
    show();
    connect(&m_model, changed, picker, show);
    connect(picker, &QComboBox::currentIndexChanged, this, [this, picker, write](int index) {
        if (index >= 0)
            (m_model.*write)(picker->itemText(index));
    });
    return picker;
}

Switch *SettingsPanel::addSwitch(QWidget *row, const QString &label, FlagReader read,
                                 FlagWriter write, Notifier changed)
{
    auto *toggle = new Switch(label, row);
    row->layout()->addWidget(toggle);
    const auto show = [this, toggle, read] {
        const QSignalBlocker quiet(toggle);
        toggle->setChecked((m_model.*read)());
    };
    show();
    connect(&m_model, changed, toggle, show);
    connect(toggle, &Switch::toggled, this, [this, write](bool on) { (m_model.*write)(on); });
    return toggle;
}

QWidget *SettingsPanel::addBitrateGroup(QWidget *row)
{
    QWidget *group = addGroup(row);
    group->setObjectName(u"bitrateGroup"_s);
    auto *label = new QLabel(u"码率(Mbps):"_s, group);
    // Beside its field, however wide the row is.
    label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    group->layout()->addWidget(label);
    m_bitrateField = new QLineEdit(group);
    m_bitrateField->setObjectName(u"bitrateField"_s);
    m_bitrateField->setPlaceholderText(u"码率(Mbps)"_s);
    m_bitrateField->setFixedWidth(80);
    group->layout()->addWidget(m_bitrateField);
    showBitrate();
    connect(m_bitrateField, &QLineEdit::editingFinished, this, &SettingsPanel::commitBitrate);
    connect(&m_model, &TranscodeViewModel::selectedBitrateChanged, this,
            &SettingsPanel::showBitrate);
    return group;
}

void SettingsPanel::followCodec()
{
    const bool proRes = m_model.selectedCodec().contains(ProRes);
    m_containerGroup->setVisible(!proRes);
    m_profileGroup->setVisible(proRes);
    m_alphaSwitch->setVisible(m_model.supportsAlpha());
    m_bitrateGroup->setVisible(m_model.supportsBitrate());
    fitRows();
}

void SettingsPanel::followAvailability()
{
    m_box->setEnabled(!m_model.isTranscoding());
    const QString withAlpha =
        m_model.unavailableReason(SettingsRules::withAlpha(m_model.settings(), true));
    // Turned on already, it can still be turned off.
    m_alphaSwitch->setEnabled(withAlpha.isEmpty() || m_model.enableAlpha());
    m_alphaSwitch->setToolTip(withAlpha.isEmpty() ? QString() : u"不可用：%1"_s.arg(withAlpha));
    const QString now = m_model.unavailableReason(m_model.settings());
    m_unavailable->setText(now);
    m_unavailable->setVisible(!now.isEmpty());
}

void SettingsPanel::commitEdits()
{
    if (m_bitrateField->isModified())
        commitBitrate();
}

void SettingsPanel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitRows();
}

void SettingsPanel::fitRows()
{
    // With every codec control shown the second row is wider than the smallest window; then
    // the overwrite switch moves up to the shorter first row instead of widening the window.
    auto *sizeLayout = static_cast<QHBoxLayout *>(m_sizeRow->layout());
    auto *codecLayout = static_cast<QHBoxLayout *>(m_codecRow->layout());
    const bool inCodecRow = m_overwriteSwitch->parentWidget() == m_codecRow;
    const int switchWidth = m_overwriteSwitch->sizeHint().width() + codecLayout->spacing();
    const int codecRowWidth = m_codecRow->sizeHint().width() + (inCodecRow ? 0 : switchWidth);
    const QWidget *box = m_codecRow->parentWidget();
    const QMargins margins = box->layout()->contentsMargins();
    const bool fits = codecRowWidth <= box->width() - margins.left() - margins.right();
    if (fits == inCodecRow)
        return;
    QHBoxLayout *to = fits ? codecLayout : sizeLayout;
    m_overwriteSwitch->setParent(fits ? m_codecRow : m_sizeRow);
    to->insertWidget(to->count() - 1, m_overwriteSwitch);
    m_overwriteSwitch->show();
}

void SettingsPanel::commitBitrate()
{
    // Text that is no bitrate leaves the setting as it was, and the field shows it again; so
    // does an edit the field lets go of as a run starts, which has taken the settings already.
    const std::optional<double> mbps = parseBitrate(m_bitrateField->text());
    if (mbps && !m_model.isTranscoding())
        m_model.setSelectedBitrate(*mbps);
    showBitrate();
}

void SettingsPanel::showBitrate()
{
    m_bitrateField->setText(formatBitrate(m_model.selectedBitrate()));
}
