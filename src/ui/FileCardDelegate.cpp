#include "ui/FileCardDelegate.h"

#include "domain/VideoFile.h"
#include "session/JobQueue.h"
#include "ui/CardText.h"
#include "ui/FileListModel.h"
#include "ui/Look.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr int PaddingX = 10;
constexpr int PaddingY = 8;
constexpr int LineSpacing = 4;
constexpr int DotSpacing = 5;
constexpr int PropertyPixels = 12;
constexpr int ButtonSize = 22;
constexpr int FooterGap = 16;

// The card: the cell without the gaps that part it from its neighbours.
QRect cardRect(const QRect &cell)
{
    constexpr int halfGap = FileCardDelegate::ColumnSpacing / 2;
    return cell.adjusted(halfGap, 0, -halfGap, -FileCardDelegate::RowSpacing);
}

// Where its texts go: all but the padding and the remove button at the right.
QRect textRect(const QRect &cell)
{
    return cardRect(cell).adjusted(PaddingX, PaddingY, -(2 * PaddingX + ButtonSize), -PaddingY);
}

int contentWidth(int cellWidth)
{
    return textRect(QRect(0, 0, cellWidth, 100)).width();
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

QFont FileCardDelegate::propertyFont(const QFont &base)
{
    return Look::pixelSized(base, PropertyPixels);
}

int FileCardDelegate::itemGap(const QFont &base)
{
    return 2 * DotSpacing + QFontMetrics(propertyFont(base)).horizontalAdvance(u"•"_s);
}

void FileCardDelegate::setWidest(const QList<int> &itemWidths, int lineWidth, int nameWidth)
{
    m_itemWidths = itemWidths;
    m_lineWidth = lineWidth;
    m_nameWidth = nameWidth;
}

int FileCardDelegate::oneLineCellWidth(const QFont &font) const
{
    const QFontMetrics metrics(propertyFont(font));
    // The last line: the longest length and size, and the widest state beside them.
    const int footer = metrics.horizontalAdvance(u"0:00:00 • 888.8 MB"_s) + FooterGap +
                       metrics.horizontalAdvance(u"✓ 已完成 · 888.8 MB"_s);
    return std::max({m_lineWidth, m_nameWidth, footer}) + MinimumColumnWidth -
           contentWidth(MinimumColumnWidth);
}

void FileCardDelegate::setCellWidth(int width, const QFont &font)
{
    m_cellWidth = width;
    // Where the longest line does not fit, as many lines as the widest of every property
    // would take: no card needs more.
    const int room = contentWidth(width);
    m_lines = room >= m_lineWidth ? 1 : qMax(1, flowLineCount(m_itemWidths, room, itemGap(font)));
}

int FileCardDelegate::cellHeight(const QFont &font) const
{
    const int nameHeight = Look::lineHeight(Look::headline(font));
    const int propertyHeight = Look::lineHeight(propertyFont(font));
    return 2 * PaddingY + nameHeight + (m_lines + 1) * (LineSpacing + propertyHeight) + RowSpacing;
}

QRect FileCardDelegate::removeButtonRect(const QRect &cell)
{
    const QRect card = cardRect(cell);
    return {card.right() - PaddingX - ButtonSize + 1, card.center().y() - ButtonSize / 2,
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
    const QRect card = cardRect(option.rect);
    fillRounded(painter, card, 10, Look::raisedPanel(option.palette));
    if (option.state & QStyle::State_Selected) {
        QColor selected = Look::accent(option.palette);
        selected.setAlphaF(0.3f);
        fillRounded(painter, card, 10, selected);
    }
    if (option.state & (QStyle::State_HasFocus | QStyle::State_Selected)) {
        painter->setPen(QPen(Look::accent(option.palette), 2));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(QRectF(card).adjusted(1, 1, -1, -1), 9, 9);
    }
    paintCard(painter, option, textRect(option.rect), index);
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

    // The properties, each whole, in as many lines as this width needs.
    const QFont smallFont = propertyFont(option.font);
    const QFontMetrics smallMetrics(smallFont);
    painter->setFont(smallFont);
    const int lineHeight = Look::lineHeight(smallFont);
    const int gap = itemGap(option.font);
    const QList<CardItem> items = cardItems(file);
    QList<int> widths;
    for (const CardItem &item : items)
        widths << smallMetrics.horizontalAdvance(item.text);
    const QList<QPoint> places = flowItems(widths, content.width(), gap);
    painter->save();
    painter->setClipRect(content);
    const int top = nameLine.bottom() + 1 + LineSpacing;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QRect slot(content.left() + places[i].x(),
                         top + places[i].y() * (lineHeight + LineSpacing), widths[i], lineHeight);
        if (i > 0 && places[i].y() == places[i - 1].y()) {
            painter->setPen(secondary);
            painter->drawText(QRect(slot.left() - gap, slot.top(), gap, lineHeight),
                              Qt::AlignCenter, u"•"_s);
        }
        painter->setPen(items[i].tone == CardItem::Tone::Blue ? Look::blue() : secondary);
        // Cut only where a single value is wider than the whole card.
        const QString text =
            widths[i] <= content.width()
                ? items[i].text
                : smallMetrics.elidedText(items[i].text, Qt::ElideRight, content.width());
        painter->drawText(slot, Qt::AlignLeft | Qt::AlignVCenter, text);
    }

    // Length and size at the foot, and where the file stands in the run at the right.
    const QRect footer(content.left(), content.bottom() + 1 - lineHeight, content.width(),
                       lineHeight);
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
            const QRectF track(content.left(), content.bottom() + PaddingY / 2.0 - 1,
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
