#include "intake/NaturalOrder.h"

namespace {

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

int naturalCompare(QStringView a, QStringView b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (isAsciiDigit(a[i]) && isAsciiDigit(b[j])) {
            // Numbers compare by value: leading zeros aside, the longer one is larger.
            while (i < a.size() - 1 && a[i] == u'0' && isAsciiDigit(a[i + 1]))
                ++i;
            while (j < b.size() - 1 && b[j] == u'0' && isAsciiDigit(b[j + 1]))
                ++j;
            qsizetype endA = i;
            qsizetype endB = j;
            while (endA < a.size() && isAsciiDigit(a[endA]))
                ++endA;
            while (endB < b.size() && isAsciiDigit(b[endB]))
                ++endB;
            if (endA - i != endB - j)
                return endA - i < endB - j ? -1 : 1;
            if (const int order = a.sliced(i, endA - i).compare(b.sliced(j, endB - j)))
                return order;
            i = endA;
            j = endB;
            continue;
        }
        if (const int order = a.sliced(i, 1).compare(b.sliced(j, 1), Qt::CaseInsensitive))
            return order;
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j ? -1 : 1;
    return a.compare(b); // only for a stable, total order
}

} // namespace

bool naturalLess(QStringView a, QStringView b)
{
    return naturalCompare(a, b) < 0;
}
