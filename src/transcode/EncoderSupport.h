#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

class ProcessRunner;

// What the run asks the installed ffmpeg before it plans.
struct EncoderQuestions
{
    QStringList hardware; // hardware encoders the settings name ("h264_videotoolbox")
    bool hevcAlpha = false;
};

// What it answered: for each hardware encoder named, the first of its family's hardware
// encoders that works here, or the family's software encoder when none does.
struct EncoderAnswers
{
    QHash<QString, QString> encoders;
    QString hevcAlphaEncoder; // an HEVC encoder that keeps alpha, or empty
    QString renderNode;       // the device a VAAPI encoder uses

    QString encoderFor(const QString &named) const { return encoders.value(named, named); }
    friend bool operator==(const EncoderAnswers &, const EncoderAnswers &) = default;
};

// Asks the installed ffmpeg what it can encode, by test encodes of one frame, once per ffmpeg
// executable and question for the life of the program. A test that takes longer than the time
// limit (a GPU driver that hangs) counts as failed.
class EncoderSupport : public QObject
{
    Q_OBJECT

public:
    using Answer = std::function<void(bool)>;

    explicit EncoderSupport(QObject *parent = nullptr);

    void setTimeLimit(std::chrono::milliseconds limit) { m_timeLimit = limit; }

    // Every question in turn. `done` is called on the event loop, never before this returns,
    // and not at all once `context` is gone or has given up.
    void answer(const QString &ffmpeg, const EncoderQuestions &questions, QObject *context,
                std::function<void(const EncoderAnswers &)> done);
    // `context` waits no more: tests nobody else waits for are stopped, and their answers not
    // kept.
    void giveUp(QObject *context);

private:
    // Whether `encoder` encodes a frame with `ffmpeg`, as a run would use it on `renderNode`.
    void checkEncoder(const QString &ffmpeg, const QString &encoder, const QString &renderNode,
                      QObject *context, Answer answer);
    // Whether libx265 lists a pixel format with alpha and encodes a frame in it.
    void checkHevcAlpha(const QString &ffmpeg, QObject *context, Answer answer);

    struct Waiter
    {
        QPointer<QObject> context;
        Answer answer;
    };
    using Question = std::function<void(std::function<void(bool)> done)>;

    void ask(const QString &key, QObject *context, Answer answer, const Question &question);
    void runTest(const QString &key, const QString &ffmpeg, const QStringList &arguments,
                 std::function<void(bool)> done);
    // A program of the question `key`, bounded in time and output.
    ProcessRunner *startRunner(const QString &key);

    // A GPU's first encode starts its driver, which takes seconds, never this long.
    std::chrono::milliseconds m_timeLimit = std::chrono::seconds(15);
    QHash<QString, bool> m_known;
    QHash<QString, QList<Waiter>> m_waiting;
    QHash<QString, QPointer<ProcessRunner>> m_running; // by question
};
