#include "transcode/EncoderSupport.h"

#include "transcode/ProcessRunner.h"

#include <QTimer>

namespace {

struct StandIn
{
    const char *hardware;
    const char *software;
};

constexpr StandIn standIns[] = {
    {"h264_videotoolbox", "libx264"},
    {"hevc_videotoolbox", "libx265"},
    {"prores_videotoolbox", "prores_ks"},
};

// Options of the VideoToolbox encoders that the software ones do not take.
const QStringList hardwareOnlyOptions{QStringLiteral("-allow_sw")};

} // namespace

namespace EncoderFallback {

QStringList hardwareEncodersIn(const QStringList &arguments)
{
    QStringList found;
    for (qsizetype i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == u"-c:v" && !softwareStandIn(arguments[i + 1]).isEmpty())
            found << arguments[i + 1];
    }
    return found;
}

QString softwareStandIn(const QString &hardware)
{
    for (const StandIn &standIn : standIns) {
        if (hardware == QLatin1String(standIn.hardware))
            return QString::fromLatin1(standIn.software);
    }
    return QString();
}

QStringList substitute(QStringList arguments, const QStringList &unavailable)
{
    if (unavailable.isEmpty())
        return arguments;
    QStringList result;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (hardwareOnlyOptions.contains(arguments[i]) && i + 1 < arguments.size()) {
            ++i; // and its value
            continue;
        }
        if (i > 0 && arguments[i - 1] == u"-c:v" && unavailable.contains(arguments[i]))
            result << softwareStandIn(arguments[i]);
        else
            result << arguments[i];
    }
    return result;
}

QString notice(const QString &hardware)
{
    return QStringLiteral("此 ffmpeg 不能使用硬件编码器 %1，已改用软件编码器 %2")
        .arg(hardware, softwareStandIn(hardware));
}

} // namespace EncoderFallback

EncoderSupport::EncoderSupport(QObject *parent)
    : QObject(parent)
{}

QStringList EncoderSupport::testEncodeArguments(const QString &encoder, const QString &pixelFormat)
{
    return {QStringLiteral("-v"),
            QStringLiteral("error"),
            QStringLiteral("-f"),
            QStringLiteral("lavfi"),
            QStringLiteral("-i"),
            QStringLiteral("color=c=black@0.5:size=64x64:rate=25,format=") + pixelFormat,
            QStringLiteral("-frames:v"),
            QStringLiteral("1"),
            QStringLiteral("-c:v"),
            encoder,
            QStringLiteral("-pix_fmt"),
            pixelFormat,
            QStringLiteral("-f"),
            QStringLiteral("null"),
            QStringLiteral("-")};
}

void EncoderSupport::checkEncoder(const QString &ffmpeg, const QString &encoder, QObject *context,
                                  Answer answer)
{
    ask(ffmpeg + QStringLiteral("\n") + encoder, context, std::move(answer),
        [this, ffmpeg, encoder](std::function<void(bool)> done) {
            runTestEncode(ffmpeg, testEncodeArguments(encoder, QStringLiteral("yuv420p")),
                          std::move(done));
        });
}

void EncoderSupport::checkHevcAlpha(const QString &ffmpeg, QObject *context, Answer answer)
{
    ask(ffmpeg + QStringLiteral("\nhevc-alpha"), context, std::move(answer),
        [this, ffmpeg](std::function<void(bool)> done) {
            // Older builds do not list the format and would drop alpha without a word.
            auto *help = new ProcessRunner(this);
            help->setStandardOutput(ProcessRunner::Output::Collect);
            help->setStandardError(ProcessRunner::Output::Discard);
            connect(help, &ProcessRunner::failedToStart, this, [help, done] {
                help->deleteLater();
                done(false);
            });
            connect(help, &ProcessRunner::finished, this, [this, help, ffmpeg, done](int status) {
                help->deleteLater();
                const QByteArray text = help->collectedStandardOutput();
                const qsizetype formats = text.indexOf("Supported pixel formats:");
                const QByteArray line = text.mid(formats, text.indexOf('\n', formats) - formats);
                if (status != 0 || formats < 0 || !line.contains(" yuva420p")) {
                    done(false);
                    return;
                }
                // Builds whose x265 lacks alpha list the format but fail to encode it.
                runTestEncode(
                    ffmpeg,
                    testEncodeArguments(QStringLiteral("libx265"), QStringLiteral("yuva420p")),
                    done);
            });
            help->start(ffmpeg, {QStringLiteral("-hide_banner"), QStringLiteral("-h"),
                                 QStringLiteral("encoder=libx265")});
        });
}

void EncoderSupport::ask(const QString &key, QObject *context, Answer answer,
                         const Question &question)
{
    if (const auto known = m_known.constFind(key); known != m_known.cend()) {
        const bool value = *known;
        QTimer::singleShot(0, context, [answer, value] { answer(value); });
        return;
    }
    const bool alreadyAsked = m_waiting.contains(key);
    m_waiting[key].append({context, std::move(answer)});
    if (alreadyAsked)
        return;
    question([this, key](bool value) {
        m_known.insert(key, value);
        for (const Waiter &waiter : m_waiting.take(key)) {
            if (waiter.context)
                waiter.answer(value);
        }
    });
}

void EncoderSupport::runTestEncode(const QString &ffmpeg, const QStringList &arguments,
                                   std::function<void(bool)> done)
{
    auto *test = new ProcessRunner(this);
    test->setStandardOutput(ProcessRunner::Output::Discard);
    test->setStandardError(ProcessRunner::Output::Discard);
    connect(test, &ProcessRunner::failedToStart, this, [test, done] {
        test->deleteLater();
        done(false);
    });
    connect(test, &ProcessRunner::finished, this, [test, done](int status, bool crashed) {
        test->deleteLater();
        done(status == 0 && !crashed);
    });
    test->start(ffmpeg, arguments);
}
