#include "ui/FileCardDelegate.h"

#include "domain/VideoFile.h"
#include "session/JobQueue.h"
#include "ui/CardText.h"
#include "ui/FileListModel.h"
#include "ui/Look.h"

#include <QMouseEvent>
#include <QPainter>

namespace {

constexpr int RowPadding = 12;
constexpr int CardPadding = 8;
constexpr int LineSpacing = 4;
constexpr int ItemSpacing = 8;
constexpr int PropertyPixels = 12;
constexpr int ButtonSize = 22;

QFont propertyFont(const QFont &base)
{
    return Look::pixelSized(base, PropertyPixels);
}

// The cell without the gaps that part it from its neighbours.
QRect rowRect(const QRect &cell)
{
    constexpr int halfGap = FileCardDelegate::ColumnSpacing / 2;
    return cell.adjusted(halfGap, 0, -halfGap, -FileCardDelegate::RowSpacing);
}

QRect cardRect(const QRect &cell)
{
    return rowRect(cell).adjusted(RowPadding, RowPadding, -(2 * RowPadding + ButtonSize),
                                  -RowPadding);
}

void fillRounded(QPainter *painter, const QRectF &rect, qreal radius, const QColor &color)
{
    painter->setPen(Qt::NoPen);
    painter->setBrush(color);
    painter->drawRoundedRect(rect, radius, radius);
}

} // namespace

FileCardDelegate::FileCardDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{}

void FileCardDelegate::setCellWidth(int width)
{
    m_cellWidth = width;
}

int FileCardDelegate::cellHeight(const QFont &font) const
{
    const int nameHeight = Look::lineHeight(Look::headline(font));
    const int propertyHeight = Look::lineHeight(propertyFont(font));
    return 2 * RowPadding + 2 * CardPadding + nameHeight + 2 * (LineSpacing + propertyHeight) +
           RowSpacing;
}

QRect FileCardDelegate::removeButtonRect(const QRect &cell)
{
    const QRect row = rowRect(cell);
    return {row.right() - RowPadding - ButtonSize + 1, row.center().y() - ButtonSize / 2,
            ButtonSize, ButtonSize};
}

QSize FileCardDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    return {m_cellWidth, cellHeight(option.font)};
}

void FileCardDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                             const QModelIndex &index) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRect row = rowRect(option.rect);
    fillRounded(painter, row, 12, Look::raisedPanel(option.palette));
    if (option.state & QStyle::State_Selected) {
        QColor selected = Look::accent(option.palette);
        selected.setAlphaF(0.3f);
        fillRounded(painter, row, 12, selected);
    }
    if (option.state & (QStyle::State_HasFocus | QStyle::State_Selected)) {
        painter->setPen(QPen(Look::accent(option.palette), 2));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(QRectF(row).adjusted(1, 1, -1, -1), 11, 11);
    }
    const QRect card = cardRect(option.rect);
    fillRounded(painter, card, 8, Look::panel(option.palette));
    paintCard(painter, option, card.adjusted(CardPadding, CardPadding, -CardPadding, -CardPadding),
              index);
    paintRemoveButton(painter, removeButtonRect(option.rect),
                      index.data(FileListModel::RemovableRole).toBool());
    painter->restore();
}

void FileCardDelegate::paintCard(QPainter *painter, const QStyleOptionViewItem &option,
                                 const QRect &content, const QModelIndex &index) const
{
    const auto file = index.data(JobQueue::VideoFileRole).value<VideoFile>();
    const QColor secondary = Look::secondaryText(option.palette);

    const QFont nameFont = Look::headline(option.font);
    const QFontMetrics nameMetrics(nameFont);
    painter->setFont(nameFont);
    painter->setPen(option.palette.color(QPalette::WindowText));
    const QRect nameLine(content.left(), content.top(), content.width(),
                         Look::lineHeight(nameFont));
    painter->drawText(nameLine, Qt::AlignLeft | Qt::AlignVCenter,
                      nameMetrics.elidedText(file.name, Qt::ElideMiddle, nameLine.width()));

    const QFont smallFont = propertyFont(option.font);
    const QFontMetrics smallMetrics(smallFont);
    painter->setFont(smallFont);
    QRect slot(content.left(), nameLine.bottom() + 1 + LineSpacing, 0, Look::lineHeight(smallFont));
    const QList<CardItem> items = cardItems(file);
    const QStringList texts = fitCardItems(items, smallMetrics, content.width(), ItemSpacing);
    painter->save();
    painter->setClipRect(content);
    for (qsizetype i = 0; i < items.size(); ++i) {
        slot.setWidth(smallMetrics.horizontalAdvance(texts[i]));
        painter->setPen(items[i].tone == CardItem::Tone::Blue ? Look::blue() : secondary);
        painter->drawText(slot, Qt::AlignLeft | Qt::AlignVCenter, texts[i]);
        slot.moveLeft(slot.right() + 1 + ItemSpacing);
    }

    // Duration and size, and where the file stands in the run at the right.
    const QRect footer(content.left(), slot.bottom() + 1 + LineSpacing, content.width(),
                       slot.height());
    painter->setPen(secondary);
    painter->drawText(footer, Qt::AlignLeft | Qt::AlignVCenter, cardFooter(file));
    if (const QVariant status = index.data(FileListModel::StatusRole); status.isValid()) {
        const auto [text, tone, progress] = status.value<CardStatus>();
        painter->setPen(tone == CardStatus::Tone::Good   ? Look::green()
                        : tone == CardStatus::Tone::Bad  ? Look::red()
                        : tone == CardStatus::Tone::Busy ? Look::blue()
                                                         : secondary);
        painter->drawText(footer, Qt::AlignRight | Qt::AlignVCenter, text);
        if (progress) {
            const QRectF track(content.left(), content.bottom() + CardPadding / 2.0 - 1,
                               content.width(), 2);
            painter->setClipping(false);
            fillRounded(painter, track, 1, secondary);
            fillRounded(painter, QRectF(track.topLeft(), QSizeF(track.width() * *progress, 2)), 1,
                        Look::blue());
        }
    }
    painter->restore();
}

void FileCardDelegate::paintRemoveButton(QPainter *painter, const QRect &button, bool enabled)
{
    painter->setPen(Qt::NoPen);
    // The file being converted stays; its button says so by its colour.
    painter->setBrush(enabled ? Look::red() : QColor(Qt::gray));
    painter->drawEllipse(button);
    const QRectF cross = QRectF(button).adjusted(7, 7, -7, -7);
    painter->setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    painter->drawLine(cross.topLeft(), cross.bottomRight());
    painter->drawLine(cross.topRight(), cross.bottomLeft());
}

bool FileCardDelegate::editorEvent(QEvent *event, QAbstractItemModel *model,
                                   const QStyleOptionViewItem &option, const QModelIndex &index)
{
    const auto type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
        type != QEvent::MouseButtonDblClick)
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    const auto *mouse = static_cast<QMouseEvent *>(event);
    const bool onButton = mouse->button() == Qt::LeftButton &&
                          removeButtonRect(option.rect).contains(mouse->position().toPoint());
    if (type != QEvent::MouseButtonRelease) {
        m_pressed = onButton ? QPersistentModelIndex(index) : QPersistentModelIndex();
        return onButton;
    }
    // A press that slides off the button removes nothing, as with any button.
    const bool clicked = onButton && m_pressed == index;
    m_pressed = QPersistentModelIndex();
    if (clicked)
        Q_EMIT removeRequested({index.data(JobQueue::IdRole).toUuid()});
    return clicked;
}
