#pragma once

#include <QSet>
#include <QString>
#include <QUrl>

// Where a run puts its outputs and what it calls them.
namespace OutputNaming {

// The folder "已转码_" + codec beside the first file of the run.
QString outputDirectory(const QUrl &firstFile, const QString &codec);
// "mov" for every ProRes choice, otherwise the container, lower-cased.
QString outputExtension(const QString &codec, const QString &container);
// The file name without its last extension: /A/clip.final.mov gives clip.final.
QString baseName(const QUrl &file);
// `path`, or the first of "name (2).ext", "name (3).ext", ... that is not taken.
QString unclaimedPath(const QString &path, const QSet<QString> &taken);
// A hidden name beside `finalPath` that an output is written under until it is complete.
QString partialPath(const QString &finalPath);

} // namespace OutputNaming
