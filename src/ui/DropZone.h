#pragma once

#include <QList>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>

class QDropEvent;
class QMimeData;
class TranscodeViewModel;

// The area where videos and folders are dropped, or clicked to choose them: large while the
// list is empty, a slim bar once files are listed. What it receives goes to the model's
// intake; it keeps only whether a drag hovers over it. Drops elsewhere on the window come
// here too.
class DropZone : public QWidget
{
    Q_OBJECT

public:
    // Asks the user for videos and calls back with the choice; never calls back on cancel.
    using Chooser =
        std::function<void(QWidget *parent, std::function<void(const QList<QUrl> &)> chosen)>;

    explicit DropZone(TranscodeViewModel &model, QWidget *parent = nullptr);

    bool isDropTargeted() const { return m_dropTargeted; }
    // The file dialog by default; tests put something quieter in its place.
    void setChooser(Chooser chooser) { m_chooser = std::move(chooser); }
    void chooseFiles();

    // Drags that carry local files; taken as a copy, never a move, so the source stays put.
    static bool accepts(const QMimeData *data);
    // A drag or drop event meant for this zone, wherever in the window it happens: accepted
    // and handed to intake as the zone's own. False for any other event.
    bool takeDragEvent(QEvent *event);

    // The slim bar, once files are listed.
    void setCompact(bool compact);
    bool isCompact() const { return m_compact; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void setDropTargeted(bool targeted);
    void openFileDialog();
    void takeChosen(const QList<QUrl> &urls);
    static bool acceptAsCopy(QDropEvent *event);

    TranscodeViewModel &m_model;
    Chooser m_chooser;
    QString m_dialogDirectory;
    bool m_dropTargeted = false;
    bool m_pressed = false;
    bool m_compact = false;
};
