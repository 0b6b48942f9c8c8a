#pragma once

#include <QObject>
#include <QPointer>

#include <optional>

#include "domain/VideoFile.h"
#include "process/ToolLocator.h"
#include "transcode/RunPlan.h"

class ProcessRunner;
class VideoProbe;

// Looks at a finished output before it counts. ffprobe reads it to the end: every packet its
// index promises must be there, so a file cut short fails however long its index says it is.
// Then it must have a video stream, the planned audio tracks, the source's picture shape
// within 1% and, where known, the source's duration within max(1 s, 2%); with the source's
// frame rate kept, its frames. An output whose length cannot be established fails. Where the
// source's duration is unknown, a frame of the video must also decode.
class OutputCheck : public QObject
{
    Q_OBJECT

public:
    explicit OutputCheck(ToolLocator tools, QObject *parent = nullptr);
    // `passed` or `failed` follows, never before this returns.
    void check(const QString &path, const OutputPromise &promise);

    // What is wrong with `result`, read to its end, as what `promise` says, if anything.
    static std::optional<QString> problemWith(const VideoFile &result,
                                              const OutputPromise &promise);

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
