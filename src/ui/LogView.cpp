#include "ui/LogView.h"

#include "session/TranscodeViewModel.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <QTextCursor>

namespace {

// Enough to follow a run; the model keeps more.
constexpr int KeptLines = 20000;

} // namespace

LogView::LogView(const TranscodeViewModel &model, QWidget *parent)
    : QPlainTextEdit(parent)
    , m_model(model)
{
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setMaximumBlockCount(KeptLines);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    connect(&model, &TranscodeViewModel::ffmpegLogAppended, this, &LogView::appendPiece);
    connect(&model, &TranscodeViewModel::ffmpegLogChanged, this, [this] {
        // A new run starts its log afresh.
        if (m_model.ffmpegLog().isEmpty()) {
            clear();
            m_stale = false;
        }
    });
}

void LogView::showEvent(QShowEvent *event)
{
    QPlainTextEdit::showEvent(event);
    if (!m_stale)
        return;
    m_stale = false;
    setPlainText(m_model.ffmpegLog());
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void LogView::appendPiece(const QString &piece)
{
    if (!isVisible()) {
        m_stale = true;
        return;
    }
    QScrollBar *bar = verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(piece);
    if (atEnd)
        bar->setValue(bar->maximum());
}
