#include "intake/FileIntake.h"

#include "intake/NaturalOrder.h"
#include "model/FileUrls.h"
#include "model/TranscodeViewModel.h"
#include "probe/VideoProbe.h"

#include <QDir>
#include <QElapsedTimer>

#include <algorithm>

namespace {

// Swift's way of writing a list of texts: ["a", "b"].
QString quotedList(const QStringList &texts)
{
    QStringList quoted;
    for (const QString &text : texts)
        quoted << QLatin1Char('"') + text + QLatin1Char('"');
    return QLatin1Char('[') + quoted.join(QStringLiteral(", ")) + QLatin1Char(']');
}

const QString &supportedExtensionsText(const TranscodeViewModel &model)
{
    static const QString text = quotedList(model.supportedVideoExtensions());
    return text;
}

// One folder's visible entries, symbolic links left out, in natural name order.
QFileInfoList folderEntries(const QString &path)
{
    QFileInfoList entries = QDir(path).entryInfoList(
        QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::NoSort);
    std::sort(entries.begin(), entries.end(), [](const QFileInfo &a, const QFileInfo &b) {
        return naturalLess(a.fileName(), b.fileName());
    });
    return entries;
}

bool isReadableFolder(const QString &path)
{
    const QFileInfo info(path);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

QString unreadableFolderText(const QString &path)
{
    return QStringLiteral("文件夹“%1”无法读取（不存在或没有权限）").arg(path);
}

} // namespace

FileIntake::FileIntake(TranscodeViewModel &model)
    : QObject(&model)
    , m_model(model)
{
    m_stepTimer.setSingleShot(true);
    m_stepTimer.setInterval(0);
    connect(&m_stepTimer, &QTimer::timeout, this, &FileIntake::step);
}

bool FileIntake::isBusy() const
{
    return m_pendingLoads > 0 || !m_requests.isEmpty() || m_scan || m_probe;
}

void FileIntake::handleDrop(const QList<QUrl> &urls)
{
    m_model.trace(QStringLiteral("🔍 [DEBUG] 开始处理拖放文件，提供者数量: %1").arg(urls.size()));
    int counter = 0;
    for (const QUrl &url : urls) {
        m_model.trace(QStringLiteral("🔍 [DEBUG] 处理第 %1 个提供者").arg(++counter));
        const bool isFileUrl = url.isLocalFile();
        m_model.trace(QStringLiteral("🔍 [DEBUG] 提供者支持的类型: ") +
                      quotedList({isFileUrl ? QStringLiteral("public.file-url")
                                            : QStringLiteral("public.url")}));
        if (!isFileUrl) {
            m_model.trace(QStringLiteral("⚠️ [WARNING] 提供者不支持文件URL类型"));
            continue;
        }
        m_model.trace(QStringLiteral("🔍 [DEBUG] 提供者支持文件URL类型"));
        // Dropped items arrive a moment after the drop itself, as they do from a file manager.
        ++m_pendingLoads;
        QTimer::singleShot(0, this, [this, url] { loadDroppedItem(url); });
    }
}

void FileIntake::loadDroppedItem(const QUrl &url)
{
    --m_pendingLoads;
    m_model.trace(QStringLiteral("🔍 [DEBUG] 成功加载项目，类型: Optional<NSSecureCoding>"));
    m_model.trace(QStringLiteral("✅ [SUCCESS] 成功获取文件URL: ") + filePath(url));
    m_requests.enqueue({url, true});
    scheduleStep();
}

void FileIntake::processSelectedFiles(const QList<QUrl> &urls)
{
    m_model.trace(QStringLiteral("开始处理选择的文件..."));
    for (const QUrl &url : urls)
        m_requests.enqueue({url, false});
    scheduleStep();
}

void FileIntake::scheduleStep()
{
    m_wasBusy = true;
    if (!m_probe)
        m_stepTimer.start();
}

void FileIntake::step()
{
    // Work until a probe is under way, but give the event loop a turn now and then when a
    // folder holds many entries that are not videos.
    QElapsedTimer slice;
    slice.start();
    while (!m_probe) {
        if (m_scan) {
            scanNextEntry();
        } else if (!m_requests.isEmpty()) {
            processPath(m_requests.dequeue());
        } else {
            if (m_wasBusy && !isBusy()) {
                m_wasBusy = false;
                Q_EMIT finished();
            }
            return;
        }
        if (slice.elapsed() >= 10) {
            scheduleStep();
            return;
        }
    }
}

void FileIntake::processPath(const Request &request)
{
    const QUrl &url = request.url;
    const bool isFolder = hasDirectoryPath(url);
    const QString extension = pathExtension(url).toLower();
    if (!isFolder)
        openGroup();
    if (request.dropped)
        traceLine(QStringLiteral("🔍 [DEBUG] 开始在主线程处理文件: ") + filePath(url));
    traceLine(QStringLiteral("🔍 [DEBUG] 正在处理: ") + filePath(url));
    traceLine(QStringLiteral("🔍 [DEBUG] 文件是否为目录: ") +
              (isFolder ? QStringLiteral("true") : QStringLiteral("false")));
    traceLine(QStringLiteral("🔍 [DEBUG] 文件扩展名: ") + extension);
    traceLine(QStringLiteral("🔍 [DEBUG] 支持的视频扩展名: ") + supportedExtensionsText(m_model));

    if (isFolder) {
        traceLine(QStringLiteral("🔍 [DEBUG] 开始处理文件夹"));
        const QString path = filePath(url);
        if (!isReadableFolder(path)) {
            traceLine(QStringLiteral("❌ [ERROR] 处理文件夹出错: ") + unreadableFolderText(path));
            return;
        }
        m_scan = FolderScan{url, 0, {folderEntries(path)}};
        return;
    }
    if (m_model.supportedVideoExtensions().contains(extension)) {
        traceLine(QStringLiteral("🔍 [DEBUG] 识别为支持的视频文件，开始处理"));
        addVideoFile(url);
        return;
    }
    traceLine(QStringLiteral("⚠️ [WARNING] 不支持的文件类型: ") + extension);
    closeGroup();
}

void FileIntake::scanNextEntry()
{
    FolderScan &scan = *m_scan;
    while (!scan.pending.isEmpty() && scan.pending.last().isEmpty())
        scan.pending.removeLast();
    if (scan.pending.isEmpty()) {
        traceLine(QStringLiteral("🔍 [DEBUG] 文件夹处理完成，共处理 %1 个视频文件").arg(scan.found));
        m_scan.reset();
        return;
    }

    const QFileInfo entry = scan.pending.last().takeFirst();
    if (entry.isDir()) {
        if (!isReadableFolder(entry.filePath())) {
            // The rest of the folder stays unread; what was added stays.
            traceLine(QStringLiteral("❌ [ERROR] 处理文件夹出错: ") +
                      unreadableFolderText(entry.filePath()));
            m_scan.reset();
            return;
        }
        scan.pending.append(folderEntries(entry.filePath()));
        return;
    }
    if (!entry.isFile() || !m_model.supportedVideoExtensions().contains(entry.suffix().toLower()))
        return;

    const QUrl url = QUrl::fromLocalFile(entry.filePath());
    openGroup();
    traceLine(QStringLiteral("🔍 [DEBUG] 找到视频文件 %1: ").arg(++scan.found) +
              lastPathComponent(url));
    addVideoFile(url);
}

void FileIntake::addVideoFile(const QUrl &url)
{
    traceLine(QStringLiteral("🔍 [DEBUG] 处理视频文件: ") + filePath(url));
    traceLine(QStringLiteral("🔍 [DEBUG] 当前视频列表数量: %1").arg(m_model.videoFiles().size()));

    // A file still being probed counts as listed.
    const QList<VideoFile> &listed = m_model.videoFiles();
    const bool isListed =
        url == m_probing || std::any_of(listed.begin(), listed.end(),
                                        [&](const VideoFile &file) { return file.url == url; });
    if (isListed) {
        traceLine(QStringLiteral("⚠️ [WARNING] 视频已存在: ") + lastPathComponent(url));
        closeGroup();
        return;
    }
    traceLine(QStringLiteral("🔍 [DEBUG] 视频文件不在列表中，开始获取视频信息"));

    m_probing = url;
    m_probe = new VideoProbe(m_model.toolLocator(), this);
    connect(m_probe, &VideoProbe::finished, this, &FileIntake::onProbeFinished);
    m_probe->getVideoInfo(url);
}

void FileIntake::onProbeFinished(const ProbeOutcome &outcome)
{
    m_probe->deleteLater();
    m_probe = nullptr;
    const QUrl url = std::exchange(m_probing, QUrl());
    for (const QString &line : outcome.trace)
        traceLine(line);

    if (!outcome.file) {
        traceLine(QStringLiteral("❌ [ERROR] 获取视频信息失败: ") + lastPathComponent(url));
    } else {
        const VideoFile &file = *outcome.file;
        m_model.appendVideoFile(file);
        traceLine(QStringLiteral("✅ [SUCCESS] 成功添加视频: ") + lastPathComponent(url));
        traceLine(QStringLiteral("🔍 [DEBUG] 视频信息 - 分辨率: ") + file.resolution +
                  QStringLiteral(", 帧率: ") + file.frameRate + QStringLiteral(", 编码: ") +
                  file.codec);
        traceLine(
            QStringLiteral("🔍 [DEBUG] 更新后视频列表数量: %1").arg(m_model.videoFiles().size()));
    }
    closeGroup();
    scheduleStep();
}

void FileIntake::traceLine(const QString &line)
{
    if (m_grouping)
        m_group << line;
    else
        m_model.trace(line);
}

void FileIntake::openGroup()
{
    m_grouping = true;
}

void FileIntake::closeGroup()
{
    m_grouping = false;
    for (const QString &line : std::exchange(m_group, {}))
        m_model.trace(line);
}
