#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// How many columns a terminal gives `text`: East Asian wide characters take two (and so do
// "…" and "·", which some terminals draw wide), combining marks none.
int terminalColumns(const QString &text);

// How wide the terminal on standard error is, if it says.
std::optional<int> standardErrorColumns();

// One file at work on the live line: its name and how far it is.
struct FileProgress
{
    QString name;
    QString progress;
};

// The live progress line in a terminal `columns` wide, on one row: the figures come first,
// most needed first, then the files. When it is too wide the file names are shortened in the
// middle, then left out, then the figures from the last; the first one (the counters) stays.
QString fitLiveLine(QStringList figures, const QList<FileProgress> &files, int columns);
