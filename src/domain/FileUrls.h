#pragma once

#include <QString>
#include <QUrl>

// How the trace and the rules read a file URL.

// The plain file-system path, without a trailing "/" (except for the root).
QString filePath(const QUrl &url);
// The last component of the path, with its extension; a folder's own name.
QString lastPathComponent(const QUrl &url);
// The text after the last dot of the last component, as written (not lower-cased).
QString pathExtension(const QUrl &url);
// The URL itself says it is a folder: its path ends with "/". The disk is not asked.
bool hasDirectoryPath(const QUrl &url);
