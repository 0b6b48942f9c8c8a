#pragma once

#include <QIdentityProxyModel>

class TranscodeViewModel;

// The queue's rows as the cards show them: what a card says of a file's run, its tooltip, and
// whether it may be removed. It keeps nothing of its own; every answer is read from the queue.
class FileListModel : public QIdentityProxyModel
{
    Q_OBJECT

public:
    enum Role { StatusRole = Qt::UserRole + 100, RemovableRole };

    explicit FileListModel(TranscodeViewModel &model, QObject *parent = nullptr);

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    TranscodeViewModel &m_model;
};
