#pragma once

#include <QHash>
#include <QListView>
#include <QTimer>
#include <QWidget>

class FileCardDelegate;
class FileListModel;
class QLabel;
class TranscodeViewModel;

// A grid of file cards in as many columns as show every card's name and properties whole, wrapping
// them to more lines where even one column is too narrow. It is a plain list view, so only
// the rows in sight are ever painted; what the widest file needs is measured as rows come.
class FileGridView : public QListView
{
    Q_OBJECT

public:
    explicit FileGridView(QWidget *parent = nullptr);

    FileCardDelegate &cardDelegate() const { return *m_delegate; }
    int columnCount() const;
    // At least one row of cards, as long as there is any.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end) override;
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = {}) override;
    void reset() override;

private:
    int layoutWidth() const;
    void fitCells();
    // Widens what each property needs to what these rows need.
    void measure(int first, int last);
    // From scratch, once the rows have settled: a removal may leave less to make room for.
    void measureAll();
    int textWidth(const QString &text);

    FileCardDelegate *m_delegate;
    QList<int> m_itemWidths;
    int m_lineWidth = 0;
    int m_nameWidth = 0;
    QHash<QString, int> m_textWidths; // in the property font
    QTimer m_remeasure;
};

// The list of chosen files: a header with their number and the card grid. It shows only
// while there are files, and takes whatever height the window can give it. During a run it
// keeps the file at work in sight, until the user scrolls it.
class FileListPanel : public QWidget
{
    Q_OBJECT

public:
    explicit FileListPanel(TranscodeViewModel &model, QWidget *parent = nullptr);

    FileGridView &grid() const { return *m_grid; }

private:
    void followCount();

    TranscodeViewModel &m_model;
    FileListModel *m_rows;
    QLabel *m_header;
    FileGridView *m_grid;
    bool m_followsRun = false;
};
