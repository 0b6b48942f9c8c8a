#include "transcode/ProgressParser.h"

#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;

class TestProgressParser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<double>("duration");
        QTest::addColumn<double>("result"); // NaN: no value
        QTest::addColumn<qint64>("frame");
        QTest::addColumn<double>("fps");
        QTest::addColumn<double>("bitrate");
        QTest::addColumn<double>("speed");
        QTest::addColumn<double>("currentTime");

        const double none = qQNaN();
        // Starting figures: frame 7, fps 9, bitrate 3, speed 2, 6 seconds written.
        QTest::newRow("frame") << u"frame=1200"_s << 0.0 << none << qint64(1200) << 9.0 << 3.0
                               << 2.0 << 6.0;
        QTest::newRow("frame signed")
            << u"frame=+12"_s << 0.0 << none << qint64(12) << 9.0 << 3.0 << 2.0 << 6.0;
        QTest::newRow("frame not a number")
            << u"frame=abc"_s << 0.0 << none << qint64(0) << 9.0 << 3.0 << 2.0 << 6.0;
        QTest::newRow("frame blank value")
            << u"frame= "_s << 0.0 << none << qint64(0) << 9.0 << 3.0 << 2.0 << 6.0;
        QTest::newRow("frame overflow") << u"frame=99999999999999999999"_s << 0.0 << none
                                        << qint64(0) << 9.0 << 3.0 << 2.0 << 6.0;
        QTest::newRow("fps") << u"fps=29.97"_s << 0.0 << none << qint64(7) << 29.97 << 3.0 << 2.0
                             << 6.0;
        QTest::newRow("fps N/A") << u"fps=N/A"_s << 0.0 << none << qint64(7) << 0.0 << 3.0 << 2.0
                                 << 6.0;
        QTest::newRow("bitrate") << u"bitrate=1234.5kbits/s"_s << 0.0 << none << qint64(7) << 9.0
                                 << 1.2345 << 2.0 << 6.0;
        QTest::newRow("bitrate N/A")
            << u"bitrate=N/A"_s << 0.0 << none << qint64(7) << 9.0 << 3.0 << 2.0 << 6.0;
        QTest::newRow("bitrate junk")
            << u"bitrate=fast"_s << 0.0 << none << qint64(7) << 9.0 << 0.0 << 2.0 << 6.0;
        QTest::newRow("speed") << u"speed=2.5x"_s << 0.0 << none << qint64(7) << 9.0 << 3.0 << 2.5
                               << 6.0;
        QTest::newRow("speed padded")
            << u"speed= 1.02x"_s << 0.0 << none << qint64(7) << 9.0 << 3.0 << 1.02 << 6.0;
        QTest::newRow("speed N/A")
            << u"speed=N/A"_s << 0.0 << none << qint64(7) << 9.0 << 3.0 << 2.0 << 6.0;
        QTest::newRow("out_time half") << u"out_time=00:00:30.000000"_s << 60.0 << 0.5 << qint64(7)
                                       << 9.0 << 3.0 << 2.0 << 30.0;
        QTest::newRow("out_time no duration") << u"out_time=00:00:30.000000"_s << 0.0 << none
                                              << qint64(7) << 9.0 << 3.0 << 2.0 << 30.0;
        QTest::newRow("out_time beyond") << u"out_time=01:00:00.000000"_s << 10.0 << 1.0
                                         << qint64(7) << 9.0 << 3.0 << 2.0 << 3600.0;
        QTest::newRow("out_time minutes") << u"out_time=00:01:02.500000"_s << 125.0 << 0.5
                                          << qint64(7) << 9.0 << 3.0 << 2.0 << 62.5;
        QTest::newRow("out_time two pieces")
            << u"out_time=00:30"_s << 12.0 << 0.5 << qint64(7) << 9.0 << 3.0 << 2.0 << 6.0;
        QTest::newRow("out_time negative") << u"out_time=-01:00:00.000000"_s << 3600.0 << -1.0
                                           << qint64(7) << 9.0 << 3.0 << 2.0 << -3600.0;
        QTest::newRow("out_time N/A")
            << u"out_time=N/A"_s << 12.0 << 0.5 << qint64(7) << 9.0 << 3.0 << 2.0 << 6.0;
        QTest::newRow("progress end")
            << u"progress=end"_s << 0.0 << 1.0 << qint64(7) << 9.0 << 3.0 << 2.0 << 6.0;
        QTest::newRow("progress continue")
            << u"progress=continue"_s << 12.0 << 0.5 << qint64(7) << 9.0 << 3.0 << 2.0 << 6.0;
        QTest::newRow("other key, tail rule")
            << u"total_size=1024"_s << 24.0 << 0.25 << qint64(7) << 9.0 << 3.0 << 2.0 << 6.0;
        QTest::newRow("key case matters")
            << u"Frame=5"_s << 0.0 << none << qint64(7) << 9.0 << 3.0 << 2.0 << 6.0;
        QTest::newRow("no equals")
            << u"garbage"_s << 12.0 << none << qint64(7) << 9.0 << 3.0 << 2.0 << 6.0;
        QTest::newRow("two equals")
            << u"a=b=c"_s << 12.0 << none << qint64(7) << 9.0 << 3.0 << 2.0 << 6.0;
        QTest::newRow("nothing after equals")
            << u"frame="_s << 12.0 << none << qint64(7) << 9.0 << 3.0 << 2.0 << 6.0;
        QTest::newRow("blanks around")
            << u"\t fps \t=\t 25 "_s << 0.0 << none << qint64(7) << 25.0 << 3.0 << 2.0 << 6.0;
    }

    void lines()
    {
        QFETCH(QString, line);
        QFETCH(double, duration);
        QFETCH(double, result);
        ProgressParser parser;
        parser.frame = 7;
        parser.fps = 9;
        parser.bitrate = 3;
        parser.speed = 2;
        parser.currentTime = 6;

        const std::optional<double> fraction = parser.parseProgressLine(line, duration);
        if (qIsNaN(result))
            QVERIFY2(!fraction.has_value(), qPrintable(QString::number(fraction.value_or(0))));
        else
            QCOMPARE(fraction.value_or(qQNaN()), result);
        QTEST(parser.frame, "frame");
        QTEST(parser.fps, "fps");
        QTEST(parser.bitrate, "bitrate");
        QTEST(parser.speed, "speed");
        QTEST(parser.currentTime, "currentTime");
        QCOMPARE(parser.totalDuration, 0.0);
    }

    void aStreamFromFFmpeg()
    {
        ProgressParser parser;
        QList<double> fractions;
        const char *block[] = {"frame=0",
                               "fps=0.00",
                               "bitrate=N/A",
                               "out_time=00:00:00.000000",
                               "speed=N/A",
                               "progress=continue",
                               "frame=50",
                               "fps=49.5",
                               "bitrate=2000.0kbits/s",
                               "out_time=00:00:02.000000",
                               "speed=1.98x",
                               "progress=continue",
                               "frame=100",
                               "out_time=00:00:04.000000",
                               "progress=end"};
        for (const char *line : block) {
            if (const auto fraction = parser.parseProgressLine(QString::fromLatin1(line), 4.0))
                fractions << *fraction;
        }
        // Nothing until time has passed, then a value at nearly every line.
        QCOMPARE(fractions, (QList<double>{0.0, 0.5, 0.5, 0.5, 0.5, 1.0, 1.0}));
        QCOMPARE(parser.frame, 100);
        QCOMPARE(parser.bitrate, 2.0);
        QCOMPARE(parser.speed, 1.98);

        parser.reset();
        QCOMPARE(parser.currentTime, 0.0);
        QVERIFY(!parser.parseProgressLine(u"frame=1"_s, 4.0).has_value());
    }
};

QTEST_GUILESS_MAIN(TestProgressParser)
#include "tst_progressparser.moc"
