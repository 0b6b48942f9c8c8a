#include "ui/VideoFileDialog.h"

#include <QFileInfo>
#include <QLineEdit>

using namespace Qt::StringLiterals;

VideoFileDialog::VideoFileDialog(const QStringList &extensions, QWidget *parent)
    : QFileDialog(parent)
{
    // Only Qt's own dialog can be taught to take folders and files together.
    setOption(QFileDialog::DontUseNativeDialog);
    setFileMode(QFileDialog::ExistingFiles);
    setAcceptMode(QFileDialog::AcceptOpen);
    setNameFilter(nameFilter(extensions));
}

QString VideoFileDialog::nameFilter(const QStringList &extensions)
{
    QStringList patterns;
    for (const QString &extension : extensions)
        patterns << u"*."_s + extension;
    return u"视频文件 ("_s + patterns.join(u' ') + u')';
}

void VideoFileDialog::accept()
{
    const QStringList paths = selectedFiles();
    if (paths.isEmpty())
        return;
    // A folder typed into the name field is gone into, as in any file dialog; names that do
    // not exist get the dialog's own message.
    const auto *nameField = findChild<QLineEdit *>(u"fileNameEdit"_s);
    const bool typedFolder =
        nameField && nameField->hasFocus() && paths.size() == 1 && QFileInfo(paths[0]).isDir();
    const bool allExist = std::all_of(paths.begin(), paths.end(),
                                      [](const QString &path) { return QFileInfo::exists(path); });
    if (typedFolder || !allExist) {
        QFileDialog::accept();
        return;
    }
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls << QUrl::fromLocalFile(path);
    Q_EMIT videosChosen(urls);
    QDialog::accept();
}
