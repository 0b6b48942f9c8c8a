#pragma once

#include <QListView>
#include <QWidget>

class FileCardDelegate;
class FileListModel;
class QLabel;
class TranscodeViewModel;

// A grid of file cards with as many columns of at least the minimum width as fit. It is a
// plain list view, so only the rows in sight are ever painted.
class FileGridView : public QListView
{
    Q_OBJECT

public:
    explicit FileGridView(QWidget *parent = nullptr);

    FileCardDelegate &cardDelegate() const { return *m_delegate; }
    int columnCount() const;
    // All rows without scrolling, but never more than the panel allows.
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end) override;

private:
    int layoutWidth() const;
    void fitCells();

    FileCardDelegate *m_delegate;
};

// The list of chosen files: a header with their number and the card grid. It shows only
// while there are files.
class FileListPanel : public QWidget
{
    Q_OBJECT

public:
    static constexpr int MaximumHeight = 400;

    explicit FileListPanel(TranscodeViewModel &model, QWidget *parent = nullptr);

    FileGridView &grid() const { return *m_grid; }

private:
    void followCount();

    FileListModel *m_rows;
    QLabel *m_header;
    FileGridView *m_grid;
};
