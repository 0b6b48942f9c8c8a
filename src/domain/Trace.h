#pragma once

#include <QString>

#include <functional>

// Where the diagnostic trace goes: one call per line, without the line end.
using TraceWriter = std::function<void(const QString &line)>;

// A text as a terminal may safely show it: line breaks as "\n" and "\r", a tab as "\t", any
// other control character as "\xHH", so a file name can neither split a line nor steer the
// terminal.
QString escapeControlCharacters(const QString &text);

// One line on standard output or standard error, UTF-8, escaped and flushed at once. A closed
// stream is not an error: the line is lost, the program goes on.
void writeTraceToStandardOutput(const QString &line);
void writeLineToStandardError(const QString &line);
