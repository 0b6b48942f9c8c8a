#pragma once

#include <QString>
#include <QWidget>

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class Switch;
class TranscodeViewModel;

// The bitrate field's text: a point is the decimal separator whatever the locale.
std::optional<double> parseBitrate(const QString &text);
QString formatBitrate(double mbps);

// "参数设置：" and its box of pickers and switches. Every control writes one model property
// and follows it back; the codec rules that follow a change are the model's own. While a run
// goes on the box shows the run's settings and takes no change. A choice this machine cannot
// run is marked before it is made.
class SettingsPanel : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsPanel(TranscodeViewModel &model, QWidget *parent = nullptr);

    // Takes what is typed but not yet committed, before a run takes the settings.
    void commitEdits();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    using TextReader = QString (TranscodeViewModel::*)() const;
    using TextWriter = void (TranscodeViewModel::*)(const QString &);
    using FlagReader = bool (TranscodeViewModel::*)() const;
    using FlagWriter = void (TranscodeViewModel::*)(bool);
    using Notifier = void (TranscodeViewModel::*)();

    QComboBox *addPicker(QWidget *group, const QString &label, int labelWidth, int width,
                         const QStringList &choices, TextReader read, TextWriter write,
                         Notifier changed);
    Switch *addSwitch(QWidget *row, const QString &label, FlagReader read, FlagWriter write,
                      Notifier changed);
    QWidget *addBitrateGroup(QWidget *row);
    void followCodec();
    void followAvailability();
    void fitRows();
    void commitBitrate();
    void showBitrate();

    TranscodeViewModel &m_model;
    QWidget *m_containerGroup = nullptr;
    QWidget *m_profileGroup = nullptr;
    QWidget *m_bitrateGroup = nullptr;
    Switch *m_alphaSwitch = nullptr;
    Switch *m_overwriteSwitch = nullptr;
    QWidget *m_sizeRow = nullptr;
    QWidget *m_codecRow = nullptr;
    QLineEdit *m_bitrateField = nullptr;
    QWidget *m_box = nullptr;
    QLabel *m_unavailable = nullptr;
};
