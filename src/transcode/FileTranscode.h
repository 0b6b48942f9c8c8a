#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

#include "model/Error.h"
#include "model/VideoFile.h"
#include "transcode/ProcessRunner.h"

class EncoderSupport;
class ProgressParser;
class TranscodeViewModel;

// One file of a run, with the settings read for it when it started.
struct FileJob
{
    VideoFile file;
    int index = 0; // position in the run
    int count = 1; // files in the run
    // Where the result goes: in the output folder, or the source itself when overwriting.
    QString outputPath;
    bool overwriteOriginal = false;
    QString codec;
    QString format; // ffmpeg's "-f"
    bool enableAlpha = false;
    QStringList settingsArguments;
};

// Why a file failed: the error value, and the sentence the user reads.
struct FileFailure
{
    Error error;
    QString detail;
};

// Converts one file, on the event loop. Output is written under a hidden partial name and put
// in place only once ffmpeg has succeeded; a source is replaced only by a result that has been
// checked, and the original goes to the Trash. A failed or cancelled file leaves nothing
// behind but what was there before.
class FileTranscode : public QObject
{
    Q_OBJECT

public:
    FileTranscode(FileJob job, TranscodeViewModel &model, EncoderSupport &encoders,
                  ProgressParser &progress, QObject *parent = nullptr);
    // Stops a child still running and removes what the file left half done.
    ~FileTranscode() override;

    void start();
    // Asks ffmpeg to stop, kills it if it does not, then reports `cancelled`.
    void cancel();

    // The command line of the main route, as the run gives it to ffmpeg.
    static QStringList mainRouteArguments(const QString &input, const QStringList &settings,
                                          const QString &format, const QString &output);
    static bool takesAlphaRoute(const QString &codec, bool enableAlpha);

Q_SIGNALS:
    void succeeded();
    void failed(const FileFailure &failure);
    void cancelled();
    // A software encoder stands in for a hardware one.
    void notice(const QString &text);

private:
    using ExitHandler = std::function<void(int status, bool crashed)>;
    using LineHandler = std::function<void(const QByteArray &line)>;
    using Progress = std::function<void(double fraction)>;

    void startMainRoute();
    void onProgressLine(const QByteArray &bytes);

    void startAlphaRoute();
    void checkProRes4444(const QString &path, std::function<void(bool)> then);
    void intermediatePass();
    void convertToHevcWithAlpha(const QString &input, Progress progress);
    void exportHevcWithAlpha(const QString &input, Progress progress);

    // Calls `then` with `arguments`, a software encoder standing in for each hardware one this
    // ffmpeg cannot use.
    void withAvailableEncoders(const QStringList &arguments,
                               std::function<void(const QStringList &)> then);
    void checkNextEncoder();
    void finishOutput(const QString &partial);
    void replaceSource(const QString &partial);
    void run(const QString &program, const QStringList &arguments, LineHandler outputLine,
             ExitHandler onExit, bool echoErrors = false);

    void succeed();
    void fail(const Error &error, const QString &detail);
    void failWithStatus(const Error &error, const QString &what, int status, bool crashed);
    void endCancelled();
    bool isOver() const { return m_over; }
    void removeLeftovers();
    QString newTemporaryMov();

    struct EncoderCheck
    {
        QStringList arguments;
        QStringList remaining;
        QStringList unavailable;
        std::function<void(const QStringList &)> then;
    };

    FileJob m_job;
    EncoderCheck m_encoderCheck;
    TranscodeViewModel &m_model;
    EncoderSupport &m_encoders;
    ProgressParser &m_progress;
    QString m_ffmpeg;
    QPointer<ProcessRunner> m_runner;
    QByteArray m_lastErrorLine;
    QStringList m_leftovers; // removed unless the file succeeds
    bool m_cancelling = false;
    bool m_over = false;
};

Q_DECLARE_METATYPE(FileFailure)
