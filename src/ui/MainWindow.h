#pragma once

#include <QMainWindow>
#include <QStringList>
#include <QUrl>

#include <functional>

class ActionArea;
class DropZone;
class FileListPanel;
class LogView;
class QLabel;
class QSplitter;
class QVBoxLayout;
class SettingsPanel;
class QueueMemory;
class TranscodeViewModel;
struct Error;
struct SavedFile;

// The one window: the drop zone, the file list, the presets, the settings and the action area
// from top to bottom, and the run log in a pane below them on demand; all views of a model
// that outlives them. Files and folders may be dropped anywhere on it.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(TranscodeViewModel &model, QWidget *parent = nullptr);

    TranscodeViewModel &model() { return m_model; }
    DropZone &dropZone() { return *m_dropZone; }

    // Paths as given on the command line or by "Open with": taken in as one selection.
    void openPaths(const QStringList &paths);
    // Offers to take back the list the last session left, or says why it could not be read.
    void offerRestore(QueueMemory &memory);
    // Starts a run of the files not converted yet, or of the failed ones again; a run that
    // replaces originals is a decision the user confirms each time.
    void startRun(bool failedOnly = false);

    // Asks the user a yes-or-no question; a dialog by default, tests answer themselves.
    using Confirmer = std::function<bool(QWidget *parent, const QString &question)>;
    void setConfirmer(Confirmer confirmer) { m_confirm = std::move(confirmer); }
    // Asks the user to pick one of `choices`; the index picked, or -1 when the question is
    // dismissed. A dialog by default, tests answer themselves.
    using Chooser =
        std::function<int(QWidget *parent, const QString &question, const QStringList &choices)>;
    void setChooser(Chooser chooser) { m_choose = std::move(chooser); }
    // Shows a folder in the file manager, then calls `done`, with false when none could be
    // started.
    using FolderOpener =
        std::function<void(const QUrl &folder, const std::function<void(bool opened)> &done)>;
    void setFolderOpener(FolderOpener opener) { m_openFolder = std::move(opener); }

protected:
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;

private:
    void askToStop();
    void followIntake();
    void followList();
    void showLog(bool shown);

    TranscodeViewModel &m_model;
    DropZone *m_dropZone;
    QLabel *m_intakeNotice;
    QVBoxLayout *m_regions = nullptr;
    FileListPanel *m_fileList = nullptr;
    SettingsPanel *m_settingsPanel = nullptr;
    QSplitter *m_splitter = nullptr;
    LogView *m_log = nullptr;
    Confirmer m_confirm;
    Chooser m_choose;
    FolderOpener m_openFolder;
};
