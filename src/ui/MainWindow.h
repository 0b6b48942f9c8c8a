#pragma once

#include <QMainWindow>

class TranscodeViewModel;

// The one window: it owns the model for its whole life.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);

    TranscodeViewModel &model() { return *m_model; }

private:
    TranscodeViewModel *m_model;
};
