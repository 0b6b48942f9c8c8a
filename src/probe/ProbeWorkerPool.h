#pragma once

#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QSet>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <memory>
#include <vector>

#include "probe/ProbeOutput.h"
#include "process/ToolLocator.h"

class ProcessRunner;

// One file's probe, handed out by the pool. Deleting it before it has finished gives it up.
class ProbeRequest : public QObject
{
    Q_OBJECT

public:
    const QUrl &url() const { return m_url; }

Q_SIGNALS:
    void finished(const ProbeOutcome &outcome);

private:
    friend class ProbeWorkerPool;
    ProbeRequest(const QUrl &url, QObject *parent);

    QUrl m_url;
    QString m_program;
    QStringList m_trace;
};

// Probes files with quillmere-probe workers, each taking one file after another, so that a file
// costs no process start; where there is no quillmere-probe, with one ffprobe per file as
// VideoProbe does, as also where quillmere-probe cannot start. A file's outcome and trace lines
// read as they would from its own ffprobe.
//
// Each worker has one file at a time, with the same limits as an ffprobe of its own: one that
// crashes, writes without end or is still busy after the time limit fails that file alone and
// is replaced by a fresh one for the next. A worker is retired after FilesPerWorker files, so
// that what a library keeps between files stays bounded, and when it has been idle a while.
class ProbeWorkerPool : public QObject
{
    Q_OBJECT

public:
    static constexpr int FilesPerWorker = 1000;
    static constexpr std::chrono::seconds IdleTime{10};

    explicit ProbeWorkerPool(ToolLocator tools, QObject *parent = nullptr);
    ~ProbeWorkerPool() override;

    static QString workerName();

    // The request's `finished` follows, never before this returns.
    ProbeRequest *probe(const QUrl &url);

    void setWorkerLimit(int limit) { m_workerLimit = std::max(1, limit); }
    void setTimeLimit(std::chrono::milliseconds limit) { m_timeLimit = limit; }

private:
    struct Worker
    {
        ProcessRunner *runner = nullptr;
        QString program;
        QPointer<ProbeRequest> request; // while busy; null once given up
        bool busy = false;
        bool stopping = false;
        bool timedOut = false;
        int answered = 0;
        QTimer timeLimit;
    };

    void dispatch();
    Worker *idleWorker(const QString &program);
    Worker *startWorker(const QString &program);
    void onAnswer(Worker *worker, const QByteArray &line);
    // Forgets a worker whose process has ended; the file it was busy with, if any.
    ProbeRequest *endWorker(Worker *worker);
    void giveUp(Worker *worker);
    void runFFprobe(ProbeRequest *request);
    void retire(Worker &worker);
    void retireIdleWorkers();

    ToolLocator m_tools;
    int m_workerLimit;
    std::chrono::milliseconds m_timeLimit;
    std::vector<std::unique_ptr<Worker>> m_workers;
    QSet<QString> m_unusable; // programs that proved no worker
    QQueue<QPointer<ProbeRequest>> m_waiting;
    QTimer m_dispatchTimer;
    QTimer m_idleTimer;
};
