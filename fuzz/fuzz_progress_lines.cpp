// ffmpeg's "-progress" output for one file, line by line as the conversion reads it.

#include "transcode/ProgressParser.h"

#include <QByteArrayList>
#include <QString>

#include <cstddef>
#include <cstdint>

// The first line is the file's duration in seconds, any double ffprobe might have led to or
// not ("0", "-3", "nan", "1e308"); every further line goes to the parser.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QByteArrayList lines = input.split('\n');
    const double duration = QString::fromUtf8(lines.constFirst()).toDouble();
    ProgressParser parser;
    for (qsizetype i = 1; i < lines.size(); ++i)
        parser.parseProgressLine(QString::fromUtf8(lines[i]), duration);
    return 0;
}
