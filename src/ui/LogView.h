#pragma once

#include <QPlainTextEdit>

class TranscodeViewModel;

// The model's run log, read-only. New pieces are appended as they come, and the view keeps
// to the newest line unless the user has scrolled up to read.
class LogView : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit LogView(const TranscodeViewModel &model, QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void appendPiece(const QString &piece);

    const TranscodeViewModel &m_model;
    bool m_stale = false; // pieces came while hidden
};
