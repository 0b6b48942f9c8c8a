#pragma once

#include <QHashFunctions>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QStringList>
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

// A ratio as a container writes it ("30000/1001", "10:11"); zero where it is not recorded.
struct Ratio
{
    qint64 num = 0;
    qint64 den = 0;

    bool isKnown() const { return num > 0 && den > 0; }
    double value() const { return isKnown() ? double(num) / double(den) : 0.0; }
    friend bool operator==(const Ratio &, const Ratio &) = default;
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

    // What an editor relinks by and what an output keeps, as the container records it.
    Ratio sampleAspect;          // the pixel shape of the stored picture; unknown: square
    Ratio baseFrameRate;         // "r_frame_rate"
    Ratio averageFrameRate;      // "avg_frame_rate"
    qint64 frameCount = -1;      // the video's frames as the container counts them
    qint64 packetsRead = -1;     // video packets read to the end of the file, where counted
    double videoDuration = 0;    // the video stream's own length; 0 when unknown
    double videoStartOffset = 0; // how much later than the file the video starts, in seconds
    qint64 videoBitsPerSecond = -1;
    QString formatName;          // as ffprobe names it: "mov,mp4,m4a,3gp,3g2,mj2"
    QMap<QString, QString> tags; // the container's global tags
    QString timecode;            // the start timecode, "01:00:00:00"
    QString colorRange;
    QString colorSpace;
    QString colorTransfer;
    QString colorPrimaries;
    QStringList audioLayouts;         // each audio track's channel layout ("5.1"), or "6 channels"
    QList<int> audioChannels;         // each audio track's channels; 0 where unknown
    QList<qint64> audioBitsPerSecond; // each audio track's rate; -1 where unknown
    QList<double> audioDurations;     // each audio track's own length; 0 when unknown

    // The size the picture is shown at, rotation applied.
    int shownWidth() const { return rotation % 180 == 0 ? width : height; }
    int shownHeight() const { return rotation % 180 == 0 ? height : width; }

    friend bool operator==(const VideoFile &, const VideoFile &) = default;
};

Q_DECLARE_METATYPE(VideoFile)
