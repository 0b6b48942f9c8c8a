#pragma once

#include <QList>
#include <QStyledItemDelegate>
#include <QUuid>

// Paints one listed file: its card (the name, the probed properties in as many lines as the
// cell's width needs, the length and size with the file's state in the run) and the red
// remove button beside it. Nothing is built per file; a press on the button asks for the
// removal.
class FileCardDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    static constexpr int MinimumColumnWidth = 400;
    static constexpr int RowSpacing = 16;
    static constexpr int ColumnSpacing = 12;

    explicit FileCardDelegate(QObject *parent = nullptr);

    static QFont propertyFont(const QFont &base);
    // The room a card's line of properties leaves between two of them, the dot included.
    static int itemGap(const QFont &base);

    // What the listed files need, as the view measured them: for each property the most any
    // file needs, the longest line of them all a single file needs, and the longest name.
    void setWidest(const QList<int> &itemWidths, int lineWidth, int nameWidth);
    // The narrowest cell that shows every listed file's name whole and its properties on one
    // line.
    int oneLineCellWidth(const QFont &font) const;
    // Every cell is this wide and as tall as the card that needs the most lines at that width.
    void setCellWidth(int width, const QFont &font);
    int cellHeight(const QFont &font) const;
    int propertyLines() const { return m_lines; }

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

    QList<int> m_itemWidths;
    int m_lineWidth = 0;
    int m_nameWidth = 0;
    int m_cellWidth = MinimumColumnWidth;
    int m_lines = 1;
    QPersistentModelIndex m_pressed;
};
