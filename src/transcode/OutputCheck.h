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
// Then it must have a video stream, the planned audio tracks (each as long as the source's
// where both tell), the source's picture shape within 1% and the source's duration within
// max(1 s, 2%); with the source's frame rate kept, its frames. An output whose length cannot be
// established fails. A source whose header does not tell its length (a recording streamed to disk)
// is read to its end to learn it.
class OutputCheck : public QObject
{
    Q_OBJECT

public:
    // The files to look at, and descriptors of ours the tools must inherit to open them.
    struct Files
    {
        QString output;
        QString source;
        QList<int> descriptors;
    };

    explicit OutputCheck(ToolLocator tools, QObject *parent = nullptr);
    // `passed` or `failed` follows, never before this returns.
    void check(const Files &files, const OutputPromise &promise);

    // What is wrong with `result`, read to its end, as what `promise` says, if anything.
    static std::optional<QString> problemWith(const VideoFile &result,
                                              const OutputPromise &promise);

Q_SIGNALS:
    void passed(const VideoFile &result);
    void failed(const QString &why);

private:
    void measureSource();
    void checkOutput();

    ToolLocator m_tools;
    Files m_files;
    OutputPromise m_promise;
    QPointer<VideoProbe> m_probe;
    QPointer<ProcessRunner> m_runner;
};
