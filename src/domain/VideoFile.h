#pragma once

#include <QHashFunctions>
#include <QMetaType>
#include <QString>
#include <QUrl>
#include <QUuid>

// Which file on disk, whatever the path that names it: two spellings of one file (a symbolic
// link, "..", a bind mount) have the same key.
struct FileKey
{
    quint64 device = 0;
    quint64 inode = 0;

    bool isValid() const { return device != 0 || inode != 0; }
    friend bool operator==(const FileKey &, const FileKey &) = default;
    friend size_t qHash(const FileKey &key, size_t seed = 0) noexcept
    {
        return qHashMulti(seed, key.device, key.inode);
    }
};

// One listed input video. Only the probe creates it; its texts are display texts, the rest
// is what the run needs to know about the media.
struct VideoFile
{
    QUuid id;
    QUrl url;
    QString name;
    QString resolution;
    QString frameRate;
    QString bitrate;
    QString codec;
    QString colorFormat;
    QString bitDepth;
    bool hasAlpha = false;
    double duration = 0;
    qint64 size = 0;

    // The first video stream as stored, before any rotation the player applies.
    int width = 0;
    int height = 0;
    int rotation = 0; // degrees
    int bitsPerSample = 8;
    qint64 bitsPerSecond = -1; // the container's, -1 when unknown
    int videoStreams = 0;
    int audioStreams = 0;
    int otherStreams = 0; // subtitles, data, attachments
    // Apple's ProRes 4444: the codec tag ap4h and a format name holding "4444".
    bool isProRes4444 = false;
    FileKey fileKey;
    // When the file was last written, in nanoseconds since the epoch, as probed: with
    // `fileKey` and `size`, what the run checks before it touches the file.
    qint64 modifiedTime = 0;

    // The size the picture is shown at, rotation applied.
    int shownWidth() const { return rotation % 180 == 0 ? width : height; }
    int shownHeight() const { return rotation % 180 == 0 ? height : width; }

    friend bool operator==(const VideoFile &, const VideoFile &) = default;
};

Q_DECLARE_METATYPE(VideoFile)
