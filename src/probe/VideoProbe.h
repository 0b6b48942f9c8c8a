#pragma once

#include <QObject>
#include <QUrl>

#include "probe/ProbeOutput.h"
#include "transcode/ToolLocator.h"

class ProcessRunner;

// Runs ffprobe on one file without blocking the event loop and reads its JSON into a record.
// The trace lines are handed back with the result, so the caller can keep each file's lines
// together.
class VideoProbe : public QObject
{
    Q_OBJECT

public:
    explicit VideoProbe(ToolLocator tools, QObject *parent = nullptr);

    // `finished` follows, never before this returns. Use one probe per file.
    void getVideoInfo(const QUrl &url);

Q_SIGNALS:
    void finished(const ProbeOutcome &outcome);

private:
    void finish(std::optional<VideoFile> file = std::nullopt);

    ToolLocator m_tools;
    QUrl m_url;
    QStringList m_trace;
    ProcessRunner *m_runner = nullptr;
};
