#include "ui/DropZone.h"

#include "intake/IntakeUrls.h"
#include "session/TranscodeViewModel.h"
#include "ui/Look.h"
#include "ui/VideoFileDialog.h"

#include <QDir>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

constexpr int SymbolHeight = 36;
constexpr int CompactSymbolHeight = 18;
constexpr int SymbolSpacing = 8;

// A sheet with a folded corner and an arrow pointing down into it.
void paintDropSymbol(QPainter &painter, const QRectF &box, const QColor &color)
{
    const qreal w = box.height() * 0.78;
    const qreal h = box.height();
    const QPointF origin(box.center().x() - w / 2, box.top());
    const qreal fold = w * 0.32;
    QPainterPath sheet;
    sheet.moveTo(origin);
    sheet.lineTo(origin + QPointF(w - fold, 0));
    sheet.lineTo(origin + QPointF(w, fold));
    sheet.lineTo(origin + QPointF(w, h));
    sheet.lineTo(origin + QPointF(0, h));
    sheet.closeSubpath();
    sheet.moveTo(origin + QPointF(w - fold, 0));
    sheet.lineTo(origin + QPointF(w - fold, fold));
    sheet.lineTo(origin + QPointF(w, fold));

    const qreal x = origin.x() + w / 2;
    QPainterPath arrow;
    arrow.moveTo(x, origin.y() + h * 0.32);
    arrow.lineTo(x, origin.y() + h * 0.78);
    arrow.moveTo(x - w * 0.2, origin.y() + h * 0.6);
    arrow.lineTo(x, origin.y() + h * 0.8);
    arrow.lineTo(x + w * 0.2, origin.y() + h * 0.6);

    painter.setPen(QPen(color, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(sheet);
    painter.drawPath(arrow);
}

} // namespace

DropZone::DropZone(TranscodeViewModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_dialogDirectory(QStandardPaths::writableLocation(QStandardPaths::MoviesLocation))
{
    setAcceptDrops(true);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setFont(Look::headline(font()));
    if (!QDir(m_dialogDirectory).exists())
        m_dialogDirectory = QDir::homePath();
}

QSize DropZone::sizeHint() const
{
    return m_compact ? minimumSizeHint() : QSize(400, 200);
}

QSize DropZone::minimumSizeHint() const
{
    if (m_compact)
        return {200, qMax(CompactSymbolHeight, Look::lineHeight(font())) + 16};
    return {200, SymbolHeight + SymbolSpacing + Look::lineHeight(font()) + 24};
}

void DropZone::setCompact(bool compact)
{
    if (m_compact == compact)
        return;
    m_compact = compact;
    setSizePolicy(QSizePolicy::Expanding, compact ? QSizePolicy::Fixed : QSizePolicy::Expanding);
    updateGeometry();
    update();
}

void DropZone::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor border = m_dropTargeted            ? Look::accent(palette())
                          : Look::isDark(palette()) ? QColor(Qt::white)
                                                    : QColor(Qt::gray);
    // A 2-pixel line inside the bounds, dashed 5 on and 5 off (Qt counts dashes in widths).
    QPen pen(border, 2);
    pen.setDashPattern({2.5, 2.5});
    pen.setMiterLimit(10);
    pen.setDashOffset(0);
    painter.setPen(hasFocus() ? QPen(Look::accent(palette()), 2) : pen);
    // A tint of the accent while a drag hovers: the whole zone says where the drop goes.
    QColor tint = Look::accent(palette());
    tint.setAlphaF(m_dropTargeted ? 0.12f : 0.0f);
    painter.setBrush(tint);
    painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), m_compact ? 8 : 12,
                            m_compact ? 8 : 12);

    const QString text = u"拖放或点击选择视频文件"_s;
    const int textHeight = Look::lineHeight(font());
    const QColor ink = palette().color(QPalette::WindowText);
    if (m_compact) {
        // The symbol and the words side by side, in the middle of the bar.
        const int textWidth = fontMetrics().horizontalAdvance(text);
        const qreal symbolWidth = CompactSymbolHeight * 0.78;
        const qreal left = (width() - (symbolWidth + SymbolSpacing + textWidth)) / 2.0;
        paintDropSymbol(
            painter,
            QRectF(left, (height() - CompactSymbolHeight) / 2.0, symbolWidth, CompactSymbolHeight),
            ink);
        painter.setPen(ink);
        painter.drawText(QRectF(left + symbolWidth + SymbolSpacing, (height() - textHeight) / 2.0,
                                textWidth + 1, textHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, text);
        return;
    }
    const qreal top = (height() - (SymbolHeight + SymbolSpacing + textHeight)) / 2.0;
    paintDropSymbol(painter, QRectF(0, top, width(), SymbolHeight), ink);
    painter.setPen(ink);
    painter.drawText(QRectF(0, top + SymbolHeight + SymbolSpacing, width(), textHeight),
                     Qt::AlignCenter, text);
}

void DropZone::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
}

void DropZone::mouseReleaseEvent(QMouseEvent *event)
{
    const bool clicked = m_pressed && event->button() == Qt::LeftButton &&
                         rect().contains(event->position().toPoint());
    m_pressed = false;
    if (clicked)
        chooseFiles();
}

void DropZone::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        chooseFiles();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void DropZone::chooseFiles()
{
    if (m_chooser)
        m_chooser(this, [this](const QList<QUrl> &urls) { takeChosen(urls); });
    else
        openFileDialog();
}

void DropZone::openFileDialog()
{
    auto *dialog = new VideoFileDialog(m_model.supportedVideoExtensions(), window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setDirectory(m_dialogDirectory);
    connect(dialog, &VideoFileDialog::videosChosen, this, &DropZone::takeChosen);
    connect(dialog, &QDialog::finished, this,
            [this, dialog] { m_dialogDirectory = dialog->directory().absolutePath(); });
    // Window-modal and asynchronous: the run and the intake go on while it is open.
    dialog->open();
}

bool DropZone::accepts(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return false;
    // Offered when it carries a local file; intake tells the user about any other items.
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl &url) { return url.isLocalFile(); });
}

bool DropZone::acceptAsCopy(QDropEvent *event)
{
    if (!accepts(event->mimeData()) || !(event->possibleActions() & Qt::CopyAction)) {
        event->ignore();
        return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}

bool DropZone::takeDragEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
        setDropTargeted(acceptAsCopy(static_cast<QDropEvent *>(event)));
        return true;
    case QEvent::DragMove:
        acceptAsCopy(static_cast<QDropEvent *>(event));
        return true;
    case QEvent::DragLeave:
        setDropTargeted(false);
        return true;
    case QEvent::Drop:
        break;
    default:
        return false;
    }
    auto *drop = static_cast<QDropEvent *>(event);
    if (!acceptAsCopy(drop)) {
        setDropTargeted(false);
        return true;
    }
    const QList<QUrl> urls = drop->mimeData()->urls();
    m_model.trace(u"🔍 [DEBUG] DropZoneView: onDrop 被触发"_s);
    m_model.trace(u"🔍 [DEBUG] DropZoneView: 提供者数量: "_s + QString::number(urls.size()));
    m_model.trace(u"🔍 [DEBUG] DropZoneView: isDropTargeted: "_s +
                  (m_dropTargeted ? u"true"_s : u"false"_s));
    setDropTargeted(false);
    m_model.handleDrop(markDirectories(urls));
    return true;
}

void DropZone::dragEnterEvent(QDragEnterEvent *event)
{
    takeDragEvent(event);
}

void DropZone::dragMoveEvent(QDragMoveEvent *event)
{
    takeDragEvent(event);
}

void DropZone::dragLeaveEvent(QDragLeaveEvent *event)
{
    takeDragEvent(event);
}

void DropZone::dropEvent(QDropEvent *event)
{
    takeDragEvent(event);
}

void DropZone::takeChosen(const QList<QUrl> &urls)
{
    m_model.processSelectedFiles(markDirectories(urls));
}

void DropZone::setDropTargeted(bool targeted)
{
    if (m_dropTargeted == targeted)
        return;
    m_dropTargeted = targeted;
    update();
}
