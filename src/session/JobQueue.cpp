#include "session/JobQueue.h"

#include "domain/FileUrls.h"

namespace {

bool isWorking(JobRecord::Status status)
{
    return status == JobRecord::Status::Converting || status == JobRecord::Status::Checking;
}

double plannedPixelRate(const PlannedFile &file)
{
    const VideoFile &source = file.source;
    const QSize picture = file.outputSize.isValid()
                              ? file.outputSize
                              : QSize(source.shownWidth(), source.shownHeight());
    const double frameRate = source.averageFrameRate.isKnown() ? source.averageFrameRate.value()
                                                               : source.baseFrameRate.value();
    return qMax(0, picture.width()) * double(qMax(0, picture.height())) * frameRate;
}

} // namespace

JobQueue::JobQueue(QObject *parent)
    : QAbstractListModel(parent)
{
    qRegisterMetaType<JobRecord>();
}

int JobQueue::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_files.size());
}

QVariant JobQueue::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_files.size())
        return {};
    const int row = index.row();
    switch (role) {
    case Qt::DisplayRole:
        return m_files.at(row).name;
    case IdRole:
        return m_files.at(row).id;
    case VideoFileRole:
        return QVariant::fromValue(m_files.at(row));
    case JobRole:
        return QVariant::fromValue(m_jobs.at(row));
    case InRunRole:
        return isInRun(row);
    default:
        return {};
    }
}

bool JobQueue::isListed(const QUrl &url, const FileKey &key) const
{
    return m_urls.contains(url) || (key.isValid() && m_keys.contains(key));
}

void JobQueue::reindex(int from)
{
    if (from == 0) {
        m_rows.clear();
        m_urls.clear();
        m_keys.clear();
    }
    for (int row = from; row < m_files.size(); ++row) {
        const VideoFile &file = m_files.at(row);
        m_rows.insert(file.id, row);
        m_urls.insert(file.url);
        if (file.fileKey.isValid())
            m_keys.insert(file.fileKey);
    }
}

void JobQueue::append(const QList<VideoFile> &files)
{
    if (files.isEmpty())
        return;
    const int first = static_cast<int>(m_files.size());
    beginInsertRows({}, first, first + static_cast<int>(files.size()) - 1);
    for (const VideoFile &file : files) {
        m_files << file;
        JobRecord job;
        job.fileId = file.id;
        job.sourcePath = filePath(file.url);
        m_jobs << job;
    }
    reindex(first);
    endInsertRows();
}

void JobQueue::remove(const QSet<QUuid> &ids)
{
    // From the back, a run of neighbours at a time, so that the rows still to go keep their
    // numbers.
    bool removed = false;
    for (int row = static_cast<int>(m_files.size()) - 1; row >= 0;) {
        if (!ids.contains(m_files.at(row).id)) {
            --row;
            continue;
        }
        const int last = row;
        while (row > 0 && ids.contains(m_files.at(row - 1).id))
            --row;
        beginRemoveRows({}, row, last);
        m_files.remove(row, last - row + 1);
        m_jobs.remove(row, last - row + 1);
        endRemoveRows();
        removed = true;
        --row;
    }
    if (!removed)
        return;
    reindex(0);
    Q_EMIT jobsChanged();
}

void JobQueue::clear()
{
    if (m_files.isEmpty())
        return;
    beginResetModel();
    m_files.clear();
    m_jobs.clear();
    reindex(0);
    endResetModel();
    Q_EMIT jobsChanged();
}

void JobQueue::replaceFile(const QUuid &id, const VideoFile &file)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    m_files[row] = file;
    m_files[row].id = id;
    m_jobs[row].sourcePath = filePath(file.url);
    reindex(0);
    Q_EMIT dataChanged(index(row), index(row));
}

void JobQueue::beginRun(const QList<VideoFile> &listing, const QSet<QUuid> &taken)
{
    m_pixelRates.clear();
    QHash<QUuid, int> positions;
    for (int position = 0; position < listing.size(); ++position)
        positions.insert(listing.at(position).id, position);
    for (int row = 0; row < m_jobs.size(); ++row) {
        JobRecord &job = m_jobs[row];
        if (!taken.contains(job.fileId)) {
            job.position = -1;
            continue;
        }
        JobRecord fresh;
        fresh.fileId = job.fileId;
        fresh.sourcePath = job.sourcePath;
        fresh.position = positions.value(job.fileId, -1);
        job = fresh;
    }
    if (!m_jobs.isEmpty())
        Q_EMIT dataChanged(index(0), index(static_cast<int>(m_jobs.size()) - 1));
    Q_EMIT jobsChanged();
}

void JobQueue::planned(const RunPlan &plan)
{
    QHash<int, QString> outputs;
    for (const PlannedFile &file : plan.files) {
        outputs.insert(file.position, file.outputPath);
        m_pixelRates.insert(file.source.id, plannedPixelRate(file));
    }
    for (JobRecord &job : m_jobs) {
        if (job.position < 0)
            continue;
        const auto output = outputs.constFind(job.position);
        if (output == outputs.cend())
            job.position = -1;
        else
            job.outputPath = *output;
    }
    if (!m_jobs.isEmpty())
        Q_EMIT dataChanged(index(0), index(static_cast<int>(m_jobs.size()) - 1));
    Q_EMIT jobsChanged();
}

void JobQueue::update(const JobRecord &record)
{
    const int row = rowOf(record.fileId);
    if (row < 0)
        return; // taken off the list meanwhile
    const JobRecord::Status previous = std::exchange(m_jobs[row], record).status;
    Q_EMIT dataChanged(index(row), index(row));
    Q_EMIT jobChanged(row, previous);
    Q_EMIT jobsChanged();
}

void JobQueue::endRun()
{
    for (int row = 0; row < m_jobs.size(); ++row) {
        JobRecord &job = m_jobs[row];
        if (job.position >= 0 && job.status == JobRecord::Status::Waiting) {
            job.position = -1;
            Q_EMIT dataChanged(index(row), index(row));
        }
    }
    Q_EMIT jobsChanged();
}

void JobQueue::restore(const QUuid &id, const JobRecord &record)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    JobRecord &job = m_jobs[row];
    job.status = record.status;
    job.outputPath = record.outputPath;
    job.outcome = record.outcome;
    job.fraction = record.status == JobRecord::Status::Done ? 1 : 0;
    Q_EMIT dataChanged(index(row), index(row));
    Q_EMIT jobsChanged();
}

JobQueue::Counts JobQueue::counts() const
{
    Counts counts;
    for (const JobRecord &job : m_jobs) {
        if (job.position < 0)
            continue;
        ++counts.total;
        switch (job.status) {
        case JobRecord::Status::Waiting:
            ++counts.waiting;
            break;
        case JobRecord::Status::Converting:
        case JobRecord::Status::Checking:
            ++counts.working;
            break;
        case JobRecord::Status::Done:
            ++counts.done;
            break;
        case JobRecord::Status::Failed:
            ++counts.failed;
            break;
        case JobRecord::Status::Skipped:
            ++counts.skipped;
            break;
        case JobRecord::Status::Cancelled:
            ++counts.cancelled;
            break;
        }
    }
    return counts;
}

JobQueue::Counts JobQueue::outcomes() const
{
    Counts counts;
    for (const JobRecord &job : m_jobs) {
        counts.done += job.status == JobRecord::Status::Done;
        counts.failed += job.status == JobRecord::Status::Failed;
        counts.skipped += job.status == JobRecord::Status::Skipped;
        counts.cancelled += job.status == JobRecord::Status::Cancelled;
    }
    counts.total = counts.ended();
    return counts;
}

QList<double> JobQueue::weights() const
{
    double known = 0;
    int knownCount = 0;
    for (int row = 0; row < m_jobs.size(); ++row) {
        if (m_jobs.at(row).position >= 0 && m_files.at(row).duration > 0) {
            known += m_files.at(row).duration;
            ++knownCount;
        }
    }
    const double usual = knownCount > 0 ? known / knownCount : 1.0;
    QList<double> weights(m_jobs.size(), 0.0);
    for (int row = 0; row < m_jobs.size(); ++row) {
        if (m_jobs.at(row).position >= 0)
            weights[row] = m_files.at(row).duration > 0 ? m_files.at(row).duration : usual;
    }
    return weights;
}

double JobQueue::pixelRate(int row) const
{
    return m_pixelRates.value(m_files.at(row).id);
}

std::pair<double, double> JobQueue::mediaSeconds() const
{
    const QList<double> weight = weights();
    double total = 0;
    double left = 0;
    for (int row = 0; row < m_jobs.size(); ++row) {
        const JobRecord &job = m_jobs.at(row);
        if (job.position < 0)
            continue;
        total += weight.at(row);
        if (!job.hasEnded())
            left += weight.at(row) * (1 - qBound(0.0, job.fraction, 1.0));
    }
    return {total, left};
}

double JobQueue::runFraction() const
{
    const auto [total, left] = mediaSeconds();
    return total > 0 ? (total - left) / total : 0;
}

int JobQueue::workingRow() const
{
    int found = -1;
    for (int row = 0; row < m_jobs.size(); ++row) {
        const JobRecord &job = m_jobs.at(row);
        if (job.position >= 0 && isWorking(job.status) &&
            (found < 0 || job.position < m_jobs.at(found).position))
            found = row;
    }
    return found;
}

int JobQueue::workingOrdinal() const
{
    const int working = workingRow();
    if (working < 0)
        return 0;
    const int position = m_jobs.at(working).position;
    int ordinal = 1;
    for (const JobRecord &job : m_jobs)
        ordinal += job.position >= 0 && job.position < position;
    return ordinal;
}
