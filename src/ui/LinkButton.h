#pragma once

#include <QPushButton>

// A borderless blue text button whose text, a path perhaps, is shortened in the middle when
// room is short instead of widening the window.
class LinkButton : public QPushButton
{
    Q_OBJECT

public:
    explicit LinkButton(QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};
