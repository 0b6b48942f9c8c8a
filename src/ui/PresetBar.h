#pragma once

#include <QScrollArea>

class TranscodeViewModel;

// One blue button per preset, in a row that scrolls sideways when the window is narrow.
class PresetBar : public QScrollArea
{
    Q_OBJECT

public:
    explicit PresetBar(TranscodeViewModel &model, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
};
