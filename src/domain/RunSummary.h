#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

#include "domain/Error.h"
#include "domain/VideoFile.h"

// How a batch run ended. A run that starts completes, with each file's own outcome, unless it
// is cancelled; it fails only when it cannot start at all.
enum class RunOutcome { Completed, Failed, Cancelled };

// How one file of a run ended.
struct FileOutcome
{
    enum class Status { Converted, Failed, Skipped, Cancelled };

    explicit FileOutcome(Status status = Status::Converted)
        : status(status)
    {}

    Status status;
    QString outputPath;          // where the result lies (converted, or skipped as already done)
    bool replacedSource = false; // the result took the source's place
    bool replacedOutput = false; // an earlier result at the output's name went to the Trash
    qint64 outputSize = 0;
    double outputDuration = 0;
    QString encoder;  // the video encoder that made it
    VideoFile result; // the converted file as probed, when converted
    Error error;
    QString reason; // why it failed or was skipped, as the user reads it
};

struct FileFailureNote
{
    QString name;
    QString reason;

    friend bool operator==(const FileFailureNote &, const FileFailureNote &) = default;
};

struct RunSummary
{
    RunOutcome outcome = RunOutcome::Completed;
    int converted = 0;
    int failed = 0;
    int skipped = 0;
    QList<FileFailureNote> failures;
    // The folder the results went to; empty when they replaced their sources.
    QString outputDirectory;
    // Why a failed run could not start.
    Error error;
    QString reason;
    double elapsedSeconds = 0;

    // How many files were converted, failed and skipped, as the user reads it.
    static QString countsText(int converted, int failed, int skipped)
    {
        return QStringLiteral("已转码 %1 个，失败 %2 个，跳过 %3 个")
            .arg(converted)
            .arg(failed)
            .arg(skipped);
    }
    QString countsText() const { return countsText(converted, failed, skipped); }
    // The headline of a run that went through, with how many files failed.
    static QString completedTitle(int failed)
    {
        return failed > 0 ? QStringLiteral("转码完成，%1 个失败").arg(failed)
                          : QStringLiteral("转码完成");
    }
};

Q_DECLARE_METATYPE(RunOutcome)
Q_DECLARE_METATYPE(FileOutcome)
Q_DECLARE_METATYPE(RunSummary)
