#pragma once

#include <QFileDialog>
#include <QList>
#include <QUrl>

// A file dialog in which several videos and folders can be chosen at once. Qt's own dialog
// either opens files or picks one folder; here a folder selected in the list is taken as a
// choice when the dialog is accepted, while a double click still goes into it.
class VideoFileDialog : public QFileDialog
{
    Q_OBJECT

public:
    VideoFileDialog(const QStringList &extensions, QWidget *parent = nullptr);

    static QString nameFilter(const QStringList &extensions);

    void accept() override;

Q_SIGNALS:
    // Only on acceptance; cancelling emits nothing.
    void videosChosen(const QList<QUrl> &urls);
};
