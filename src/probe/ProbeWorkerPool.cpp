#include "probe/ProbeWorkerPool.h"

#include "domain/FileUrls.h"
#include "probe/ProbeTrace.h"
#include "probe/VideoProbe.h"
#include "process/ProcessRunner.h"

#include <QFile>
#include <QThread>

#include <algorithm>

ProbeRequest::ProbeRequest(const QUrl &url, QObject *parent)
    : QObject(parent)
    , m_url(url)
{}

ProbeWorkerPool::ProbeWorkerPool(ToolLocator tools, QObject *parent)
    : QObject(parent)
    , m_tools(std::move(tools))
    , m_workerLimit(std::max(1, QThread::idealThreadCount()))
    , m_timeLimit(VideoProbe::TimeLimit)
{
    m_dispatchTimer.setSingleShot(true);
    m_dispatchTimer.setInterval(0);
    connect(&m_dispatchTimer, &QTimer::timeout, this, &ProbeWorkerPool::dispatch);
    m_idleTimer.setSingleShot(true);
    m_idleTimer.setInterval(IdleTime);
    connect(&m_idleTimer, &QTimer::timeout, this, &ProbeWorkerPool::retireIdleWorkers);
}

ProbeWorkerPool::~ProbeWorkerPool()
{
    // Each runner stops its worker as it goes; none may report to a pool half gone.
    for (const std::unique_ptr<Worker> &worker : m_workers) {
        worker->runner->disconnect(this);
        delete worker->runner;
    }
}

QString ProbeWorkerPool::workerName()
{
    return QStringLiteral("quillmere-probe");
}

ProbeRequest *ProbeWorkerPool::probe(const QUrl &url)
{
    auto *request = new ProbeRequest(url, this);
    const std::optional<QString> program = m_tools.find(workerName());
    if (!program || m_unusable.contains(*program)) {
        runFFprobe(request);
        return request;
    }
    request->m_program = *program;
    request->m_trace << ProbeTrace::starting(filePath(url)) << ProbeTrace::toolPath(*program);
    m_waiting.enqueue(request);
    m_idleTimer.stop();
    m_dispatchTimer.start();
    return request;
}

// Hands waiting files to idle workers, starting workers up to the limit.
void ProbeWorkerPool::dispatch()
{
    while (!m_waiting.isEmpty()) {
        ProbeRequest *request = m_waiting.head();
        if (!request || m_unusable.contains(request->m_program)) {
            m_waiting.dequeue();
            if (request)
                runFFprobe(request);
            continue;
        }
        Worker *worker = idleWorker(request->m_program);
        if (!worker) {
            const auto working = std::count_if(m_workers.begin(), m_workers.end(),
                                               [](const auto &w) { return !w->stopping; });
            if (working >= m_workerLimit)
                return;
            worker = startWorker(request->m_program);
        }
        m_waiting.dequeue();
        worker->busy = true;
        worker->request = request;
        request->m_trace << ProbeTrace::running();
        worker->runner->write(QFile::encodeName(filePath(request->url())).toPercentEncoding() +
                              '\n');
        worker->timeLimit.start(m_timeLimit);
    }
    if (std::none_of(m_workers.begin(), m_workers.end(), [](const auto &w) { return w->busy; }))
        m_idleTimer.start();
}

ProbeWorkerPool::Worker *ProbeWorkerPool::idleWorker(const QString &program)
{
    for (const std::unique_ptr<Worker> &worker : m_workers) {
        if (worker->busy || worker->stopping)
            continue;
        if (worker->program == program)
            return worker.get();
        retire(*worker); // the program has moved since it started
    }
    return nullptr;
}

ProbeWorkerPool::Worker *ProbeWorkerPool::startWorker(const QString &program)
{
    Worker *worker = m_workers.emplace_back(std::make_unique<Worker>()).get();
    worker->program = program;
    worker->runner = new ProcessRunner(this);
    ProcessRunner *runner = worker->runner;
    runner->setWritableStandardInput(true);
    runner->setStandardOutput(ProcessRunner::Output::Lines);
    runner->setStandardError(ProcessRunner::Output::Discard);
    runner->setCollectLimit(VideoProbe::OutputLimit);
    worker->timeLimit.setSingleShot(true);
    connect(&worker->timeLimit, &QTimer::timeout, this, [worker] {
        worker->timedOut = true;
        worker->runner->stop(std::chrono::milliseconds(500));
    });
    connect(runner, &ProcessRunner::standardOutputLine, this,
            [this, worker](const QByteArray &line) { onAnswer(worker, line); });
    connect(runner, &ProcessRunner::finished, this, [this, worker](int exitStatus, bool crashed) {
        const bool stopped = worker->stopping || worker->timedOut || worker->runner->overflowed();
        if (!crashed && !stopped && worker->answered == 0)
            return giveUp(worker);
        const QString name = workerName();
        QString why;
        if (worker->timedOut)
            why = ProbeTrace::tooSlow(worker->program, m_timeLimit);
        else if (worker->runner->overflowed())
            why = ProbeTrace::tooMuchOutput(worker->program);
        else if (crashed)
            why = QStringLiteral("%1 读取此文件时崩溃（信号 %2）").arg(name).arg(exitStatus);
        else
            why = QStringLiteral("%1 意外退出，退出代码 %2").arg(name).arg(exitStatus);
        if (ProbeRequest *request = endWorker(worker)) {
            QStringList trace = request->m_trace + ProbeTrace::ended(exitStatus);
            Q_EMIT request->finished(ProbeTrace::failure(std::move(trace), why));
        }
    });
    // Queued: a start that fails at once must not end the worker before it is handed a file.
    connect(
        runner, &ProcessRunner::failedToStart, this, [this, worker] { giveUp(worker); },
        Qt::QueuedConnection);
    runner->start(program, {});
    return worker;
}

void ProbeWorkerPool::onAnswer(Worker *worker, const QByteArray &line)
{
    // The unended rest of what a worker wrote before it died is no answer.
    if (!worker->runner->isRunning())
        return;
    if (!worker->busy) {
        retire(*worker); // out of step with its requests
        return;
    }
    worker->timeLimit.stop();
    worker->busy = false;
    const QPointer<ProbeRequest> request = std::move(worker->request);
    if (++worker->answered >= FilesPerWorker)
        retire(*worker);
    m_dispatchTimer.start();
    if (!request)
        return; // given up meanwhile
    const QUrl &url = request->url();
    ProbeOutcome outcome = interpretProbeOutput(line, url, fileFactsAt(filePath(url)));
    outcome.trace = request->m_trace + ProbeTrace::ended(0) + outcome.trace;
    Q_EMIT request->finished(outcome);
}

ProbeRequest *ProbeWorkerPool::endWorker(Worker *worker)
{
    const auto found = std::find_if(m_workers.begin(), m_workers.end(),
                                    [worker](const auto &w) { return w.get() == worker; });
    if (found == m_workers.end())
        return nullptr;
    const std::unique_ptr<Worker> ended = std::move(*found);
    m_workers.erase(found);
    ended->runner->disconnect(this);
    ended->runner->deleteLater();
    m_dispatchTimer.start();
    return ended->busy ? ended->request.data() : nullptr;
}

// A program that cannot start, or ends before its first answer without crashing, is no worker:
// its file and all that follow go to ffprobe.
void ProbeWorkerPool::giveUp(Worker *worker)
{
    m_unusable.insert(worker->program);
    if (ProbeRequest *request = endWorker(worker))
        runFFprobe(request);
}

void ProbeWorkerPool::runFFprobe(ProbeRequest *request)
{
    auto *probe = new VideoProbe(m_tools, request);
    probe->setTimeLimit(m_timeLimit);
    connect(probe, &VideoProbe::finished, request, &ProbeRequest::finished);
    probe->getVideoInfo(request->url());
}

void ProbeWorkerPool::retire(Worker &worker)
{
    worker.stopping = true;
    worker.runner->stop(std::chrono::milliseconds(500));
}

void ProbeWorkerPool::retireIdleWorkers()
{
    m_unusable.clear(); // may have been mended meanwhile
    for (const std::unique_ptr<Worker> &worker : m_workers) {
        if (!worker->busy)
            retire(*worker);
    }
}
