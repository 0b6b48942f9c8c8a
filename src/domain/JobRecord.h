#pragma once

#include <QMetaType>
#include <QSize>
#include <QString>
#include <QUuid>

#include "domain/ProgressFigures.h"
#include "domain/RunSummary.h"

// Where one file of a run stands. The engine reports a record at every change; the queue keeps
// the latest per file and every view reads it there.
struct JobRecord
{
    enum class Status {
        Waiting,    // for its turn
        Converting, // ffmpeg at work
        Checking,   // its result, or an earlier one, being proven
        Done,
        Failed,
        Skipped,
        Cancelled,
    };

    int position = -1; // in the run's listing
    QUuid fileId;
    QString sourcePath;
    QString outputPath; // as planned
    // The picture size the settings name for the file: the chosen box, or its own as shown.
    QSize chosenSize;
    Status status = Status::Waiting;
    double fraction = 0; // of this file
    ProgressFigures figures;
    // Seconds since the run began; negative until it happens.
    double startedAt = -1;
    double finishedAt = -1;
    FileOutcome outcome; // once it has ended

    bool hasEnded() const
    {
        return status == Status::Done || status == Status::Failed || status == Status::Skipped ||
               status == Status::Cancelled;
    }
};

Q_DECLARE_METATYPE(JobRecord)
