#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include "domain/Error.h"
#include "domain/JobRecord.h"

class TranscodeViewModel;

// One file of a saved list and how far it had come.
struct SavedFile
{
    QString path;
    JobRecord::Status status = JobRecord::Status::Waiting; // waiting, done, failed, skipped
    QString outputPath;
    qint64 outputSize = 0;
    QString reason;
    // What went to the Trash when the result was put in place: the original, or an earlier
    // result at the output's name.
    bool replacedSource = false;
    bool replacedOutput = false;

    friend bool operator==(const SavedFile &, const SavedFile &) = default;
};

// The window's list and each file's outcome, kept across restarts (a crash, a logout, a power
// cut): written whole to a small versioned file under $XDG_STATE_HOME/Quillmere/, atomically
// and off the event loop, at most every few seconds after a change. A file that was at work or
// waiting is saved as waiting.
class QueueMemory : public QObject
{
    Q_OBJECT

public:
    static constexpr int SaveDelayMilliseconds = 2000;
    static constexpr int FormatVersion = 1;

    explicit QueueMemory(TranscodeViewModel &model, QString path = defaultPath(),
                         QObject *parent = nullptr);
    // Writes what is still unsaved before it goes.
    ~QueueMemory() override;

    static QString defaultPath();

    // What the last session left: nothing when it left nothing; an error when the file is
    // damaged, cut short or not ours, which is then ignored.
    Result<QList<SavedFile>> load() const;
    // Writes now, and waits until it is written. The list shown then takes the place of the
    // saved one, also when the user chose not to restore that.
    void saveNow();
    // While the saved list is offered back, nothing is written over it: a crash before the
    // user answers must not lose it to files listed meanwhile.
    void setOffering(bool offering) { m_offering = offering; }

    // The bytes of the file that holds `files`.
    static QByteArray encode(const QList<SavedFile> &files);
    static Result<QList<SavedFile>> decode(const QByteArray &bytes);

private:
    void scheduleSave();
    void save();
    QList<SavedFile> snapshot() const;

    TranscodeViewModel &m_model;
    QString m_path;
    QTimer m_delay;
    QThreadPool m_writer;
    bool m_dirty = false;
    bool m_offering = false;
};
