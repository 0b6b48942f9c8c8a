#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

#include "domain/VideoFile.h"

// What one probe found, and the trace lines that tell how. Without a file, `failure` says
// why in a few words.
struct ProbeOutcome
{
    std::optional<VideoFile> file;
    QStringList trace;
    QString failure;
};

// What the file system says of a file, beside what ffprobe says.
struct FileFacts
{
    qint64 size = 0;
    FileKey key;
    qint64 modifiedTime = 0; // nanoseconds since the epoch
    int readError = 0;       // why we may not read it (errno), 0 when we may
};

// Size, date and identity of the file at `path`, following symbolic links; zeros when unreadable.
FileFacts fileFactsAt(const QString &path);

// ffprobe's arguments for a JSON description of the container and streams of `path`; with
// `readToEnd`, every packet read and counted as well ("nb_read_packets").
QStringList probeArguments(const QString &path, bool readToEnd = false);

// Reads ffprobe's JSON description of `url` into a record, from the output-length line of the
// trace onwards.
ProbeOutcome interpretProbeOutput(const QByteArray &output, const QUrl &url,
                                  const FileFacts &onDisk);

// "30000/1001" reads "29.97"; anything but two numbers with a positive divisor stays as it is.
QString formatFrameRate(const QString &rFrameRate);

// Bits per sample as ffprobe states it, else as the pixel format name implies, else 8.
int bitDepthOf(const QJsonValue &bitsPerRawSample, const QString &pixelFormat);

// The shortest decimal text that reads back to `seconds`, keeping ".0" on whole numbers.
QString shortestDecimal(double seconds);

// A file size the way a file manager shows it ("12.3 MB").
QString fileSizeText(qint64 bytes);
