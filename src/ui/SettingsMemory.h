#pragma once

#include <QObject>
#include <QSettings>

class QWidget;
class TranscodeViewModel;

// The window remembers its settings and its size between sessions, in the user's settings
// file; each change is noted as it is made. The command line never reads them.
class SettingsMemory : public QObject
{
    Q_OBJECT

public:
    SettingsMemory(TranscodeViewModel &model, QWidget &window);

    // Puts back what the last session left; values that are no longer choices are ignored.
    void restore();
    void rememberWindow();

private:
    TranscodeViewModel &m_model;
    QWidget &m_window;
    QSettings m_stored;
};
