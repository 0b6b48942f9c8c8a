#include "cli/TerminalLine.h"

#include <algorithm>
#include <iterator>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// A file name never gets fewer columns than this; where even that does not fit, the files
// are left out.
constexpr int LeastNameColumns = 6;
const QString Ellipsis = QStringLiteral("…");

int charColumns(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_Enclosing:
    case QChar::Other_Format:
        return 0;
    default:
        break;
    }
    // East Asian Wide and Fullwidth, and the two ambiguous ones the line itself uses.
    static const std::pair<char32_t, char32_t> wide[] = {
        {0x00B7, 0x00B7},   {0x1100, 0x115F},   {0x2026, 0x2026},   {0x231A, 0x231B},
        {0x2329, 0x232A},   {0x23E9, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},
        {0x2648, 0x2653},   {0x26A1, 0x26A1},   {0x26AA, 0x26AB},   {0x26BD, 0x26BE},
        {0x26C4, 0x26C5},   {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F5},
        {0x26FA, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},   {0x2728, 0x2728},
        {0x274C, 0x274C},   {0x2753, 0x2757},   {0x2795, 0x2797},   {0x27B0, 0x27BF},
        {0x2B1B, 0x2B1C},   {0x2B50, 0x2B55},   {0x2E80, 0x303E},   {0x3041, 0x33FF},
        {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xA960, 0xA97F},
        {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},
        {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x18AFF}, {0x1B000, 0x1B2FF},
        {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A},
        {0x1F200, 0x1F251}, {0x1F300, 0x1F64F}, {0x1F680, 0x1F6FF}, {0x1F7E0, 0x1F7EB},
        {0x1F90C, 0x1F9FF}, {0x1FA70, 0x1FAFF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
    };
    const auto *after =
        std::upper_bound(std::begin(wide), std::end(wide), c,
                         [](char32_t value, const std::pair<char32_t, char32_t> &range) {
                             return value < range.first;
                         });
    return after != std::begin(wide) && c <= std::prev(after)->second ? 2 : 1;
}

// The name in at most `columns`, its middle given up for "…".
QString elidedName(const QString &name, int columns)
{
    if (terminalColumns(name) <= columns)
        return name;
    const QList<uint> chars = name.toUcs4();
    int room = columns - terminalColumns(Ellipsis);
    qsizetype front = 0;
    qsizetype back = chars.size();
    int frontColumns = 0;
    int backColumns = 0;
    // From both ends in turn, so that the start and the extension both stay.
    while (front < back) {
        const bool fromFront = frontColumns <= backColumns;
        const char32_t c = fromFront ? chars.at(front) : chars.at(back - 1);
        const int width = charColumns(c);
        if (width > room)
            break;
        room -= width;
        if (fromFront) {
            ++front;
            frontColumns += width;
        } else {
            --back;
            backColumns += width;
        }
    }
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(chars.constData()), front) +
           Ellipsis +
           QString::fromUcs4(reinterpret_cast<const char32_t *>(chars.constData()) + back,
                             chars.size() - back);
}

// The text cut to at most `columns`.
QString cut(const QString &text, int columns)
{
    QString kept;
    int used = 0;
    for (const uint c : text.toUcs4()) {
        used += charColumns(c);
        if (used > columns)
            break;
        kept += QString::fromUcs4(reinterpret_cast<const char32_t *>(&c), 1);
    }
    return kept;
}

} // namespace

int terminalColumns(const QString &text)
{
    int columns = 0;
    for (const uint c : text.toUcs4())
        columns += charColumns(c);
    return columns;
}

std::optional<int> standardErrorColumns()
{
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0)
        return std::nullopt;
    return size.ws_col;
}

QString fitLiveLine(QStringList figures, const QList<FileProgress> &files, int columns)
{
    static const QString gap = QStringLiteral("  ");
    static const QString between = QStringLiteral(" · ");
    // The last column left free: writing into it makes some terminals wrap.
    const int room = columns - 1;
    const auto filesText = [&](const QStringList &names) {
        QStringList entries;
        for (qsizetype i = 0; i < files.size(); ++i)
            entries << names.at(i) + u' ' + files.at(i).progress;
        return entries.join(between);
    };

    const QString head = figures.join(gap);
    if (!files.isEmpty()) {
        QStringList names;
        int fixed = terminalColumns(head + gap) +
                    terminalColumns(between) * static_cast<int>(files.size() - 1);
        int widest = 0;
        for (const FileProgress &file : files) {
            names << file.name;
            fixed += terminalColumns(u' ' + file.progress);
            widest = std::max(widest, terminalColumns(file.name));
        }
        // The widest that every name may take for all of them to fit.
        for (int each = widest; each >= LeastNameColumns; --each) {
            int used = fixed;
            for (const QString &name : std::as_const(names))
                used += std::min(each, terminalColumns(name));
            if (used > room)
                continue;
            for (QString &name : names)
                name = elidedName(name, each);
            return head + gap + filesText(names);
        }
    }
    while (terminalColumns(figures.join(gap)) > room && figures.size() > 1)
        figures.removeLast();
    return cut(figures.join(gap), room);
}
