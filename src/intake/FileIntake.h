#pragma once

#include <QFileInfoList>
#include <QList>
#include <QObject>
#include <QQueue>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <optional>

#include "probe/ProbeOutput.h"

class TranscodeViewModel;
class VideoProbe;

// Takes dropped and chosen files and folders into the model's list: folders are searched,
// files filtered by extension, duplicates rejected, the rest probed and appended, in the order
// given. Works in small steps on the event loop, so the window never waits for ffprobe or for
// a large folder. Each file's trace lines are printed together.
class FileIntake : public QObject
{
    Q_OBJECT

public:
    explicit FileIntake(TranscodeViewModel &model);

    void handleDrop(const QList<QUrl> &urls);
    void processSelectedFiles(const QList<QUrl> &urls);
    bool isBusy() const;

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
        QUrl folder;
        int found = 0;
        QList<QFileInfoList> pending; // depth first: the innermost folder's rest last
    };

    void loadDroppedItem(const QUrl &url);
    void scheduleStep();
    void step();
    void processPath(const Request &request);
    void scanNextEntry();
    void addVideoFile(const QUrl &url);
    void onProbeFinished(const ProbeOutcome &outcome);

    void traceLine(const QString &line);
    void openGroup();
    void closeGroup();

    TranscodeViewModel &m_model;
    QQueue<Request> m_requests;
    int m_pendingLoads = 0;
    std::optional<FolderScan> m_scan;
    VideoProbe *m_probe = nullptr;
    QUrl m_probing;
    bool m_grouping = false;
    QStringList m_group;
    QTimer m_stepTimer;
    bool m_wasBusy = false;
};
