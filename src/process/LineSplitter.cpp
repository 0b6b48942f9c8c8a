#include "process/LineSplitter.h"

QByteArrayList LineSplitter::feed(const QByteArray &chunk)
{
    QByteArrayList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < chunk.size(); ++i) {
        const char c = chunk.at(i);
        if (c == '\n' && m_lastWasCarriageReturn && i == start && m_pending.isEmpty()) {
            // The "\n" of a "\r\n" whose "\r" already ended the line.
            start = i + 1;
            m_lastWasCarriageReturn = false;
            continue;
        }
        m_lastWasCarriageReturn = c == '\r';
        if (c == '\n' || c == '\r') {
            m_pending.append(chunk.constData() + start, i - start);
            lines.append(m_pending);
            m_pending.clear();
            start = i + 1;
        }
    }
    m_pending.append(chunk.constData() + start, chunk.size() - start);
    while (m_pending.size() > LongestLine) {
        lines.append(m_pending.left(LongestLine));
        m_pending.remove(0, LongestLine);
    }
    return lines;
}

QByteArrayList LineSplitter::finish()
{
    m_lastWasCarriageReturn = false;
    if (m_pending.isEmpty())
        return {};
    QByteArrayList rest{m_pending};
    m_pending.clear();
    return rest;
}
