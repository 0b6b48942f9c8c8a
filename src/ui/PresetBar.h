#pragma once

#include <QList>
#include <QScrollArea>

class QPushButton;
class TranscodeViewModel;

// One blue button per preset, in a row that scrolls sideways when the window is narrow. The
// preset the settings match is marked until a setting differs from it; one this machine cannot
// run is greyed out and says why. Nothing can be chosen while a run goes on.
class PresetBar : public QScrollArea
{
    Q_OBJECT

public:
    explicit PresetBar(TranscodeViewModel &model, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    void followSettings();

    TranscodeViewModel &m_model;
    QList<QPushButton *> m_buttons; // in the order of the presets
};
