#pragma once

#include <QVariantAnimation>
#include <QWidget>

// An indeterminate busy indicator: an arc that turns while the widget is shown.
class Spinner : public QWidget
{
    Q_OBJECT

public:
    explicit Spinner(QWidget *parent = nullptr);

    QSize sizeHint() const override { return {16, 16}; }
    bool isSpinning() const { return m_turn.state() == QAbstractAnimation::Running; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QVariantAnimation m_turn;
};
