#pragma once

#include <QString>

#include "domain/Error.h"

// Moves `path` to the desktop Trash the way file managers do (the freedesktop.org layout), so
// it can be restored to `originalPath` (where it was, unless it was moved aside first), and
// gives the file's path inside the Trash. A file on the home file system goes to the home
// Trash; one elsewhere to its volume's own `.Trash/$uid` or `.Trash-$uid`, and only to one
// that is a real folder of ours that nobody else may enter. Where there is none, the file
// stays where it is. Nothing already in the Trash is ever replaced. Qt's own version of this
// falls back to the current folder when the home Trash cannot be made, so it is not used.
Result<QString> moveToTrash(const QString &path, const QString &originalPath = {});

// Puts a file moved to the Trash back at `originalPath` (never over another) and forgets it
// there.
bool restoreFromTrash(const QString &trashedPath, const QString &originalPath);

// Renames `from` to `to` only if nothing is at `to`.
bool renameWithoutReplacing(const QString &from, const QString &to);
