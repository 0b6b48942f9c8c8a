#include "cli/StandardOutput.h"

#include <cstdio>

void writeData(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
    std::clearerr(stdout);
}

void writeDataLine(const QString &line)
{
    writeData(line.toUtf8() + '\n');
}
