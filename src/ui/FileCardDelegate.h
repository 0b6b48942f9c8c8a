#pragma once

#include <QStyledItemDelegate>
#include <QUuid>

// Paints one listed file: its card (name, then the probed properties) and the red remove
// button beside it. Nothing is built per file; a press on the button asks for the removal.
class FileCardDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    static constexpr int MinimumColumnWidth = 400;
    static constexpr int RowSpacing = 20;
    static constexpr int ColumnSpacing = 12;

    explicit FileCardDelegate(QObject *parent = nullptr);

    // Every cell is this wide; the grid view sets it as its width changes.
    void setCellWidth(int width);
    int cellHeight(const QFont &font) const;

    // Where the remove button of the file shown in this cell lies.
    static QRect removeButtonRect(const QRect &cell);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;

Q_SIGNALS:
    void removeRequested(const QList<QUuid> &ids);

private:
    void paintCard(QPainter *painter, const QStyleOptionViewItem &option, const QRect &card,
                   const QModelIndex &index) const;
    static void paintRemoveButton(QPainter *painter, const QRect &button, bool enabled);

    int m_cellWidth = MinimumColumnWidth;
    QPersistentModelIndex m_pressed;
};
