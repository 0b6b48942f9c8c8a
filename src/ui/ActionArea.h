#pragma once

#include <QWidget>

class LinkButton;
class QLabel;
class QProgressBar;
class QPropertyAnimation;
class QPushButton;
class QToolButton;
class Spinner;
class TranscodeViewModel;

// The bottom of the window: the start, stop and new-run buttons, the progress panel while a
// run goes on, the completion panel after it, and what went wrong. A run is started by
// whoever listens to the requests, which may ask the user first.
class ActionArea : public QWidget
{
    Q_OBJECT

public:
    explicit ActionArea(TranscodeViewModel &model, QWidget *parent = nullptr);

    // No file manager could show the output folder: the user gets its path to copy.
    void showFolderNotOpened(const QString &folder);

Q_SIGNALS:
    void startRequested();
    void retryRequested();
    // The log toggle: the window shows the run log, or hides it.
    void logShown(bool shown);

private:
    QWidget *buildButtonRow();
    QWidget *buildProgressPanel();
    QWidget *buildCompletionPanel();
    void followRunState();
    void followFigures();
    void followProgress();
    void followMessages();
    void followTimes();
    // What the listed files came to, in this run and earlier ones.
    void followOutcomes();

    TranscodeViewModel &m_model;
    QPushButton *m_startButton = nullptr;
    Spinner *m_spinner = nullptr;
    QPushButton *m_stopButton = nullptr;
    QPushButton *m_newRunButton = nullptr;
    QToolButton *m_logToggle = nullptr;

    QWidget *m_progressPanel = nullptr;
    QLabel *m_fileLine = nullptr;
    QLabel *m_counter = nullptr;
    QProgressBar *m_bar = nullptr;
    QPropertyAnimation *m_barMotion = nullptr;
    QLabel *m_frames = nullptr;
    QLabel *m_fps = nullptr;
    QLabel *m_bitrate = nullptr;
    QLabel *m_speed = nullptr;
    QLabel *m_percent = nullptr;
    QLabel *m_times = nullptr;

    QWidget *m_completionPanel = nullptr;
    QLabel *m_completionTitle = nullptr;
    QLabel *m_summary = nullptr;
    QLabel *m_replaced = nullptr;
    QLabel *m_failures = nullptr;
    QPushButton *m_retryButton = nullptr;
    QPushButton *m_removeDoneButton = nullptr;
    LinkButton *m_folderLink = nullptr;
    QLabel *m_folderNotOpened = nullptr;

    QLabel *m_error = nullptr;
    QLabel *m_notice = nullptr;
};
