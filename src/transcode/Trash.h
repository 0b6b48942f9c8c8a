#pragma once

#include <QString>

#include "domain/Error.h"

// Moves `path` to the desktop Trash the way file managers do (the freedesktop.org layout), so
// it can be restored from there, and gives the file's path inside the Trash. Nothing already
// in the Trash is ever replaced. Qt's own version of this falls back to the current folder
// when the home Trash cannot be made, so it is not used.
Result<QString> moveToTrash(const QString &path);

// Puts a file moved to the Trash back where it was and forgets it there.
bool restoreFromTrash(const QString &trashedPath, const QString &originalPath);

// Renames `from` to `to` only if nothing is at `to`.
bool renameWithoutReplacing(const QString &from, const QString &to);
