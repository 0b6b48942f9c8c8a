#include "process/LineSplitter.h"

#include <algorithm>
#include <cstring>

QByteArrayList LineSplitter::feed(const QByteArray &chunk)
{
    // Line ends are looked for with memchr, so that a line of many megabytes costs no more
    // than its copy.
    const char *data = chunk.constData();
    const qsizetype size = chunk.size();
    const auto next = [data, size](char end, qsizetype from) {
        const void *found = std::memchr(data + from, end, static_cast<size_t>(size - from));
        return found ? static_cast<const char *>(found) - data : size;
    };
    QByteArrayList lines;
    qsizetype start = 0;
    qsizetype newline = next('\n', 0);
    qsizetype carriageReturn = next('\r', 0);
    while (true) {
        const qsizetype i = std::min(newline, carriageReturn);
        if (i > start)
            m_lastWasCarriageReturn = false;
        if (i == size)
            break;
        const char c = data[i];
        if (c == '\n')
            newline = next('\n', i + 1);
        else
            carriageReturn = next('\r', i + 1);
        if (c == '\n' && m_lastWasCarriageReturn && i == start && m_pending.isEmpty()) {
            // The "\n" of a "\r\n" whose "\r" already ended the line.
            start = i + 1;
            m_lastWasCarriageReturn = false;
            continue;
        }
        m_lastWasCarriageReturn = c == '\r';
        m_pending.append(data + start, i - start);
        lines.append(m_pending);
        m_pending.clear();
        start = i + 1;
    }
    m_pending.append(data + start, size - start);
    qsizetype cut = 0;
    for (; m_pending.size() - cut > m_longestLine; cut += m_longestLine)
        lines.append(m_pending.mid(cut, m_longestLine));
    m_pending.remove(0, cut);

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
