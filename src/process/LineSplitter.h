#pragma once

#include <QByteArray>
#include <QByteArrayList>

// Cuts a byte stream into lines at "\n", "\r" or "\r\n", the way ffmpeg's mix of progress
// lines and carriage-return status updates is meant to be read.
class LineSplitter
{
public:
    // Complete lines found in `chunk` together with what was held back before.
    QByteArrayList feed(const QByteArray &chunk);
    // The unterminated rest, as a last line, once the stream has ended.
    QByteArrayList finish();
    // Bytes held back for a line not yet ended.
    qsizetype pendingSize() const { return m_pending.size(); }

private:
    QByteArray m_pending;
    bool m_lastWasCarriageReturn = false;
};
