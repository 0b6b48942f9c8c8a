#pragma once

#include <QString>
#include <QStringList>

// A command line as a POSIX shell reads it: pasted into bash, it runs `program` with exactly
// these arguments. Plain words stay bare; anything else is single-quoted.
QString shellQuoted(const QString &argument);
QString commandText(const QString &program, const QStringList &arguments);
