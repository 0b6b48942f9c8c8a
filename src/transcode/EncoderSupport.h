#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

// The "(硬件加速)" choices name macOS encoders. Where the installed ffmpeg cannot use one, the
// run takes the software encoder of the same family instead and says so.
namespace EncoderFallback {

// The hardware encoders that `arguments` ask for with "-c:v", in order.
QStringList hardwareEncodersIn(const QStringList &arguments);

// The software encoder that stands in for `hardware`.
QString softwareStandIn(const QString &hardware);

// `arguments` with each encoder of `unavailable` replaced by its stand-in, and the options only
// the hardware encoder understands left out.
QStringList substitute(QStringList arguments, const QStringList &unavailable);

// What the user is told about one substitution.
QString notice(const QString &hardware);

} // namespace EncoderFallback

// Asks the installed ffmpeg what it can encode, once per ffmpeg executable and question, for
// the life of the program.
class EncoderSupport : public QObject
{
    Q_OBJECT

public:
    using Answer = std::function<void(bool)>;

    explicit EncoderSupport(QObject *parent = nullptr);

    // Whether `encoder` encodes one frame with `ffmpeg`. `answer` is called on the event loop,
    // never before this returns, and not at all once `context` is gone.
    void checkEncoder(const QString &ffmpeg, const QString &encoder, QObject *context,
                      Answer answer);

    // Whether `ffmpeg` has an HEVC encoder that keeps alpha: libx265 lists a pixel format with
    // alpha, and encoding a frame in it succeeds.
    void checkHevcAlpha(const QString &ffmpeg, QObject *context, Answer answer);

    // The arguments of a one-frame test encode with `encoder` in `pixelFormat`.
    static QStringList testEncodeArguments(const QString &encoder, const QString &pixelFormat);

private:
    struct Waiter
    {
        QPointer<QObject> context;
        Answer answer;
    };
    using Question = std::function<void(std::function<void(bool)> done)>;

    void ask(const QString &key, QObject *context, Answer answer, const Question &question);
    void runTestEncode(const QString &ffmpeg, const QStringList &arguments,
                       std::function<void(bool)> done);

    QHash<QString, bool> m_known;
    QHash<QString, QList<Waiter>> m_waiting;
};
