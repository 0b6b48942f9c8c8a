#include "ui/MainWindow.h"

#include "intake/IntakeUrls.h"
#include "session/TranscodeViewModel.h"
#include "ui/ActionArea.h"
#include "ui/DropZone.h"
#include "ui/FileListPanel.h"
#include "ui/PresetBar.h"
#include "ui/SettingsPanel.h"

#include <QAction>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QScrollArea>
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

} // namespace

MainWindow::MainWindow(TranscodeViewModel &model, QWidget *parent)
    : QMainWindow(parent)
    , m_model(model)
    , m_dropZone(new DropZone(model))
{
    setMinimumSize(800, 600);
    resize(960, 760);

    auto *content = new QWidget;
    content->setObjectName(u"content"_s);
    auto *layout = new ContentLayout(content);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(16);
    const auto place = [layout](QWidget *region, const QString &name, int stretch = 0) {
        region->setObjectName(name);
        layout->addWidget(region, stretch);
    };
    place(m_dropZone, u"dropZone"_s, 1);
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

    connect(&m_model, &TranscodeViewModel::outputFolderOpenRequested, this,
            [](const QUrl &folder) { QDesktopServices::openUrl(folder); });
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
    // The engine stops ffmpeg and removes the partial output; the model goes with the window.
    if (m_model.isTranscoding())
        m_model.cancelTranscoding();
    event->accept();
}
