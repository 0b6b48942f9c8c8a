#include "model/Trace.h"

#include <cstdio>

void writeTraceToStandardOutput(const QString &line)
{
    // A file name may hold a line break; it must not split its message in two.
    QByteArray bytes = line.toUtf8();
    bytes.replace('\n', "\\n").replace('\r', "\\r");
    bytes += '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}
