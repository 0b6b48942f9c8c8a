#include "transcode/EncoderSupport.h"

#include "process/ProcessRunner.h"
#include "transcode/Encoders.h"

#include <QTimer>

#include <memory>

EncoderSupport::EncoderSupport(QObject *parent)
    : QObject(parent)
{}

void EncoderSupport::answer(const QString &ffmpeg, const EncoderQuestions &questions,
                            QObject *context, std::function<void(const EncoderAnswers &)> done)
{
    struct Round
    {
        QStringList named;      // still to settle
        QStringList candidates; // of the first of them, still to try
        bool trying = false;    // the candidates of the first are set
        EncoderAnswers answers;
        bool hevcAlpha = false;
        std::function<void()> next; // holds the round only weakly
    };
    auto round = std::make_shared<Round>();
    round->named = questions.hardware;
    round->hevcAlpha = questions.hevcAlpha;
    round->answers.renderNode = Encoders::renderNode();
    QPointer<QObject> guard(context);
    // One test at a time, each step called back from the event loop.
    round->next = [this, ffmpeg, guard, done, weak = std::weak_ptr<Round>(round)] {
        const std::shared_ptr<Round> round = weak.lock();
        if (!round || !guard)
            return;
        if (!round->named.isEmpty()) {
            const QString named = round->named.first();
            if (!std::exchange(round->trying, true))
                round->candidates = Encoders::candidatesHere(named);
            if (round->candidates.isEmpty()) { // none worked
                round->answers.encoders.insert(named, Encoders::softwareStandIn(named));
                round->named.removeFirst();
                round->trying = false;
                return round->next();
            }
            const QString candidate = round->candidates.takeFirst();
            checkEncoder(ffmpeg, candidate, round->answers.renderNode, guard,
                         [round, named, candidate](bool works) {
                             if (works) {
                                 round->answers.encoders.insert(named, candidate);
                                 round->named.removeFirst();
                                 round->trying = false;
                             }
                             round->next();
                         });
            return;
        }
        if (round->hevcAlpha) {
            round->hevcAlpha = false;
            checkHevcAlpha(ffmpeg, guard, [round](bool works) {
                if (works)
                    round->answers.hevcAlphaEncoder = QStringLiteral("libx265");
                round->next();
            });
            return;
        }
        done(round->answers);
    };
    QTimer::singleShot(0, context, [round] { round->next(); });
}

void EncoderSupport::checkEncoder(const QString &ffmpeg, const QString &encoder,
                                  const QString &renderNode, QObject *context, Answer answer)
{
    ask(ffmpeg + QStringLiteral("\n") + encoder, context, std::move(answer),
        [this, ffmpeg, encoder, renderNode](std::function<void(bool)> done) {
            runTest(ffmpeg + QStringLiteral("\n") + encoder, ffmpeg,
                    Encoders::testEncodeArguments(encoder, renderNode), std::move(done));
        });
}

void EncoderSupport::checkHevcAlpha(const QString &ffmpeg, QObject *context, Answer answer)
{
    const QString key = ffmpeg + QStringLiteral("\nhevc-alpha");
    ask(key, context, std::move(answer), [this, key, ffmpeg](std::function<void(bool)> done) {
        // Older builds do not list the format and would drop alpha without a word.
        ProcessRunner *help = startRunner(key);
        help->setStandardOutput(ProcessRunner::Output::Collect);
        help->setCollectLimit(1 << 20);
        connect(help, &ProcessRunner::failedToStart, this, [help, done] {
            help->deleteLater();
            done(false);
        });
        connect(help, &ProcessRunner::finished, this,
                [this, key, help, ffmpeg, done](int status, bool crashed) {
                    help->deleteLater();
                    if (!m_waiting.contains(key))
                        return;
                    const QByteArray text = help->collectedStandardOutput();
                    const qsizetype formats = text.indexOf("Supported pixel formats:");
                    const QByteArray line =
                        text.mid(formats, text.indexOf('\n', formats) - formats);
                    if (status != 0 || crashed || help->timedOut() || help->overflowed() ||
                        formats < 0 || !line.contains(" yuva420p")) {
                        done(false);
                        return;
                    }
                    // Builds whose x265 lacks alpha list the format but fail to encode it.
                    runTest(key, ffmpeg,
                            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
                             QStringLiteral("lavfi"), QStringLiteral("-i"),
                             QStringLiteral("color=c=black@0.5:size=64x64:rate=25,format=yuva420p"),
                             QStringLiteral("-frames:v"), QStringLiteral("1"),
                             QStringLiteral("-c:v"), QStringLiteral("libx265"),
                             QStringLiteral("-pix_fmt"), QStringLiteral("yuva420p"),
                             QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")},
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
        if (!m_waiting.contains(key))
            return; // given up: asked afresh next time
        m_known.insert(key, value);
        for (const Waiter &waiter : m_waiting.take(key)) {
            if (waiter.context)
                waiter.answer(value);
        }
    });
}

void EncoderSupport::giveUp(QObject *context)
{
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        it->removeIf([context](const Waiter &waiter) {
            return !waiter.context || waiter.context == context;
        });
        if (!it->isEmpty()) {
            ++it;
            continue;
        }
        if (ProcessRunner *runner = m_running.take(it.key()))
            runner->stop(std::chrono::seconds(1));
        it = m_waiting.erase(it);
    }
}

ProcessRunner *EncoderSupport::startRunner(const QString &key)
{
    auto *runner = new ProcessRunner(this);
    runner->setStandardOutput(ProcessRunner::Output::Discard);
    runner->setStandardError(ProcessRunner::Output::Discard);
    runner->setTimeLimit(m_timeLimit);
    m_running.insert(key, runner);
    return runner;
}

void EncoderSupport::runTest(const QString &key, const QString &ffmpeg,
                             const QStringList &arguments, std::function<void(bool)> done)
{
    ProcessRunner *test = startRunner(key);
    connect(test, &ProcessRunner::failedToStart, this, [test, done] {
        test->deleteLater();
        done(false);
    });
    connect(test, &ProcessRunner::finished, this, [test, done](int status, bool crashed) {
        test->deleteLater();
        done(status == 0 && !crashed && !test->timedOut());
    });
    test->start(ffmpeg, arguments);
}
