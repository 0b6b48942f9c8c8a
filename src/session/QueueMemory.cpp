#include "session/QueueMemory.h"

#include "session/TranscodeViewModel.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

const QString FormatName = QStringLiteral("quillmere-queue");
// A list of many thousands of files stays far below this.
constexpr qint64 SizeLimit = 64 * 1024 * 1024;

const QList<std::pair<JobRecord::Status, QString>> &statusNames()
{
    static const QList<std::pair<JobRecord::Status, QString>> names{
        {JobRecord::Status::Waiting, QStringLiteral("waiting")},
        {JobRecord::Status::Done, QStringLiteral("done")},
        {JobRecord::Status::Failed, QStringLiteral("failed")},
        {JobRecord::Status::Skipped, QStringLiteral("skipped")},
    };
    return names;
}

// A copy of its own, so that taking it writes nothing to the queue's memory: after the
// process forks a helper, every page written again costs a fault, and counting one more user
// of each of ten thousand texts held the event loop for 50 ms.
QString ownCopy(const QString &text)
{
    return QString(text.constData(), text.size());
}

Error damaged(const QString &why)
{
    return Error{QStringLiteral("QueueMemory"), 1, why};
}

void write(const QString &path, const QList<SavedFile> &files)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile::setPermissions(QFileInfo(path).path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(QueueMemory::encode(files));
    file.commit();
}

} // namespace

QueueMemory::QueueMemory(TranscodeViewModel &model, QString path, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_path(std::move(path))
{
    m_writer.setMaxThreadCount(1);
    m_delay.setSingleShot(true);
    m_delay.setInterval(SaveDelayMilliseconds);
    connect(&m_delay, &QTimer::timeout, this, &QueueMemory::save);
    const JobQueue &queue = m_model.queue();
    connect(&queue, &JobQueue::rowsInserted, this, &QueueMemory::scheduleSave);
    connect(&queue, &JobQueue::rowsRemoved, this, &QueueMemory::scheduleSave);
    connect(&queue, &JobQueue::modelReset, this, &QueueMemory::scheduleSave);
    // Progress alone changes nothing that is saved.
    connect(&queue, &JobQueue::jobChanged, this, [this](int row, JobRecord::Status previous) {
        if (m_model.queue().job(row).status != previous)
            scheduleSave();
    });
}

QueueMemory::~QueueMemory()
{
    if (m_dirty && !m_offering)
        saveNow();
    m_writer.waitForDone();
}

QString QueueMemory::defaultPath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/Quillmere/queue.json");
}

void QueueMemory::scheduleSave()
{
    m_dirty = true;
    // Not restarted by later changes: a busy run is still saved every few seconds.
    if (!m_delay.isActive())
        m_delay.start();
}

QList<SavedFile> QueueMemory::snapshot() const
{
    const JobQueue &queue = m_model.queue();
    QList<SavedFile> files;
    files.reserve(queue.rowCount());
    for (int row = 0; row < queue.rowCount(); ++row) {
        const JobRecord &job = queue.job(row);
        SavedFile file{ownCopy(job.sourcePath), JobRecord::Status::Waiting, {}, 0, {}};
        if (job.status == JobRecord::Status::Done || job.status == JobRecord::Status::Failed ||
            job.status == JobRecord::Status::Skipped) {
            file.status = job.status;
            file.outputPath = ownCopy(job.outcome.outputPath);
            file.outputSize = job.outcome.outputSize;
            file.reason = ownCopy(job.outcome.reason);
            file.replacedSource = job.outcome.replacedSource;
            file.replacedOutput = job.outcome.replacedOutput;
        }
        files << file;
    }
    return files;
}

void QueueMemory::save()
{
    if (m_offering)
        return; // written once the user has answered
    m_dirty = false;
    // Only the snapshot is taken on the event loop; encoding and writing happen off it, one
    // write after another.
    m_writer.start([path = m_path, files = snapshot()] { write(path, files); });
}

void QueueMemory::saveNow()
{
    m_delay.stop();
    save();
    m_writer.waitForDone();
}

Result<QList<SavedFile>> QueueMemory::load() const
{
    QFile file(m_path);
    if (!file.exists())
        return QList<SavedFile>();
    if (!file.open(QIODevice::ReadOnly))
        return damaged(file.errorString());
    if (file.size() > SizeLimit)
        return damaged(QStringLiteral("文件过大"));
    return decode(file.readAll());
}

QByteArray QueueMemory::encode(const QList<SavedFile> &files)
{
    QJsonArray entries;
    for (const SavedFile &file : files) {
        QJsonObject entry{{QStringLiteral("path"), file.path}};
        for (const auto &[status, name] : statusNames()) {
            if (status == file.status)
                entry.insert(QStringLiteral("status"), name);
        }
        if (!file.outputPath.isEmpty())
            entry.insert(QStringLiteral("output"), file.outputPath);
        if (file.outputSize > 0)
            entry.insert(QStringLiteral("size"), file.outputSize);
        if (!file.reason.isEmpty())
            entry.insert(QStringLiteral("reason"), file.reason);
        if (file.replacedSource)
            entry.insert(QStringLiteral("replacedSource"), true);
        if (file.replacedOutput)
            entry.insert(QStringLiteral("replacedOutput"), true);
        entries << entry;
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("format"), FormatName},
                                     {QStringLiteral("version"), FormatVersion},
                                     {QStringLiteral("files"), entries}})
        .toJson(QJsonDocument::Compact);
}

Result<QList<SavedFile>> QueueMemory::decode(const QByteArray &bytes)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return damaged(QStringLiteral("不是完整的 JSON"));
    const QJsonObject top = document.object();
    if (top.value(QStringLiteral("format")).toString() != FormatName)
        return damaged(QStringLiteral("不是 Quillmere 的列表"));
    if (top.value(QStringLiteral("version")).toInt() != FormatVersion)
        return damaged(QStringLiteral("版本 %1 无法读取")
                           .arg(top.value(QStringLiteral("version")).toVariant().toString()));
    if (!top.value(QStringLiteral("files")).isArray())
        return damaged(QStringLiteral("没有文件列表"));
    QList<SavedFile> files;
    for (const QJsonValue &value : top.value(QStringLiteral("files")).toArray()) {
        const QJsonObject entry = value.toObject();
        SavedFile file;
        file.path = entry.value(QStringLiteral("path")).toString();
        if (!QDir::isAbsolutePath(file.path))
            return damaged(QStringLiteral("文件路径无效"));
        const QString status = entry.value(QStringLiteral("status")).toString();
        const auto known = std::find_if(statusNames().begin(), statusNames().end(),
                                        [&](const auto &named) { return named.second == status; });
        if (known == statusNames().end())
            return damaged(QStringLiteral("状态“%1”无法识别").arg(status));
        file.status = known->first;
        file.outputPath = entry.value(QStringLiteral("output")).toString();
        file.outputSize = entry.value(QStringLiteral("size")).toInteger();
        file.reason = entry.value(QStringLiteral("reason")).toString();
        file.replacedSource = entry.value(QStringLiteral("replacedSource")).toBool();
        file.replacedOutput = entry.value(QStringLiteral("replacedOutput")).toBool();
        files << file;
    }
    return files;
}
