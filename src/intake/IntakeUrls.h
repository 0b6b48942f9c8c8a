#pragma once

#include <QList>
#include <QString>
#include <QUrl>

// Intake tells folders from files by a trailing "/" on the URL's path, as dropped folders come.
// Drops, the file dialog and the command line pass what they get through here first.

// A local URL naming a directory on disk gets the trailing slash; anything else is unchanged.
QUrl markDirectory(const QUrl &url);
QList<QUrl> markDirectories(const QList<QUrl> &urls);

// A path as typed on a command line (see ExactNames): made absolute, then marked. A name that
// is not UTF-8 keeps its bytes in the URL, for intake to refuse by name.
QUrl intakeUrlFromPath(const QString &path);
