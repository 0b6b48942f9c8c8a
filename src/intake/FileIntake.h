#pragma once

#include <QElapsedTimer>
#include <QFileInfoList>
#include <QHash>
#include <QList>
#include <QObject>
#include <QQueue>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <deque>
#include <optional>

#include "domain/Trace.h"
#include "intake/ListedFiles.h"
#include "probe/ProbeOutput.h"
#include "probe/ProbeWorkerPool.h"
#include "process/ToolLocator.h"

// Takes dropped and chosen files and folders in: folders are searched, files filtered by
// extension, duplicates rejected, the rest probed and handed out, in the order given. Works in
// small steps on the event loop, so the window never waits for ffprobe or for a large folder.
// It judges duplicates against the list it is given, which the receiver of `videoFileAdded`
// appends to at once.
//
// Several probes run at once, ahead of the file whose turn it is; yet every file is judged,
// appended and traced at its turn, exactly as if each had been probed only then. So the order
// of the list, the duplicate guarantee and each file's block of trace lines are those of a
// one-at-a-time intake.
class FileIntake : public QObject
{
    Q_OBJECT

public:
    FileIntake(ToolLocator tools, TraceWriter trace, const ListedFiles &listed,
               QObject *parent = nullptr);
    ~FileIntake() override;

    void handleDrop(const QList<QUrl> &urls);
    void processSelectedFiles(const QList<QUrl> &urls);
    bool isBusy() const;

    // How many files may be probed at once; one per core unless set.
    void setProbeLimit(int limit);
    // How long one file's probe may take before it fails.
    void setProbeTimeLimit(std::chrono::milliseconds limit) { m_probes.setTimeLimit(limit); }

Q_SIGNALS:
    void videoFileAdded(const VideoFile &file);
    // A file or folder that was asked for but could not be added, and why.
    void fileRejected(const QString &path, const QString &reason);
    void fileAlreadyListed(const QString &path);
    // Everything queued has been taken in or rejected.
    void finished();

private:
    // How long one pass of the event loop may work, and how long files ready after a probe
    // wait for others to be handed out with them.
    static constexpr int SliceMilliseconds = 10;
    static constexpr int BatchMilliseconds = 10;

    struct Request
    {
        QUrl url;
        bool dropped = false;
    };
    struct FolderScan
    {
        int found = 0;
        QList<QFileInfoList> pending; // depth first: the innermost folder's rest last
    };
    // What the walk through the requests has found, waiting for its turn: trace lines, or a
    // file with the lines that led to it and, perhaps already, its probe.
    struct Step
    {
        QStringList lines;
        QUrl file; // empty for lines alone
        FileKey key;
        ProbeRequest *probe = nullptr;
        std::optional<ProbeOutcome> outcome;
        // For lines alone: what was asked for and could not be added, and why.
        QList<std::pair<QString, QString>> rejections;
    };

    void loadDroppedItem(const QUrl &url);
    void scheduleWork();
    void work();
    bool walkAhead(const QElapsedTimer &slice);
    bool walk();
    void processPath(const Request &request);
    void scanNextEntry();
    // Queues the folder's entries for the scan; adds the lines and rejections its listing
    // calls for.
    void enterFolder(const QString &path, QStringList &lines,
                     QList<std::pair<QString, QString>> &rejections);
    void addLines(const QStringList &lines,
                  const QList<std::pair<QString, QString>> &rejections = {});
    // `key`: the file's identity, as found when it was judged.
    void addFile(const QStringList &lines, const QUrl &url, const FileKey &key);
    void startProbes();
    void startProbe(Step &step);
    bool commitReadySteps(const QElapsedTimer &slice);
    void popStep();
    void trace(const QStringList &lines) const;

    TraceWriter m_trace;
    const ListedFiles &m_listed;
    QQueue<Request> m_requests;
    int m_pendingLoads = 0;
    std::optional<FolderScan> m_scan;
    std::deque<Step> m_steps;
    // The steps in front that startProbes has looked at, and how many of them name each file.
    std::size_t m_examined = 0;
    QHash<QUrl, int> m_examinedFiles;
    int m_probesRunning = 0;
    int m_probeLimit;
    ProbeWorkerPool m_probes;
    QTimer m_workTimer;
    bool m_wasBusy = false;
};
