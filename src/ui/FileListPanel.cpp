#include "ui/FileListPanel.h"

#include "session/TranscodeViewModel.h"
#include "ui/FileCardDelegate.h"
#include "ui/FileListModel.h"
#include "ui/Look.h"

#include <QKeyEvent>
#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>

FileGridView::FileGridView(QWidget *parent)
    : QListView(parent)
    , m_delegate(new FileCardDelegate(this))
{
    setItemDelegate(m_delegate);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(true);
    // A click selects a card, Ctrl and Shift extend the selection, Delete removes it.
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAutoFillBackground(false);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    verticalScrollBar()->setSingleStep(20);
    fitCells();
}

int FileGridView::layoutWidth() const
{
    // A wrapping list view lays out as if its scroll bar were shown, and starts a new line
    // once a row would reach the last pixel.
    const int scrollBar =
        style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar());
    return maximumViewportSize().width() - scrollBar - 1;
}

int FileGridView::columnCount() const
{
    constexpr int gap = FileCardDelegate::ColumnSpacing;
    return qMax(1, (layoutWidth() + gap) / (FileCardDelegate::MinimumColumnWidth + gap));
}

QSize FileGridView::sizeHint() const
{
    const int rows = model() ? model()->rowCount() : 0;
    const int lines = (rows + columnCount() - 1) / columnCount();
    const int height = lines * m_delegate->cellHeight(font()) + 2 * frameWidth();
    return {FileCardDelegate::MinimumColumnWidth, height};
}

void FileGridView::resizeEvent(QResizeEvent *event)
{
    QListView::resizeEvent(event);
    fitCells();
}

void FileGridView::fitCells()
{
    const int cellWidth = layoutWidth() / columnCount();
    const QSize cell(cellWidth, m_delegate->cellHeight(font()));
    if (gridSize() == cell)
        return;
    m_delegate->setCellWidth(cellWidth);
    setGridSize(cell);
    updateGeometry();
}

void FileGridView::keyPressEvent(QKeyEvent *event)
{
    // The keyboard's way to the remove buttons of the cards selected, or of the one in focus.
    if (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) {
        QModelIndexList chosen = selectionModel()->selectedIndexes();
        if (chosen.isEmpty() && currentIndex().isValid())
            chosen << currentIndex();
        QList<QUuid> ids;
        for (const QModelIndex &index : std::as_const(chosen))
            ids << index.data(JobQueue::IdRole).toUuid();
        Q_EMIT m_delegate->removeRequested(ids);
        return;
    }
    QListView::keyPressEvent(event);
}

void FileGridView::rowsInserted(const QModelIndex &parent, int start, int end)
{
    QListView::rowsInserted(parent, start, end);
    updateGeometry();
}

void FileGridView::rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end)
{
    QListView::rowsAboutToBeRemoved(parent, start, end);
    updateGeometry();
}

FileListPanel::FileListPanel(TranscodeViewModel &model, QWidget *parent)
    : QWidget(parent)
    , m_rows(new FileListModel(model, this))
    , m_header(new QLabel(this))
    , m_grid(new FileGridView(this))
{
    m_header->setObjectName(QStringLiteral("fileListHeader"));
    m_header->setFont(Look::headline(font()));
    m_grid->setObjectName(QStringLiteral("fileGrid"));
    m_grid->setModel(m_rows);
    // Deferred: the press that asks for it is still being handled by the view.
    connect(&m_grid->cardDelegate(), &FileCardDelegate::removeRequested, &model,
            &TranscodeViewModel::removeVideoFiles, Qt::QueuedConnection);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    auto *headerRow = new QHBoxLayout;
    headerRow->setContentsMargins(8, 0, 8, 0);
    headerRow->addWidget(m_header);
    layout->addLayout(headerRow);
    layout->addWidget(m_grid, 1);
    setMaximumHeight(MaximumHeight);

    connect(m_rows, &QAbstractItemModel::rowsInserted, this, &FileListPanel::followCount);
    connect(m_rows, &QAbstractItemModel::rowsRemoved, this, &FileListPanel::followCount);
    connect(m_rows, &QAbstractItemModel::modelReset, this, &FileListPanel::followCount);
    followCount();
}

void FileListPanel::followCount()
{
    const qint64 count = m_rows->rowCount();
    m_header->setText(QStringLiteral("已选择 %1 个视频").arg(count));
    setVisible(count > 0);
}
