#pragma once

#include <QPlainTextEdit>

class TranscodeViewModel;

// The model's run log, read-only. New pieces are appended as they come, and the view keeps
// to the end unless the user has scrolled up to read.
class LogView : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit LogView(TranscodeViewModel &model, QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void appendPiece(const QString &piece);
    void followLog();
    void catchUp();
    void showWholeLog();

    TranscodeViewModel &m_model;
    // How much of the model's log the document holds; -1 while it is out of date.
    qsizetype m_shownLength = -1;
    bool m_catchUpDue = false;
};
