#include "ui/FileListModel.h"

#include "session/TranscodeViewModel.h"
#include "ui/CardText.h"

FileListModel::FileListModel(TranscodeViewModel &model, QObject *parent)
    : QIdentityProxyModel(parent)
    , m_model(model)
{
    setSourceModel(const_cast<JobQueue *>(&model.queue()));
}

QVariant FileListModel::data(const QModelIndex &index, int role) const
{
    const JobQueue &queue = m_model.queue();
    if (!index.isValid() || index.row() >= queue.rowCount())
        return {};
    const int row = index.row();
    const VideoFile &file = queue.files().at(row);
    switch (role) {
    case Qt::ToolTipRole: {
        QString tip = cardToolTip(file);
        const JobRecord &job = queue.job(row);
        if (!job.outcome.reason.isEmpty())
            tip += QLatin1Char('\n') + job.outcome.reason;
        return tip;
    }
    case StatusRole:
        if (const std::optional<CardStatus> status = cardStatus(queue.job(row), queue.isInRun(row)))
            return QVariant::fromValue(*status);
        return {};
    case RemovableRole:
        return m_model.canRemove(file.id);
    default:
        return QIdentityProxyModel::data(index, role);
    }
}
