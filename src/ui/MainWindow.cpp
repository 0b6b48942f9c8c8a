#include "ui/MainWindow.h"

#include "intake/IntakeUrls.h"
#include "session/QueueMemory.h"
#include "session/TranscodeViewModel.h"
#include "ui/ActionArea.h"
#include "ui/DropZone.h"
#include "ui/FileListPanel.h"
#include "ui/PresetBar.h"
#include "ui/SettingsPanel.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

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

bool askWithDialog(QWidget *parent, const QString &question)
{
    return QMessageBox::question(parent, QString(), question) == QMessageBox::Yes;
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
    , m_openFolder(openInFileManager)
{
    setMinimumSize(800, 600);
    resize(960, 760);

    auto *content = new QWidget;
    content->setObjectName(u"content"_s);
    auto *layout = new ContentLayout(content);
    m_regions = layout;
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(16);
    const auto place = [layout](QWidget *region, const QString &name, int stretch = 0) {
        region->setObjectName(name);
        layout->addWidget(region, stretch);
    };
    place(m_dropZone, u"dropZone"_s, 1);
    // What intake could not add, or found listed already; the full list in the tooltip.
    m_intakeNotice->setWordWrap(true);
    m_intakeNotice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_intakeNotice->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    place(m_intakeNotice, u"intakeNotice"_s);
    connect(&m_model, &TranscodeViewModel::rejectedFilesChanged, this, &MainWindow::followIntake);
    followIntake();
    place(new FileListPanel(m_model), u"fileList"_s);
    place(new PresetBar(m_model), u"presetBar"_s);
    place(new SettingsPanel(m_model), u"settingsPanel"_s);
    auto *actions = new ActionArea(m_model);
    place(actions, u"actionArea"_s);
    connect(actions, &ActionArea::logShown, this,
            [layout, actions](bool shown) { layout->setStretchFactor(actions, shown ? 2 : 0); });

    // Everything fits from 800 x 600 up in the usual states; a long error or the open log in
    // a small window scrolls rather than pushing the window beyond the screen.
    auto *scroller = new QScrollArea;
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidgetResizable(true);
    scroller->setWidget(content);
    setCentralWidget(scroller);

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
        if (!m_model.transcodeCompleted())
            m_model.startTranscoding();
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

void MainWindow::askToStop()
{
    if (m_model.isTranscoding() && m_confirm(this, u"确定停止转码吗？"_s))
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
    bar->setFrameShape(QFrame::StyledPanel);
    auto *row = new QHBoxLayout(bar);
    auto *text = new QLabel(
        u"上次关闭时列表中有 %1 个文件（%2 个已完成）。要恢复这个列表吗？"_s.arg(files.size())
            .arg(done));
    text->setWordWrap(true);
    text->setObjectName(u"restoreText"_s);
    auto *restore = new QPushButton(u"恢复列表"_s);
    restore->setObjectName(u"restoreButton"_s);
    auto *dismiss = new QPushButton(u"不恢复"_s);
    dismiss->setObjectName(u"dismissRestoreButton"_s);
    row->addWidget(text, 1);
    row->addWidget(restore);
    row->addWidget(dismiss);
    connect(restore, &QPushButton::clicked, this, [this, bar, files] {
        m_model.restoreQueue(files);
        bar->deleteLater();
    });
    connect(dismiss, &QPushButton::clicked, this, [bar, &memory] {
        memory.forget();
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
