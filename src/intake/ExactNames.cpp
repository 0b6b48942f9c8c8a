#include "intake/ExactNames.h"

#include <algorithm>
#include <dirent.h>
#include <iterator>

namespace ExactNames {

namespace {

constexpr char16_t FirstOddByte = 0xDC80;
constexpr char16_t LastOddByte = 0xDCFF;

// The length of the UTF-8 sequence at `at`, or 0 where none starts there: overlong forms,
// surrogates and values past U+10FFFF are no UTF-8 either.
qsizetype sequenceAt(const QByteArray &bytes, qsizetype at)
{
    const auto lead = static_cast<unsigned char>(bytes.at(at));
    if (lead < 0x80)
        return 1;
    struct Form
    {
        unsigned char mask;
        unsigned char lead;
        qsizetype length;
        char32_t least;
    };
    static constexpr Form forms[] = {
        {0xE0, 0xC0, 2, 0x80}, {0xF0, 0xE0, 3, 0x800}, {0xF8, 0xF0, 4, 0x10000}};
    const Form *form = std::find_if(std::begin(forms), std::end(forms),
                                    [lead](const Form &f) { return (lead & f.mask) == f.lead; });
    if (form == std::end(forms))
        return 0;
    const qsizetype length = form->length;
    char32_t value = lead & static_cast<unsigned char>(~form->mask);
    if (at + length > bytes.size())
        return 0;
    for (qsizetype i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(bytes.at(at + i));
        if ((next & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < form->least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    return length;
}

bool isOddByte(QStringView text, qsizetype at)
{
    const char16_t unit = text.at(at).unicode();
    return unit >= FirstOddByte && unit <= LastOddByte &&
           (at == 0 || !text.at(at - 1).isHighSurrogate());
}

} // namespace

QString decode(const QByteArray &bytes)
{
    QString text;
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype length = sequenceAt(bytes, at);
        if (length > 0) {
            text += QString::fromUtf8(bytes.mid(at, length));
            at += length;
        } else {
            text += QChar(static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(bytes.at(at))));
            ++at;
        }
    }
    return text;
}

QByteArray encode(const QString &text)
{
    QByteArray bytes;
    qsizetype start = 0; // of the run of ordinary text not yet encoded
    for (qsizetype at = 0; at < text.size(); ++at) {
        if (!isOddByte(text, at))
            continue;
        bytes += QStringView(text).mid(start, at - start).toUtf8();
        bytes += static_cast<char>(text.at(at).unicode() - 0xDC00);
        start = at + 1;
    }
    return bytes + QStringView(text).mid(start).toUtf8();
}

bool isUtf8(const QByteArray &bytes)
{
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype length = sequenceAt(bytes, at);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

bool holdsOddBytes(const QString &text)
{
    for (qsizetype at = 0; at < text.size(); ++at) {
        if (isOddByte(text, at))
            return true;
    }
    return false;
}

QString readable(const QByteArray &bytes)
{
    const QString text = decode(bytes);
    QString shown;
    for (qsizetype at = 0; at < text.size(); ++at) {
        if (isOddByte(text, at))
            shown += QString::asprintf("\\x%02X", text.at(at).unicode() - 0xDC00);
        else
            shown += text.at(at);
    }
    return shown;
}

QStringList arguments(int argc, const char *const *argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << decode(QByteArray(argv[i]));
    return arguments;
}

QByteArray pathBytes(const QUrl &url)
{
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
}

QUrl fileUrl(const QByteArray &bytes)
{
    return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"));
}

bool mayStandForAnother(const QByteArray &path)
{
    static const QByteArray replacement = QStringLiteral("\uFFFD").toUtf8();
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray name = path.mid(slash + 1);
    if (!name.contains(replacement))
        return false;
    DIR *folder = ::opendir(slash > 0 ? path.left(slash).constData() : "/");
    if (!folder)
        return false;
    const QString shown = QString::fromUtf8(name);
    bool found = false;
    while (const dirent *entry = ::readdir(folder)) {
        const QByteArray other(entry->d_name);
        if (!isUtf8(other) && QString::fromUtf8(other) == shown) {
            found = true;
            break;
        }
    }
    ::closedir(folder);
    return found;
}

} // namespace ExactNames
