#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include "model/Error.h"
#include "model/RunOutcome.h"
#include "model/VideoFile.h"
#include "transcode/EncoderSupport.h"
#include "transcode/ProgressParser.h"

class FileTranscode;
class TranscodeViewModel;
struct FileFailure;
struct FileJob;

// Decides where each file of a run goes. Within one run no two files share an output, and no
// output lands on a file of the run.
class OutputPlanner
{
public:
    OutputPlanner(const QList<VideoFile> &files, QString outputDirectory);

    // The final path of `file`'s result with the settings read for it.
    QString outputPathFor(const VideoFile &file, const QString &codec, const QString &container,
                          bool overwriteOriginal);

    const QString &outputDirectory() const { return m_outputDirectory; }

private:
    QString m_outputDirectory;
    QSet<QString> m_taken;
};

// The batch run: every listed file in turn with the settings of the moment, the run state kept
// in the model, a clean end whether the run completes, fails or is cancelled.
class BatchTranscoder : public QObject
{
    Q_OBJECT

public:
    explicit BatchTranscoder(TranscodeViewModel &model);
    // A run still going is cancelled on the spot: no ffmpeg outlives the model.
    ~BatchTranscoder() override;

    void start();
    void cancel();
    bool isRunning() const { return m_running; }

    // The job for the file at `index` of `files`, with the model's settings as they are now.
    static Result<FileJob> jobFor(const TranscodeViewModel &model, const QList<VideoFile> &files,
                                  int index, OutputPlanner &planner);

Q_SIGNALS:
    void finished(RunOutcome outcome);

private:
    void prepare();
    void startFile(int index);
    void onFileSucceeded();
    void onFileFailed(const FileFailure &failure);
    void complete();
    void failRun(const Error &error, const QString &detail);
    void endCancelled();
    void publishNotice(const QString &text);
    void removeEmptyOutputDirectory();

    TranscodeViewModel &m_model;
    EncoderSupport m_encoders;
    ProgressParser m_progress;
    bool m_running = false;
    bool m_cancelRequested = false;
    bool m_overwriteRun = false;
    QList<VideoFile> m_files;
    std::optional<OutputPlanner> m_planner;
    int m_index = 0;
    QPointer<FileTranscode> m_current;
    QSet<QString> m_notices;
    QString m_createdOutputDirectory; // made by this run, removed if it stays empty
};
