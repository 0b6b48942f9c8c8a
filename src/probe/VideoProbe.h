#pragma once

#include <QObject>
#include <QTimer>
#include <QUrl>

#include <chrono>

#include "probe/ProbeOutput.h"
#include "process/ToolLocator.h"

class ProcessRunner;

// Runs ffprobe on one file without blocking the event loop and reads its JSON into a record.
// The trace lines are handed back with the result, so the caller can keep each file's lines
// together. A probe that writes without end or never ends fails the file instead of holding
// up the rest.
class VideoProbe : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 OutputLimit = 32 * 1024 * 1024;
    static constexpr std::chrono::seconds TimeLimit{60};

    explicit VideoProbe(ToolLocator tools, QObject *parent = nullptr);
    ~VideoProbe() override;

    // `finished` follows, never before this returns. Use one probe per file.
    void getVideoInfo(const QUrl &url);

    void setTimeLimit(std::chrono::milliseconds limit) { m_timeLimit.setInterval(limit); }
    // Descriptors of ours that ffprobe inherits, for a file named by one.
    void setInheritedDescriptors(const QList<int> &descriptors) { m_inherited = descriptors; }
    // Reads every packet of the file and counts them, rather than its header alone.
    void setReadToEnd(bool readToEnd) { m_readToEnd = readToEnd; }

Q_SIGNALS:
    void finished(const ProbeOutcome &outcome);

private:
    void onExit(int exitStatus);
    void finish(std::optional<VideoFile> file = std::nullopt, const QString &failure = {});

    ToolLocator m_tools;
    QUrl m_url;
    QString m_program;
    QStringList m_trace;
    ProcessRunner *m_runner = nullptr;
    QTimer m_timeLimit;
    bool m_timedOut = false;
    bool m_readToEnd = false;
    QList<int> m_inherited;
};
