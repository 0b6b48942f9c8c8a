#pragma once

#include <QString>
#include <QUrl>

// Where a run puts its outputs and what it calls them.
namespace OutputNaming {

// The longest file name most file systems take, in bytes.
constexpr int NameLimit = 255;
// Output names leave room for the hidden partial name made from them.
constexpr int OutputNameLimit = NameLimit - 9; // "." + name + ".partial"

// The folder "已转码_" + codec beside the first file of the run.
QString outputDirectory(const QUrl &firstFile, const QString &codec);
// "mov" for every ProRes choice, otherwise the container, lower-cased.
QString outputExtension(const QString &codec, const QString &container);
// The file name without its last extension: /A/clip.final.mov gives clip.final.
QString baseName(const QString &fileName);
QString extension(const QString &fileName);
// stem + suffix + "." + extension in at most `limit` bytes of UTF-8, the stem shortened at a
// character boundary where it must be.
QString fittedName(const QString &stem, const QString &suffix, const QString &extension,
                   int limit = OutputNameLimit);
// The hidden name beside `finalPath` that an output is written under until it is complete, in
// at most NameLimit bytes; a `tag` tells apart several for one name.
QString partialPath(const QString &finalPath, const QString &tag = {});

} // namespace OutputNaming
