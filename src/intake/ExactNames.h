#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

// Qt turns a file name that is not UTF-8 into another name (each odd byte becomes U+FFFD), and
// that name may be another file's. Names are carried exactly instead: a byte that is no part
// of UTF-8 becomes a lone surrogate U+DC80..U+DCFF, which no decoded name holds (Python's way
// too), so that intake can tell such a name and refuse it rather than take another file.
namespace ExactNames {

QString decode(const QByteArray &bytes);
QByteArray encode(const QString &text);
bool isUtf8(const QByteArray &bytes);
// Whether `text` holds bytes that are not UTF-8.
bool holdsOddBytes(const QString &text);
// `bytes` for people: UTF-8 as it is, every other byte as \xNN.
QString readable(const QByteArray &bytes);

// Whether the file at `path` may be named so only because Qt shortened a name that is not
// UTF-8 (a file dialog does): a name in its folder that is not UTF-8 reads as the same text.
bool mayStandForAnother(const QByteArray &path);

// The program's arguments after its name, exactly.
QStringList arguments(int argc, const char *const *argv);

// The local path a file URL names, as bytes, without Qt's lossy decoding.
QByteArray pathBytes(const QUrl &url);
// A file URL for the absolute path `bytes`, however odd.
QUrl fileUrl(const QByteArray &bytes);

} // namespace ExactNames
