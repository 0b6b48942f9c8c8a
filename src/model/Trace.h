#pragma once

#include <QString>

#include <functional>

// Where the diagnostic trace goes: one call per line, without the line end.
using TraceWriter = std::function<void(const QString &line)>;

// The trace of both programs: standard output, UTF-8, flushed line by line; a line break
// inside a message is written as "\n".
void writeTraceToStandardOutput(const QString &line);
