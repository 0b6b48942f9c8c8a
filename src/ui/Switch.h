#pragma once

#include <QAbstractButton>

// A small on/off switch with its label in front, as desktop settings panels show them.
class Switch : public QAbstractButton
{
    Q_OBJECT

public:
    explicit Switch(const QString &text, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
};
