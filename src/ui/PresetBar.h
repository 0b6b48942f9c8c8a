#pragma once

#include <QList>
#include <QWidget>

class QPushButton;
class TranscodeViewModel;

// One blue button per preset, in a row that wraps to more lines where the window is too
// narrow for it, so that none is ever cut. The preset the settings match is marked until a
// setting differs from it; one this machine cannot run is greyed out and says why. Nothing can
// be chosen while a run goes on.
class PresetBar : public QWidget
{
    Q_OBJECT

public:
    explicit PresetBar(TranscodeViewModel &model, QWidget *parent = nullptr);

    // One line wide; as tall as the buttons need at the width it has.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void followSettings();
    QList<int> buttonWidths() const;
    int buttonHeight() const;
    // The buttons where they go at this width, and how tall that makes the bar.
    int placeButtons(int width);

    TranscodeViewModel &m_model;
    QList<QPushButton *> m_buttons; // in the order of the presets
    int m_height = 0;
};
