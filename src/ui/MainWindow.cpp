#include "ui/MainWindow.h"

#include "intake/IntakeUrls.h"
#include "session/QueueMemory.h"
#include "session/TranscodeViewModel.h"
#include "ui/ActionArea.h"
#include "ui/DropZone.h"
#include "ui/FileListPanel.h"
#include "ui/LogView.h"
#include "ui/Look.h"
#include "ui/PresetBar.h"
#include "ui/SettingsPanel.h"

#include <QAbstractButton>
#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

#include <array>

using namespace Qt::StringLiterals;

namespace {

// Wrapped message lines make the content's height depend on its width, and a scroll area then
// gives it its preferred height: the drop zone would never shrink to make room. Its minimum
// height is what the window has to honour.
class ContentLayout : public QVBoxLayout
{
public:
    using QVBoxLayout::QVBoxLayout;
    bool hasHeightForWidth() const override { return false; }
};

// No is the default: a question is asked before what cannot be taken back.
bool askWithDialog(QWidget *parent, const QString &question)
{
    return QMessageBox::question(parent, QString(), question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

int chooseWithDialog(QWidget *parent, const QString &question, const QStringList &choices)
{
    QMessageBox box(QMessageBox::Question, QString(), question, QMessageBox::Cancel, parent);
    QList<QAbstractButton *> buttons;
    for (const QString &choice : choices)
        buttons << box.addButton(choice, QMessageBox::AcceptRole);
    // Keeping both loses nothing, so it is what Return does.
    box.setDefaultButton(static_cast<QPushButton *>(buttons.value(1)));
    box.exec();
    return static_cast<int>(buttons.indexOf(box.clickedButton()));
}

// xdg-open starts and then finds nothing to open a folder with on a desktop without a file
// manager; ask first, without waiting on the event loop, whether anything is registered for
// folders. A query that fails or takes too long does not stand in the way.
void openInFileManager(const QUrl &folder, const std::function<void(bool opened)> &done)
{
    if (QStandardPaths::findExecutable(u"xdg-mime"_s).isEmpty())
        return done(QDesktopServices::openUrl(folder));
    auto *query = new QProcess(QCoreApplication::instance());
    QObject::connect(query, &QProcess::finished, query,
                     [query, folder, done](int exitCode, QProcess::ExitStatus status) {
                         query->deleteLater();
                         const bool none = status == QProcess::NormalExit && exitCode == 0 &&
                                           query->readAllStandardOutput().trimmed().isEmpty();
                         done(!none && QDesktopServices::openUrl(folder));
                     });
    QObject::connect(query, &QProcess::errorOccurred, query,
                     [query, folder, done](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         query->deleteLater();
                         done(QDesktopServices::openUrl(folder));
                     });
    QTimer::singleShot(2000, query, &QProcess::kill);
    query->start(u"xdg-mime"_s, {u"query"_s, u"default"_s, u"inode/directory"_s});
}

} // namespace

MainWindow::MainWindow(TranscodeViewModel &model, QWidget *parent)
    : QMainWindow(parent)
    , m_model(model)
    , m_dropZone(new DropZone(model))
    , m_intakeNotice(new QLabel)
    , m_confirm(askWithDialog)
    , m_choose(chooseWithDialog)
    , m_openFolder(openInFileManager)
{
    setMinimumSize(800, 600);
    resize(960, 760);

    auto *content = new QWidget;
    content->setObjectName(u"content"_s);
    auto *layout = new ContentLayout(content);
    m_regions = layout;
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(10);
    const auto place = [layout](QWidget *region, const QString &name) {
        region->setObjectName(name);
        layout->addWidget(region);
    };
    place(m_dropZone, u"dropZone"_s);
    // What intake could not add, or found listed already; the full list in the tooltip.
    m_intakeNotice->setWordWrap(true);
    m_intakeNotice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_intakeNotice->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    place(m_intakeNotice, u"intakeNotice"_s);
    connect(&m_model, &TranscodeViewModel::rejectedFilesChanged, this, &MainWindow::followIntake);
    followIntake();
    m_fileList = new FileListPanel(m_model);
    place(m_fileList, u"fileList"_s);
    place(new PresetBar(m_model), u"presetBar"_s);
    m_settingsPanel = new SettingsPanel(m_model);
    place(m_settingsPanel, u"settingsPanel"_s);
    auto *actions = new ActionArea(m_model);
    place(actions, u"actionArea"_s);
    connect(actions, &ActionArea::startRequested, this, [this] { startRun(); });
    connect(actions, &ActionArea::retryRequested, this, [this] { startRun(true); });
    connect(&m_model, &TranscodeViewModel::videoFilesChanged, this, &MainWindow::followList);
    followList();

    // Everything fits from 800 x 600 up in the usual states; a long error in a small window
    // scrolls rather than pushing the window beyond the screen.
    auto *scroller = new QScrollArea;
    scroller->setObjectName(u"contentScroller"_s);
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidgetResizable(true);
    scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroller->setWidget(content);

    // The run log below it all, as tall as the user drags it.
    m_log = new LogView(model);
    m_log->setObjectName(u"logView"_s);
    m_log->setMinimumHeight(60);
    m_log->setAcceptDrops(false);
    m_log->hide();
    m_splitter = new QSplitter(Qt::Vertical);
    m_splitter->setObjectName(u"logSplitter"_s);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(scroller);
    m_splitter->addWidget(m_log);
    m_splitter->setStretchFactor(0, 1);
    setCentralWidget(m_splitter);
    connect(actions, &ActionArea::logShown, this, &MainWindow::showLog);

    // A drop anywhere, the list included, goes where a drop on the zone goes.
    setAcceptDrops(true);

    auto *chooseAction = new QAction(this);
    chooseAction->setShortcut(QKeySequence::Open);
    connect(chooseAction, &QAction::triggered, m_dropZone, &DropZone::chooseFiles);
    addAction(chooseAction);
    auto *quitAction = new QAction(this);
    quitAction->setShortcut(QKeySequence::Quit);
    connect(quitAction, &QAction::triggered, this, &QWidget::close);
    addAction(quitAction);
    auto *startAction = new QAction(this);
    startAction->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    connect(startAction, &QAction::triggered, this, [this] {
        if (m_model.offersStart())
            startRun();
    });
    addAction(startAction);
    auto *stopAction = new QAction(this);
    stopAction->setShortcut(Qt::Key_Escape);
    connect(stopAction, &QAction::triggered, this, &MainWindow::askToStop);
    addAction(stopAction);

    connect(&m_model, &TranscodeViewModel::outputFolderOpenRequested, this,
            [this, actions](const QUrl &folder) {
                m_openFolder(folder, [actions = QPointer(actions), folder](bool opened) {
                    if (!opened && actions)
                        actions->showFolderNotOpened(folder.toLocalFile());
                });
            });
}

void MainWindow::startRun(bool failedOnly)
{
    if (m_model.isTranscoding())
        return;
    // A bitrate typed but not yet committed belongs to this run.
    m_settingsPanel->commitEdits();
    const qsizetype files =
        (failedOnly ? m_model.failedFiles() : m_model.unconvertedFiles()).size();
    if (files == 0)
        return;
    if (m_model.overwriteOriginal() &&
        !m_confirm(this,
                   u"将用转码结果替换 %1 个原文件，原文件会移到回收站。继续吗？"_s.arg(files)))
        return;
    RunOptions options;
    // Results of an earlier run are never replaced unasked; files taken back after a crash go
    // on where they stopped.
    const QStringList existing =
        m_model.existingOutputs(failedOnly ? m_model.failedFiles() : m_model.unconvertedFiles());
    if (!existing.isEmpty()) {
        const QString question =
            u"输出文件夹中已有 %1 个同名的转码结果（如“%2”）。要怎样处理？"_s.arg(existing.size())
                .arg(QFileInfo(existing.first()).fileName());
        const int choice = m_choose(
            this, question,
            {u"替换（旧文件移到回收站）"_s, u"保留两者（新文件加 \" (2)\"）"_s, u"跳过已有的"_s});
        if (choice < 0 || choice > 2)
            return;
        options.existingOutput = std::array{ExistingOutput::Replace, ExistingOutput::KeepBoth,
                                            ExistingOutput::Skip}[choice];
    }
    if (failedOnly)
        m_model.retryFailedFiles(options);
    else
        m_model.startTranscoding(options);
}

void MainWindow::followList()
{
    // The drop zone gives the list its room once there is a list.
    const bool listed = !m_model.videoFiles().isEmpty();
    m_dropZone->setCompact(listed);
    m_regions->setStretchFactor(m_dropZone, listed ? 0 : 1);
    m_regions->setStretchFactor(m_fileList, listed ? 1 : 0);
}

void MainWindow::showLog(bool shown)
{
    const bool first = shown && m_splitter->sizes().value(1) == 0;
    m_log->setVisible(shown);
    if (first) {
        const int total = m_splitter->height();
        m_splitter->setSizes({total - total / 3, total / 3});
    }
}

bool MainWindow::event(QEvent *event)
{
    return m_dropZone->takeDragEvent(event) || QMainWindow::event(event);
}

void MainWindow::askToStop()
{
    if (!m_model.isTranscoding())
        return;
    // A run that ends while the question is open leaves nothing to stop: the question goes.
    const QMetaObject::Connection ended =
        connect(&m_model, &TranscodeViewModel::runFinished, this, [this] {
            for (QMessageBox *question : findChildren<QMessageBox *>(Qt::FindDirectChildrenOnly))
                question->reject();
        });
    const bool stop = m_confirm(this, u"确定停止转码吗？"_s);
    disconnect(ended);
    if (stop && m_model.isTranscoding())
        m_model.cancelTranscoding();
}

void MainWindow::followIntake()
{
    const QList<FileFailureNote> &rejected = m_model.rejectedFiles();
    const QStringList &repeated = m_model.alreadyListedFiles();
    QStringList lines;
    QStringList details;
    if (!rejected.isEmpty()) {
        lines << u"%1 个文件无法添加"_s.arg(rejected.size());
        for (const FileFailureNote &note : rejected)
            details << note.name + u": "_s + note.reason;
    }
    if (!repeated.isEmpty()) {
        lines << u"%1 个文件已在列表中"_s.arg(repeated.size());
        for (const QString &path : repeated)
            details << path + u": 已在列表中"_s;
    }
    // The first few named right here, every one in the tooltip.
    QString text = lines.join(u"，"_s);
    if (!details.isEmpty())
        text +=
            u"：\n"_s + details.mid(0, 3).join(u'\n') + (details.size() > 3 ? u"\n…"_s : QString());
    m_intakeNotice->setText(text);
    m_intakeNotice->setToolTip(details.join(u'\n'));
    m_intakeNotice->setVisible(!lines.isEmpty());
}

void MainWindow::offerRestore(QueueMemory &memory)
{
    const Result<QList<SavedFile>> saved = memory.load();
    if (!saved) {
        const QString notice =
            u"上次的文件列表无法读取（%1），已忽略"_s.arg(saved.error().description());
        m_model.trace(u"⚠️ [WARNING] "_s + notice);
        m_intakeNotice->setText(notice);
        m_intakeNotice->show();
        return;
    }
    if (saved->isEmpty())
        return;
    const QList<SavedFile> &files = *saved;
    const auto done = std::count_if(files.begin(), files.end(), [](const SavedFile &file) {
        return file.status == JobRecord::Status::Done;
    });
    auto *bar = new QFrame;
    bar->setObjectName(u"restoreBar"_s);
    // A rounded panel above the drop zone, with the accent down its side.
    bar->setStyleSheet(u"#restoreBar { background: %1; border: 1px solid %2; border-left: 4px "
                       "solid %2; border-radius: 8px; }"_s.arg(Look::raisedPanel(palette()).name(),
                                                               Look::blue().name()));
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(12, 6, 8, 6);
    row->setSpacing(8);
    auto *text = new QLabel(
        u"上次关闭时列表中有 %1 个文件（%2 个已完成）。要恢复这个列表吗？"_s.arg(files.size())
            .arg(done));
    text->setWordWrap(true);
    text->setObjectName(u"restoreText"_s);
    auto *restore = new QPushButton(u"恢复列表"_s);
    restore->setObjectName(u"restoreButton"_s);
    restore->setStyleSheet(Look::prominentButtonStyle(true));
    auto *dismiss = new QPushButton(u"不恢复"_s);
    dismiss->setObjectName(u"dismissRestoreButton"_s);
    dismiss->setStyleSheet(Look::borderedButtonStyle(true));
    row->addWidget(text, 1);
    row->addWidget(restore);
    row->addWidget(dismiss);
    memory.setOffering(true);
    connect(restore, &QPushButton::clicked, this, [this, bar, files, &memory] {
        memory.setOffering(false);
        m_model.restoreQueue(files);
        bar->deleteLater();
    });
    // Declined, the saved list makes way for the one shown, which is kept from now on.
    connect(dismiss, &QPushButton::clicked, this, [bar, &memory] {
        memory.setOffering(false);
        memory.saveNow();
        bar->deleteLater();
    });
    m_regions->insertWidget(0, bar);
}

void MainWindow::openPaths(const QStringList &paths)
{
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls << intakeUrlFromPath(path);
    if (!urls.isEmpty())
        m_model.processSelectedFiles(urls);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_model.isTranscoding()) {
        if (!m_confirm(this, u"正在转码，确定停止并退出吗？"_s)) {
            event->ignore();
            return;
        }
        // The engine stops ffmpeg and removes the partial output.
        m_model.cancelTranscoding();
    }
    event->accept();
}
