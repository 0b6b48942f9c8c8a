#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QSet>
#include <QUrl>
#include <QUuid>

#include "domain/JobRecord.h"
#include "domain/VideoFile.h"
#include "intake/ListedFiles.h"
#include "transcode/RunPlan.h"

// The listed files and where each stands: one row per file, holding the file as probed and
// the latest record the engine reported of it. This is the only place a file's run state is
// kept; the cards, the progress panel, the clock, the desktop and the command line all read
// it here. Rows are inserted, removed and changed one by one, so a view of thousands of files
// repaints only what it shows.
class JobQueue : public QAbstractListModel, public ListedFiles
{
    Q_OBJECT

public:
    enum Role { IdRole = Qt::UserRole + 1, VideoFileRole, JobRole, InRunRole };

    // What the run in hand, or the last, has come to.
    struct Counts
    {
        int total = 0; // files of the run
        int waiting = 0;
        int working = 0; // converting or checking
        int done = 0;
        int failed = 0;
        int skipped = 0;
        int cancelled = 0;

        int ended() const { return done + failed + skipped + cancelled; }
        friend bool operator==(const Counts &, const Counts &) = default;
    };

    explicit JobQueue(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    const QList<VideoFile> &files() const { return m_files; }
    const JobRecord &job(int row) const { return m_jobs.at(row); }
    int rowOf(const QUuid &id) const { return m_rows.value(id, -1); }
    // The file belongs to the run under way, or to the last one.
    bool isInRun(int row) const { return m_jobs.at(row).position >= 0; }

    bool isListed(const QUrl &url, const FileKey &key) const override;
    qsizetype listedCount() const override { return m_files.size(); }

    void append(const QList<VideoFile> &files);
    // Rows go in as few removals as the ids allow.
    void remove(const QSet<QUuid> &ids);
    void clear();
    // The row keeps its id and its record; only the file it shows changes.
    void replaceFile(const QUuid &id, const VideoFile &file);

    // A run takes these files, at their positions in the listing it is given; every other
    // file leaves the run and keeps how it ended.
    void beginRun(const QList<VideoFile> &listing, const QSet<QUuid> &taken);
    // The plan gives each file of the run its output; a file it leaves out (another shard's)
    // leaves the run.
    void planned(const RunPlan &plan);
    void update(const JobRecord &record);
    // Files the run never came to are no longer in it.
    void endRun();
    // A row that stood as ended, as a saved queue remembered it.
    void restore(const QUuid &id, const JobRecord &record);

    Counts counts() const;
    // Every file that has ended so far, in this run or an earlier one.
    Counts outcomes() const;
    // How much of the run is done, measured in media time: a long file weighs more than a
    // short one. Files of unknown length weigh as much as the known ones on average.
    double runFraction() const;
    // Media seconds of the run, all and still to convert.
    std::pair<double, double> mediaSeconds() const;
    // The media seconds each row weighs in the run: its duration, or the mean of the known ones
    // where it is unknown; 0 for a row outside the run.
    QList<double> weights() const;
    // Pixels a second of the row's result holds (its planned picture at the source's frame
    // rate), what its conversion costs per media second; 0 where unknown or not planned.
    double pixelRate(int row) const;
    // The file of the run at work that comes first in the listing, or -1.
    int workingRow() const;
    // Its 1-based place among the run's files; 0 before any starts.
    int workingOrdinal() const;

Q_SIGNALS:
    // One file's record changed; `previous` is where it stood before.
    void jobChanged(int row, JobRecord::Status previous);
    // Any file's run state changed: counts and fractions read anew.
    void jobsChanged();

private:
    // Where each file and name is found, from row `from` on.
    void reindex(int from);

    QList<VideoFile> m_files;
    QList<JobRecord> m_jobs; // beside m_files, row for row
    QHash<QUuid, int> m_rows;
    QSet<QUrl> m_urls;
    QSet<FileKey> m_keys;
    QHash<QUuid, double> m_pixelRates; // of the run's files, as planned
};
