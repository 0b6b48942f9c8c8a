#pragma once

#include <QByteArray>
#include <QByteArrayList>

// Cuts a byte stream into lines at "\n", "\r" or "\r\n", the way ffmpeg's mix of progress
// lines and carriage-return status updates is meant to be read. A line that never ends is
// handed on in pieces, so memory stays bounded whatever a program writes.
class LineSplitter
{
public:
    static constexpr qsizetype LongestLine = 1024 * 1024;

    void setLongestLine(qsizetype bytes) { m_longestLine = bytes; }

    // Complete lines found in `chunk` together with what was held back before.
    QByteArrayList feed(const QByteArray &chunk);
    // The unterminated rest, as a last line, once the stream has ended.
    QByteArrayList finish();

private:
    QByteArray m_pending;
    qsizetype m_longestLine = LongestLine;

    bool m_lastWasCarriageReturn = false;
};
