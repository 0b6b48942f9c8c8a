#include "ui/FileListPanel.h"

#include "domain/VideoFile.h"
#include "session/JobQueue.h"
#include "session/TranscodeViewModel.h"
#include "ui/CardText.h"
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
    , m_itemWidths(CardItemCount, 0)
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
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    verticalScrollBar()->setSingleStep(20);
    m_remeasure.setSingleShot(true);
    m_remeasure.setInterval(0);
    connect(&m_remeasure, &QTimer::timeout, this, &FileGridView::measureAll);
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
    return qMax(1, layoutWidth() / qMax(1, gridSize().width()));
}

QSize FileGridView::sizeHint() const
{
    const int rows = model() ? model()->rowCount() : 0;
    const int lines = (rows + columnCount() - 1) / columnCount();
    return {FileCardDelegate::MinimumColumnWidth,
            qMax(1, lines) * m_delegate->cellHeight(font()) + 2 * frameWidth()};
}

QSize FileGridView::minimumSizeHint() const
{
    return {FileCardDelegate::MinimumColumnWidth / 2,
            m_delegate->cellHeight(font()) + 2 * frameWidth()};
}

void FileGridView::resizeEvent(QResizeEvent *event)
{
    QListView::resizeEvent(event);
    fitCells();
}

void FileGridView::changeEvent(QEvent *event)
{
    QListView::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_textWidths.clear();
        measureAll();
    }
}

void FileGridView::fitCells()
{
    // As many columns as keep every card on one line of properties; one where none can.
    const int width = layoutWidth();
    const int wanted =
        qMax(FileCardDelegate::MinimumColumnWidth, m_delegate->oneLineCellWidth(font()));
    const int cellWidth = width / qMax(1, width / wanted);
    m_delegate->setCellWidth(cellWidth, font());
    const QSize cell(cellWidth, m_delegate->cellHeight(font()));
    if (gridSize() == cell)
        return;
    setGridSize(cell);
    updateGeometry();
}

int FileGridView::textWidth(const QString &text)
{
    const auto known = m_textWidths.constFind(text);
    if (known != m_textWidths.cend())
        return *known;
    // Only property texts are kept, and few differ; a list of oddities starts it afresh.
    if (m_textWidths.size() > 4096)
        m_textWidths.clear();
    const int width = QFontMetrics(FileCardDelegate::propertyFont(font())).horizontalAdvance(text);
    m_textWidths.insert(text, width);
    return width;
}

void FileGridView::measure(int first, int last)
{
    if (!model())
        return;
    const QList<int> before = m_itemWidths;
    const int lineBefore = m_lineWidth;
    const int nameBefore = m_nameWidth;
    const int gap = FileCardDelegate::itemGap(font());
    const QFontMetrics nameMetrics(Look::headline(font()));
    for (int row = first; row <= last; ++row) {
        const auto file = model()->index(row, 0).data(JobQueue::VideoFileRole).value<VideoFile>();
        m_nameWidth = qMax(m_nameWidth, nameMetrics.horizontalAdvance(file.name));
        const QList<CardItem> items = cardItems(file);
        int line = gap * qMax(0, static_cast<int>(items.size()) - 1);
        for (qsizetype i = 0; i < items.size() && i < m_itemWidths.size(); ++i) {
            const int width = textWidth(items[i].text);
            m_itemWidths[i] = qMax(m_itemWidths[i], width);
            line += width;
        }
        m_lineWidth = qMax(m_lineWidth, line);
    }
    if (m_itemWidths == before && m_lineWidth == lineBefore && m_nameWidth == nameBefore)
        return;
    m_delegate->setWidest(m_itemWidths, m_lineWidth, m_nameWidth);
    fitCells();
}

void FileGridView::measureAll()
{
    m_itemWidths.fill(0);
    m_lineWidth = 0;
    m_nameWidth = 0;
    m_delegate->setWidest(m_itemWidths, m_lineWidth, m_nameWidth);
    const int rows = model() ? model()->rowCount() : 0;
    if (rows > 0)
        measure(0, rows - 1);
    fitCells();
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
    measure(start, end);
    updateGeometry();
}

void FileGridView::rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end)
{
    QListView::rowsAboutToBeRemoved(parent, start, end);
    m_remeasure.start();
    updateGeometry();
}

void FileGridView::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                               const QList<int> &roles)
{
    QListView::dataChanged(topLeft, bottomRight, roles);
    // A replaced source shows what replaced it.
    measure(topLeft.row(), bottomRight.row());
}

void FileGridView::reset()
{
    QListView::reset();
    m_remeasure.start();
}

FileListPanel::FileListPanel(TranscodeViewModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
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
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);

    connect(m_rows, &QAbstractItemModel::rowsInserted, this, &FileListPanel::followCount);
    connect(m_rows, &QAbstractItemModel::rowsRemoved, this, &FileListPanel::followCount);
    connect(m_rows, &QAbstractItemModel::modelReset, this, &FileListPanel::followCount);
    followCount();

    // Each run starts following; the user's own scrolling (a drag, a wheel, a click on the
    // bar) ends it, while scrolling by the view itself does not.
    connect(&model, &TranscodeViewModel::isTranscodingChanged, this,
            [this] { m_followsRun = m_model.isTranscoding(); });
    connect(m_grid->verticalScrollBar(), &QScrollBar::actionTriggered, this,
            [this] { m_followsRun = false; });
    connect(
        &model.queue(), &JobQueue::jobChanged, this, [this](int row, JobRecord::Status previous) {
            const JobRecord::Status status = m_model.queue().job(row).status;
            const bool started =
                previous == JobRecord::Status::Waiting &&
                (status == JobRecord::Status::Converting || status == JobRecord::Status::Checking);
            if (m_followsRun && started)
                m_grid->scrollTo(m_rows->index(row, 0));
        });
}

void FileListPanel::followCount()
{
    const qint64 count = m_rows->rowCount();
    m_header->setText(QStringLiteral("已选择 %1 个视频").arg(count));
    setVisible(count > 0);
}
