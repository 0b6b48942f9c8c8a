#pragma once

#include <QString>

#include <optional>

#include "domain/TranscodeSettings.h"
#include "domain/VideoFile.h"

// A placed result carries the settings that made it, with its size and date then, in an
// extended attribute where the file system keeps them. A resumed run in replace mode knows a
// source it has already converted by it, and a file changed since has lost it.
namespace ResultMark {

// The settings as a result records them: what ffmpeg was told, whatever the texts chosen.
QString settingsText(const TranscodeSettings &settings);

// Marks the open file `descriptor` as made with `settings`; false where it cannot be marked.
bool mark(int descriptor, const QString &settings);
// The same mark for an unfinished file, so that a run stopped by force can tell its own
// leftover from a file that only bears the same name.
bool markUnfinished(int descriptor);
bool isUnfinished(int descriptor);
void clearUnfinished(int descriptor);

// Whether the file at `path` is, unchanged, a result made with `settings`.
bool isResult(const QString &path, const QString &settings);

// Which source a result beside others was made from (`key`: its path, or its path below the
// folder named to the command line, so that hosts mounting the tree elsewhere agree), with the
// source's size and date then: a later run (another shard, a resume) never takes the result for
// another file's, nor for that of a source changed since.
QByteArray sourceMarkOf(const VideoFile &source, const QString &key);
bool markSource(int descriptor, const QByteArray &mark);
// The mark of the file at `path`, not following a link: empty where there is none, nothing
// where its file system keeps no marks.
std::optional<QByteArray> sourceMarkAt(const QString &path);

} // namespace ResultMark
