#pragma once

#include <QFileInfoList>
#include <QList>
#include <QObject>
#include <QQueue>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <deque>
#include <optional>

#include "probe/ProbeOutput.h"

class TranscodeViewModel;
class VideoProbe;

// Takes dropped and chosen files and folders into the model's list: folders are searched,
// files filtered by extension, duplicates rejected, the rest probed and appended, in the order
// given. Works in small steps on the event loop, so the window never waits for ffprobe or for
// a large folder.
//
// Several ffprobes run at once, ahead of the file whose turn it is; yet every file is judged,
// appended and traced at its turn, exactly as if each had been probed only then. So the order
// of the list, the duplicate guarantee and each file's block of trace lines are those of a
// one-at-a-time intake.
class FileIntake : public QObject
{
    Q_OBJECT

public:
    explicit FileIntake(TranscodeViewModel &model);
    ~FileIntake() override;

    void handleDrop(const QList<QUrl> &urls);
    void processSelectedFiles(const QList<QUrl> &urls);
    bool isBusy() const;

    // How many ffprobes may run at once; one per core unless set.
    void setProbeLimit(int limit) { m_probeLimit = std::max(1, limit); }

Q_SIGNALS:
    // Everything queued has been taken in or rejected.
    void finished();

private:
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
        VideoProbe *probe = nullptr;
        std::optional<ProbeOutcome> outcome;
    };

    void loadDroppedItem(const QUrl &url);
    void scheduleWork();
    void work();
    bool walk();
    void processPath(const Request &request);
    void scanNextEntry();
    // Queues the folder's entries for the scan; gives the warnings its listing calls for.
    QStringList enterFolder(const QString &path);
    void addLines(const QStringList &lines);
    void addFile(const QStringList &lines, const QUrl &url);
    void startProbes();
    void startProbe(Step &step);
    void commitReadySteps();
    bool isListed(const QUrl &url) const;

    TranscodeViewModel &m_model;
    QQueue<Request> m_requests;
    int m_pendingLoads = 0;
    std::optional<FolderScan> m_scan;
    std::deque<Step> m_steps;
    int m_probesRunning = 0;
    int m_probeLimit;
    QTimer m_workTimer;
    bool m_wasBusy = false;
};
