#include "intake/FileIntake.h"

#include "domain/Choices.h"
#include "domain/FileUrls.h"
#include "intake/ExactNames.h"
#include "intake/FolderListing.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <sys/stat.h>

namespace {

// Swift's way of writing a list of texts: ["a", "b"].
QString quotedList(const QStringList &texts)
{
    QStringList quoted;
    for (const QString &text : texts)
        quoted << QLatin1Char('"') + text + QLatin1Char('"');
    return QLatin1Char('[') + quoted.join(QStringLiteral(", ")) + QLatin1Char(']');
}

const QString &supportedExtensionsText()
{
    static const QString text = quotedList(Choices::videoExtensions());
    return text;
}

bool isVideoExtension(const QString &extension)
{
    return Choices::videoExtensions().contains(extension.toLower());
}

// A folder a run of ours made ("已转码_" and a codec): its videos are results, not sources.
bool isOutputFolderName(const QString &name)
{
    return name.startsWith(OutputFolderPrefix) &&
           Choices::codecs().contains(name.mid(OutputFolderPrefix.size()));
}

bool isReadableFolder(const QString &path)
{
    const QFileInfo info(path);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

const QString &undecodableNameText()
{
    static const QString text = QStringLiteral("文件名不是有效的 UTF-8，无法准确处理");
    return text;
}

QString unreadableFolderText(const QString &path)
{
    return QStringLiteral("文件夹“%1”无法读取（不存在或没有权限）").arg(path);
}

} // namespace

FileIntake::FileIntake(ToolLocator tools, TraceWriter trace, const ListedFiles &listed,
                       QObject *parent)
    : QObject(parent)
    , m_trace(std::move(trace))
    , m_listed(listed)
    , m_probeLimit(std::max(1, QThread::idealThreadCount()))
    , m_probes(std::move(tools))
{
    m_probes.setWorkerLimit(m_probeLimit);
    m_workTimer.setSingleShot(true);
    m_workTimer.setInterval(0);
    connect(&m_workTimer, &QTimer::timeout, this, &FileIntake::work);
}

FileIntake::~FileIntake()
{
    // Probes still under way are given up.
    for (Step &step : m_steps)
        delete step.probe;
}

void FileIntake::setProbeLimit(int limit)
{
    m_probeLimit = std::max(1, limit);
    m_probes.setWorkerLimit(m_probeLimit);
}

bool FileIntake::isBusy() const
{
    return m_pendingLoads > 0 || !m_requests.isEmpty() || m_scan || !m_steps.empty();
}

void FileIntake::trace(const QStringList &lines) const
{
    for (const QString &line : lines)
        m_trace(line);
}

void FileIntake::handleDrop(const QList<QUrl> &urls)
{
    m_trace(QStringLiteral("🔍 [DEBUG] 开始处理拖放文件，提供者数量: %1").arg(urls.size()));
    int counter = 0;
    for (const QUrl &url : urls) {
        m_trace(QStringLiteral("🔍 [DEBUG] 处理第 %1 个提供者").arg(++counter));
        const bool isFileUrl = url.isLocalFile();
        m_trace(QStringLiteral("🔍 [DEBUG] 提供者支持的类型: ") +
                quotedList({isFileUrl ? QStringLiteral("public.file-url")
                                      : QStringLiteral("public.url")}));
        if (!isFileUrl) {
            m_trace(QStringLiteral("⚠️ [WARNING] 提供者不支持文件URL类型"));
            Q_EMIT fileRejected(url.toDisplayString(), QStringLiteral("不是本地文件"));
            continue;
        }
        m_trace(QStringLiteral("🔍 [DEBUG] 提供者支持文件URL类型"));
        // Dropped items arrive a moment after the drop itself, as they do from a file manager.
        ++m_pendingLoads;
        QTimer::singleShot(0, this, [this, url] { loadDroppedItem(url); });
    }
}

void FileIntake::loadDroppedItem(const QUrl &url)
{
    --m_pendingLoads;
    m_trace(QStringLiteral("🔍 [DEBUG] 成功加载项目，类型: Optional<NSSecureCoding>"));
    m_trace(QStringLiteral("✅ [SUCCESS] 成功获取文件URL: ") + filePath(url));
    m_requests.enqueue({url, true});
    scheduleWork();
}

void FileIntake::processSelectedFiles(const QList<QUrl> &urls)
{
    m_trace(QStringLiteral("开始处理选择的文件..."));
    for (const QUrl &url : urls)
        m_requests.enqueue({url, false});
    scheduleWork();
}

void FileIntake::scheduleWork()
{
    m_wasBusy = true;
    m_workTimer.start(0);
}

// Walks on and gives ready steps their turn, in slices, so that the event loop is never held
// long, neither by a folder of many entries nor by many files ready at once.
void FileIntake::work()
{
    QElapsedTimer slice;
    slice.start();
    // Steps given their turn make room to walk on.
    std::size_t waiting = 0;
    do {
        if (!walkAhead(slice))
            return scheduleWork();
        waiting = m_steps.size();
        if (!commitReadySteps(slice))
            return scheduleWork();
    } while (m_steps.size() < waiting);
    if (m_wasBusy && !isBusy()) {
        m_wasBusy = false;
        Q_EMIT finished();
    }
}

// Walks while probes are free; false when the slice ran out first.
bool FileIntake::walkAhead(const QElapsedTimer &slice)
{
    while (walk()) {
        if (slice.elapsed() >= SliceMilliseconds)
            return false;
    }
    return true;
}

// Takes one more step of the walk; false when there is nothing to walk or enough is waiting.
bool FileIntake::walk()
{
    // Far enough ahead that every probe has work while the steps in front wait for their
    // turn, not so far that a large folder piles up.
    const std::size_t lookAhead = static_cast<std::size_t>(64 * m_probeLimit + 16);
    if (m_probesRunning >= m_probeLimit || m_steps.size() >= lookAhead)
        return false;
    if (m_scan)
        scanNextEntry();
    else if (!m_requests.isEmpty())
        processPath(m_requests.dequeue());
    else
        return false;
    return true;
}

void FileIntake::processPath(const Request &request)
{
    const QUrl &url = request.url;
    // Qt would name another file, or none, for a name that is not UTF-8.
    if (const QByteArray bytes = ExactNames::pathBytes(url); url.isLocalFile()) {
        const QString why = !ExactNames::isUtf8(bytes) ? undecodableNameText()
                            : ExactNames::mayStandForAnother(bytes)
                                ? QStringLiteral("文件夹中另有一个名称不是有效 UTF-8 "
                                                 "的文件显示为同一个名字，无法确定是哪一个")
                                : QString();
        if (!why.isEmpty()) {
            const QString shown = ExactNames::readable(bytes);
            addLines({QStringLiteral("❌ [ERROR] ") + why + QStringLiteral("，已跳过: ") + shown},
                     {{shown, why}});
            return;
        }
    }
    const bool isFolder = hasDirectoryPath(url);
    const QString extension = pathExtension(url).toLower();
    QStringList lines;
    if (request.dropped)
        lines << QStringLiteral("🔍 [DEBUG] 开始在主线程处理文件: ") + filePath(url);
    lines << QStringLiteral("🔍 [DEBUG] 正在处理: ") + filePath(url)
          << QStringLiteral("🔍 [DEBUG] 文件是否为目录: ") +
                 (isFolder ? QStringLiteral("true") : QStringLiteral("false"))
          << QStringLiteral("🔍 [DEBUG] 文件扩展名: ") + extension
          << QStringLiteral("🔍 [DEBUG] 支持的视频扩展名: ") + supportedExtensionsText();

    const QString path = filePath(url);
    if (isFolder) {
        lines << QStringLiteral("🔍 [DEBUG] 开始处理文件夹");
        if (!isReadableFolder(path)) {
            const QString why = unreadableFolderText(path);
            lines << QStringLiteral("❌ [ERROR] 处理文件夹出错: ") + why;
            addLines(lines, {{path, why}});
        } else {
            m_scan = FolderScan{0, {}};
            QList<std::pair<QString, QString>> rejections;
            enterFolder(path, lines, rejections);
            addLines(lines, rejections);
        }
        return;
    }
    // Judged without opening it: a pipe or a device could block whoever reads it.
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
        lines << QStringLiteral("❌ [ERROR] 文件不存在: ") + path;
        addLines(lines, {{path, QStringLiteral("文件不存在")}});
        return;
    }
    if (!isVideoExtension(extension)) {
        lines << QStringLiteral("⚠️ [WARNING] 不支持的文件类型: ") + extension;
        addLines(lines, {{path, QStringLiteral("不是支持的视频文件类型")}});
        return;
    }
    if (!S_ISREG(status.st_mode)) {
        lines << QStringLiteral("❌ [ERROR] 不是普通文件，已跳过: ") + path;
        addLines(lines, {{path, QStringLiteral("不是普通文件")}});
        return;
    }
    lines << QStringLiteral("🔍 [DEBUG] 识别为支持的视频文件，开始处理");
    addFile(lines, url,
            FileKey{static_cast<quint64>(status.st_dev), static_cast<quint64>(status.st_ino)});
}

void FileIntake::scanNextEntry()
{
    FolderScan &scan = *m_scan;
    while (!scan.pending.isEmpty() && scan.pending.last().isEmpty())
        scan.pending.removeLast();
    if (scan.pending.isEmpty()) {
        addLines(
            {QStringLiteral("🔍 [DEBUG] 文件夹处理完成，共处理 %1 个视频文件").arg(scan.found)});
        m_scan.reset();
        return;
    }

    const QFileInfo entry = scan.pending.last().takeFirst();
    if (entry.isDir()) {
        if (isOutputFolderName(entry.fileName())) {
            addLines({QStringLiteral("🔍 [DEBUG] 跳过转码输出文件夹: ") + entry.filePath()});
            return;
        }
        if (!isReadableFolder(entry.filePath())) {
            // The rest of the folder stays unread; what was added stays.
            const QString why = unreadableFolderText(entry.filePath());
            addLines({QStringLiteral("❌ [ERROR] 处理文件夹出错: ") + why},
                     {{entry.filePath(), why}});
            m_scan.reset();
            return;
        }
        QStringList warnings;
        QList<std::pair<QString, QString>> rejections;
        enterFolder(entry.filePath(), warnings, rejections);
        if (!warnings.isEmpty())
            addLines(warnings, rejections);
        return;
    }
    if (!isVideoExtension(entry.suffix()) || !entry.isFile())
        return;

    const QUrl url = QUrl::fromLocalFile(entry.filePath());
    addFile(
        {QStringLiteral("🔍 [DEBUG] 找到视频文件 %1: ").arg(++scan.found) + lastPathComponent(url)},
        url, fileFactsAt(entry.filePath()).key);
}

void FileIntake::enterFolder(const QString &path, QStringList &lines,
                             QList<std::pair<QString, QString>> &rejections)
{
    FolderListing listing = listFolder(path);
    m_scan->pending.append(std::move(listing.entries));
    // A video or a folder Qt cannot name is named instead of vanishing from the scan.
    for (const QString &name : listing.undecodableNames) {
        if (!name.endsWith(u'/') && !isVideoExtension(name.section(u'.', -1)))
            continue;
        const QString named = QDir(path).filePath(name);
        lines << QStringLiteral("⚠️ [WARNING] ") + undecodableNameText() +
                     QStringLiteral("，已跳过: ") + named;
        rejections.append({named, undecodableNameText()});
    }
}

void FileIntake::addLines(const QStringList &lines,
                          const QList<std::pair<QString, QString>> &rejections)
{
    m_steps.push_back(Step{lines, QUrl(), {}, nullptr, std::nullopt, rejections});
}

void FileIntake::addFile(const QStringList &lines, const QUrl &url, const FileKey &key)
{
    m_steps.push_back(Step{lines, url, key, nullptr, std::nullopt, {}});
    startProbes();
}

// The same URL, or another spelling of the same file.
// Probes files ahead of their turn, in order, as far as the limit allows. A file already
// listed, or waiting earlier in line, is left for its turn to decide. Each step is looked at
// once.
void FileIntake::startProbes()
{
    while (m_examined < m_steps.size() && m_probesRunning < m_probeLimit) {
        Step &step = m_steps[m_examined++];
        if (step.file.isEmpty())
            continue;
        if (!step.probe && !step.outcome && !m_examinedFiles.contains(step.file) &&
            !m_listed.isListed(step.file, step.key))
            startProbe(step);
        ++m_examinedFiles[step.file];
    }
}

void FileIntake::startProbe(Step &step)
{
    ProbeRequest *probe = m_probes.probe(step.file);
    step.probe = probe;
    ++m_probesRunning;
    connect(probe, &ProbeRequest::finished, this, [this, probe](const ProbeOutcome &outcome) {
        --m_probesRunning;
        probe->deleteLater();
        const auto owner = std::find_if(m_steps.begin(), m_steps.end(),
                                        [probe](const Step &step) { return step.probe == probe; });
        if (owner != m_steps.end()) {
            owner->probe = nullptr;
            owner->outcome = outcome;
        }
        // The probes are kept busy at once; the turns wait a moment, so that files ready
        // meanwhile are handed out together.
        startProbes();
        QElapsedTimer slice;
        slice.start();
        walkAhead(slice);
        if (!m_workTimer.isActive())
            m_workTimer.start(BatchMilliseconds);
    });
}

// Gives each step its turn, in order, as long as the one in front is ready: its lines are
// printed, and a file is judged against the list as it stands at its turn. False when the
// slice ran out first.
bool FileIntake::commitReadySteps(const QElapsedTimer &slice)
{
    while (!m_steps.empty()) {
        if (slice.elapsed() >= SliceMilliseconds)
            return false;
        Step &step = m_steps.front();
        if (step.file.isEmpty()) {
            trace(step.lines);
            const auto rejections = std::move(step.rejections);
            popStep();
            for (const auto &[path, reason] : rejections)
                Q_EMIT fileRejected(path, reason);
            continue;
        }
        const QUrl url = step.file;
        const bool duplicate = m_listed.isListed(url, step.key);
        if (!duplicate && !step.outcome) {
            // Not probed ahead (it looked like a duplicate then): probe it now.
            if (!step.probe)
                startProbe(step);
            return true;
        }

        QStringList lines = step.lines;
        lines << QStringLiteral("🔍 [DEBUG] 处理视频文件: ") + filePath(url)
              << QStringLiteral("🔍 [DEBUG] 当前视频列表数量: %1").arg(m_listed.listedCount());
        std::optional<VideoFile> added;
        if (duplicate) {
            lines << QStringLiteral("⚠️ [WARNING] 视频已存在: ") + lastPathComponent(url);
            if (step.probe) {
                // Listed meanwhile: its early probe is of no use.
                --m_probesRunning;
                delete step.probe;
            }
        }
        QString failure;
        if (!duplicate) {
            lines << QStringLiteral("🔍 [DEBUG] 视频文件不在列表中，开始获取视频信息")
                  << step.outcome->trace;
            added = step.outcome->file;
            failure = step.outcome->failure;
        }
        popStep();

        if (added)
            Q_EMIT videoFileAdded(*added);
        if (!duplicate && !added) {
            lines << QStringLiteral("❌ [ERROR] 获取视频信息失败: ") + lastPathComponent(url);
        } else if (added) {
            lines << QStringLiteral("✅ [SUCCESS] 成功添加视频: ") + lastPathComponent(url)
                  << QStringLiteral("🔍 [DEBUG] 视频信息 - 分辨率: ") + added->resolution +
                         QStringLiteral(", 帧率: ") + added->frameRate +
                         QStringLiteral(", 编码: ") + added->codec
                  << QStringLiteral("🔍 [DEBUG] 更新后视频列表数量: %1").arg(m_listed.listedCount());
        }
        trace(lines);
        if (duplicate)
            Q_EMIT fileAlreadyListed(filePath(url));
        else if (!added)
            Q_EMIT fileRejected(filePath(url),
                                failure.isEmpty() ? QStringLiteral("无法读取视频信息") : failure);
    }
    return true;
}

void FileIntake::popStep()
{
    if (m_examined > 0) {
        --m_examined;
        const QUrl &file = m_steps.front().file;
        if (!file.isEmpty() && --m_examinedFiles[file] == 0)
            m_examinedFiles.remove(file);
    }
    m_steps.pop_front();
}
