#include "ui/MainWindow.h"

#include "model/TranscodeViewModel.h"

#include <QDesktopServices>
#include <QLabel>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_model(new TranscodeViewModel(this))
{
    setMinimumSize(800, 600);
    setCentralWidget(new QLabel(QStringLiteral("拖放或点击选择视频文件"), this));
    connect(m_model, &TranscodeViewModel::outputFolderOpenRequested, this,
            [](const QUrl &folder) { QDesktopServices::openUrl(folder); });
}
