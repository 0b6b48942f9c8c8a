#include "ui/FileListModel.h"

#include "session/TranscodeViewModel.h"
#include "ui/CardText.h"

FileListModel::FileListModel(TranscodeViewModel &model, QObject *parent)
    : QAbstractListModel(parent)
    , m_model(model)
{
    for (const VideoFile &file : model.videoFiles())
        m_ids << file.id;
    connect(&model, &TranscodeViewModel::videoFilesChanged, this, &FileListModel::followModel);
    connect(&model, &TranscodeViewModel::fileRunStateChanged, this, &FileListModel::followRunState);
}

void FileListModel::followRunState(const QUuid &id)
{
    const qsizetype row = m_ids.indexOf(id);
    if (row >= 0)
        Q_EMIT dataChanged(index(static_cast<int>(row)), index(static_cast<int>(row)));
}

int FileListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_ids.size());
}

QVariant FileListModel::data(const QModelIndex &index, int role) const
{
    const QList<VideoFile> &files = m_model.videoFiles();
    if (!index.isValid() || index.row() >= files.size())
        return {};
    const VideoFile &file = files.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return file.name;
    case Qt::ToolTipRole: {
        // In full, for when the card is too narrow for its line of properties.
        QStringList properties;
        for (const CardItem &item : cardItems(file))
            properties << item.text;
        QString tip =
            file.url.toDisplayString(QUrl::PreferLocalFile) + u'\n' + properties.join(u' ');
        const std::optional<FileRunState> state = m_model.fileRunState(file.id);
        if (state && !state->reason.isEmpty())
            tip += u'\n' + state->reason;
        return tip;
    }
    case StatusRole:
        if (const std::optional<CardStatus> status = cardStatus(m_model.fileRunState(file.id)))
            return QVariant::fromValue(*status);
        return {};
    case RemovableRole:
        return m_model.canRemove(file.id);
    case IdRole:
        return file.id;
    case VideoFileRole:
        return QVariant::fromValue(file);
    default:
        return {};
    }
}

void FileListModel::followModel()
{
    const QList<VideoFile> &files = m_model.videoFiles();
    if (followAppend(files) || followRemoval(files))
        return;
    beginResetModel();
    m_ids.clear();
    for (const VideoFile &file : files)
        m_ids << file.id;
    endResetModel();
}

bool FileListModel::followAppend(const QList<VideoFile> &files)
{
    const qsizetype known = m_ids.size();
    if (files.size() < known)
        return false;
    for (qsizetype row = 0; row < known; ++row) {
        if (files.at(row).id != m_ids.at(row))
            return false;
    }
    if (files.size() > known) {
        beginInsertRows({}, static_cast<int>(known), static_cast<int>(files.size() - 1));
        for (qsizetype row = known; row < files.size(); ++row)
            m_ids << files.at(row).id;
        endInsertRows();
    }
    // The records themselves may have been replaced; the view repaints only what it shows.
    if (known > 0)
        Q_EMIT dataChanged(index(0), index(static_cast<int>(known - 1)));
    return true;
}

bool FileListModel::followRemoval(const QList<VideoFile> &files)
{
    // The remaining ids must be the known ones in the same order with some left out.
    QList<qsizetype> removed;
    qsizetype next = 0;
    for (qsizetype row = 0; row < m_ids.size(); ++row) {
        if (next < files.size() && files.at(next).id == m_ids.at(row))
            ++next;
        else
            removed << row;
    }
    if (next != files.size())
        return false;
    // From the back, so that the rows still to go keep their numbers.
    for (qsizetype i = removed.size() - 1; i >= 0;) {
        const qsizetype last = removed.at(i);
        qsizetype first = last;
        while (i > 0 && removed.at(i - 1) == first - 1)
            first = removed.at(--i);
        --i;
        beginRemoveRows({}, static_cast<int>(first), static_cast<int>(last));
        m_ids.remove(first, last - first + 1);
        endRemoveRows();
    }
    return true;
}
