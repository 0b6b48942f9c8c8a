#include "TestSupport.h"
#include "transcode/EncoderSupport.h"

#include <QFile>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {

// Asks `support` and waits for the answer.
bool ask(EncoderSupport &support, const QString &ffmpeg, const QString &encoder)
{
    std::optional<bool> answer;
    QObject context;
    if (encoder.isEmpty())
        support.checkHevcAlpha(ffmpeg, &context, [&](bool works) { answer = works; });
    else
        support.checkEncoder(ffmpeg, encoder, &context, [&](bool works) { answer = works; });
    if (answer)
        qFatal("answered before returning");
    if (!QTest::qWaitFor([&] { return answer.has_value(); }, 30000))
        qFatal("no answer");
    return *answer;
}

} // namespace

class TestEncoderSupport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void substitution_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("unavailable");
        QTest::addColumn<QStringList>("expected");
        const QStringList h264{u"-c:v"_s, u"h264_videotoolbox"_s, u"-b:v"_s, u"10000k"_s};
        QTest::newRow("h264") << h264 << QStringList{u"h264_videotoolbox"_s}
                              << QStringList{u"-c:v"_s, u"libx264"_s, u"-b:v"_s, u"10000k"_s};
        QTest::newRow("available stays") << h264 << QStringList{} << h264;
        QTest::newRow("hevc alpha drops allow_sw")
            << QStringList{u"-c:v"_s, u"hevc_videotoolbox"_s, u"-allow_sw"_s,
                           u"1"_s,    u"-pix_fmt"_s,          u"bgra"_s}
            << QStringList{u"hevc_videotoolbox"_s}
            << QStringList{u"-c:v"_s, u"libx265"_s, u"-pix_fmt"_s, u"bgra"_s};
        QTest::newRow("prores pass")
            << QStringList{u"-i"_s,         u"in.mov"_s, u"-c:v"_s,        u"prores_videotoolbox"_s,
                           u"-profile:v"_s, u"4444"_s,   u"-alpha_bits"_s, u"16"_s,
                           u"-y"_s,         u"out.mov"_s}
            << QStringList{u"prores_videotoolbox"_s}
            << QStringList{u"-i"_s,   u"in.mov"_s,      u"-c:v"_s, u"prores_ks"_s, u"-profile:v"_s,
                           u"4444"_s, u"-alpha_bits"_s, u"16"_s,   u"-y"_s,        u"out.mov"_s};
        // A file that happens to be called like an encoder is not an encoder.
        QTest::newRow("only after -c:v")
            << QStringList{u"-i"_s, u"h264_videotoolbox"_s, u"-c:v"_s, u"h264_videotoolbox"_s}
            << QStringList{u"h264_videotoolbox"_s}
            << QStringList{u"-i"_s, u"h264_videotoolbox"_s, u"-c:v"_s, u"libx264"_s};
    }

    void substitution()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, unavailable);
        QTEST(EncoderFallback::substitute(arguments, unavailable), "expected");
    }

    void hardwareEncodersAreFoundOnlyAfterCv()
    {
        QCOMPARE(
            EncoderFallback::hardwareEncodersIn({u"-i"_s, u"prores_videotoolbox"_s, u"-c:v"_s,
                                                 u"hevc_videotoolbox"_s, u"-c:v"_s, u"libx264"_s}),
            QStringList{u"hevc_videotoolbox"_s});
    }

    void theInstalledFFmpeg()
    {
        const QString ffmpeg = QStandardPaths::findExecutable(u"ffmpeg"_s);
        EncoderSupport support;
        QCOMPARE(ask(support, ffmpeg, u"libx264"_s), true);
        QCOMPARE(ask(support, ffmpeg, u"prores_ks"_s), true);
        // Debian's ffmpeg: no VideoToolbox, no HEVC encoder that keeps alpha.
        QCOMPARE(ask(support, ffmpeg, u"h264_videotoolbox"_s), false);
        QCOMPARE(ask(support, ffmpeg, QString()), false);
    }

    void ffmpegIsAskedOncePerQuestion()
    {
        QTemporaryDir dir;
        const QString ffmpeg =
            writeTool(dir.path(), u"ffmpeg"_s,
                      "echo called >> \"$(dirname \"$0\")/calls\"\nsleep 0.2\nexit 0\n");
        EncoderSupport support;
        // Two askers while the first question is still open, one of them gone by the answer.
        int answers = 0;
        QObject keeps;
        auto *leaves = new QObject;
        support.checkEncoder(ffmpeg, u"libx264"_s, &keeps, [&](bool) { ++answers; });
        support.checkEncoder(ffmpeg, u"libx264"_s, leaves, [&](bool) { ++answers; });
        delete leaves;
        QTRY_COMPARE(answers, 1);
        QCOMPARE(ask(support, ffmpeg, u"libx264"_s), true);
        QFile calls(dir.filePath(u"calls"_s));
        QVERIFY(calls.open(QIODevice::ReadOnly));
        QCOMPARE(calls.readAll(), QByteArray("called\n"));
        // Another ffmpeg is another question.
        const QString other = writeTool(dir.path(), u"other"_s, "exit 1\n");
        QCOMPARE(ask(support, other, u"libx264"_s), false);
    }

    void hevcAlphaNeedsTheFormatAndAWorkingEncode_data()
    {
        QTest::addColumn<QByteArray>("help");
        QTest::addColumn<int>("encodeStatus");
        QTest::addColumn<bool>("available");
        const QByteArray listed = "    Supported pixel formats: yuv420p yuva420p\\n";
        QTest::newRow("listed and works") << listed << 0 << true;
        QTest::newRow("listed, x265 without alpha") << listed << 1 << false;
        QTest::newRow("not listed")
            << QByteArray("    Supported pixel formats: yuv420p\\n") << 0 << false;
    }

    void hevcAlphaNeedsTheFormatAndAWorkingEncode()
    {
        QFETCH(QByteArray, help);
        QFETCH(int, encodeStatus);
        QTemporaryDir dir;
        const QString ffmpeg =
            writeTool(dir.path(), u"ffmpeg"_s,
                      "case \"$*\" in *\"-h encoder=libx265\"*) printf '" + help +
                          "'; exit 0;; esac\n" + "exit " + QByteArray::number(encodeStatus) + "\n");
        EncoderSupport support;
        QTEST(ask(support, ffmpeg, QString()), "available");
    }
};

QTEST_GUILESS_MAIN(TestEncoderSupport)
#include "tst_encodersupport.moc"
