#pragma once

#include <QString>

#include "model/Error.h"

// Moves `path` to the desktop Trash the way file managers do (the freedesktop.org layout), so
// it can be restored from there. Gives the file's path inside the Trash. Qt's own version of
// this falls back to the current folder when the home Trash cannot be made, so it is not used.
Result<QString> moveToTrash(const QString &path);
