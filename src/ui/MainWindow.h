#pragma once

#include <QMainWindow>
#include <QStringList>

class ActionArea;
class DropZone;
class FileListPanel;
class TranscodeViewModel;

// The one window: the drop zone, the file list, the presets, the settings and the action area
// from top to bottom, all views of a model that outlives them.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(TranscodeViewModel &model, QWidget *parent = nullptr);

    TranscodeViewModel &model() { return m_model; }
    DropZone &dropZone() { return *m_dropZone; }

    // Paths as given on the command line or by "Open with": taken in as one selection.
    void openPaths(const QStringList &paths);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    TranscodeViewModel &m_model;
    DropZone *m_dropZone;
};
