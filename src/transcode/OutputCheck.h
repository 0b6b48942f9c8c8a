#pragma once

#include <QObject>
#include <QPointer>

#include <optional>

#include "domain/VideoFile.h"
#include "process/ToolLocator.h"

class ProcessRunner;
class VideoProbe;

// Looks at a finished output before it is put in place: ffprobe must see a video stream, the
// planned number of audio tracks and, where both are known, the source's duration within
// max(1 s, 2%). Where the source's duration is unknown, a frame of the video must decode.
class OutputCheck : public QObject
{
    Q_OBJECT

public:
    explicit OutputCheck(ToolLocator tools, QObject *parent = nullptr);
    // `passed` or `failed` follows, never before this returns.
    void check(const QString &path, const VideoFile &source, int expectedAudioStreams);

    // What is wrong with `result` as the conversion of `source`, if anything.
    static std::optional<QString> problemWith(const VideoFile &result, const VideoFile &source,
                                              int expectedAudioStreams);

Q_SIGNALS:
    void passed(const VideoFile &result);
    void failed(const QString &why);

private:
    void checkDecoding(const VideoFile &result);

    ToolLocator m_tools;
    QString m_path;
    QPointer<VideoProbe> m_probe;
    QPointer<ProcessRunner> m_decoder;
};
