#pragma once

#include <QByteArray>
#include <QString>

// Standard output carries data only (the plan, the listing, the arguments, JSON Lines), written
// as it is: a file name quoted in the plan must stay that name, so nothing is escaped. Flushed
// at once; a reader that went away costs the data, not the run.
void writeData(const QByteArray &bytes);
void writeDataLine(const QString &line);
