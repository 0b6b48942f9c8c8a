#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QUuid>

class TranscodeViewModel;
struct VideoFile;

// The window model's file list as rows for a view. It keeps only the ids the view has been
// told about, so that appends become row insertions and removals row removals: a long list is
// never rebuilt, and the view keeps its scroll position.
class FileListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role { IdRole = Qt::UserRole + 1, VideoFileRole, StatusRole, RemovableRole };

    explicit FileListModel(TranscodeViewModel &model, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    void followModel();
    void followRunState(const QUuid &id);
    bool followAppend(const QList<VideoFile> &files);
    bool followRemoval(const QList<VideoFile> &files);

    TranscodeViewModel &m_model;
    QList<QUuid> m_ids;
};
