#include "ui/LogView.h"

#include "model/TranscodeViewModel.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <QTextCursor>

namespace {

// Enough to follow a run; the model keeps the whole log.
constexpr int KeptLines = 20000;

} // namespace

LogView::LogView(TranscodeViewModel &model, QWidget *parent)
    : QPlainTextEdit(parent)
    , m_model(model)
{
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setMaximumBlockCount(KeptLines);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    connect(&model, &TranscodeViewModel::ffmpegLogAppended, this, &LogView::appendPiece);
    connect(&model, &TranscodeViewModel::ffmpegLogChanged, this, &LogView::followLog);
}

void LogView::showEvent(QShowEvent *event)
{
    QPlainTextEdit::showEvent(event);
    if (m_shownLength != m_model.ffmpegLog().size())
        showWholeLog();
}

void LogView::appendPiece(const QString &piece)
{
    const qsizetype logLength = m_model.ffmpegLog().size();
    // The piece may be announced just before or just after the log itself has grown.
    const bool fits = m_shownLength >= 0 &&
                      (logLength == m_shownLength + piece.size() || logLength == m_shownLength);
    if (!isVisible() || !fits) {
        m_shownLength = -1;
        return;
    }
    QScrollBar *bar = verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(piece);
    m_shownLength += piece.size();
    if (atEnd)
        bar->setValue(bar->maximum());
}

void LogView::followLog()
{
    if (m_shownLength == m_model.ffmpegLog().size() || m_catchUpDue)
        return;
    // A piece added to the log is announced right after the change; look once it has been,
    // and redo the whole text only if the change was something else.
    m_catchUpDue = true;
    QMetaObject::invokeMethod(this, &LogView::catchUp, Qt::QueuedConnection);
}

void LogView::catchUp()
{
    m_catchUpDue = false;
    if (m_shownLength == m_model.ffmpegLog().size())
        return;
    if (isVisible())
        showWholeLog();
    else
        m_shownLength = -1;
}

void LogView::showWholeLog()
{
    setPlainText(m_model.ffmpegLog());
    m_shownLength = m_model.ffmpegLog().size();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}
