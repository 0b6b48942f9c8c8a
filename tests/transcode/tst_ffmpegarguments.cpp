#include "model/TranscodeViewModel.h"
#include "transcode/FFmpegArguments.h"

#include <QTest>

#include <limits>

using namespace Qt::StringLiterals;

class TestFFmpegArguments : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bitrateArgument_data()
    {
        QTest::addColumn<double>("mbps");
        QTest::addColumn<QString>("expected"); // empty: refused
        QTest::newRow("10.0") << 10.0 << u"10000k"_s;
        QTest::newRow("5.0") << 5.0 << u"5000k"_s;
        QTest::newRow("1.0") << 1.0 << u"1000k"_s;
        QTest::newRow("2.5") << 2.5 << u"2500k"_s;
        QTest::newRow("1.005 truncates") << 1.005 << u"1004k"_s;
        QTest::newRow("0.0004") << 0.0004 << u"0k"_s;
        QTest::newRow("zero") << 0.0 << u"0k"_s;
        QTest::newRow("negative") << -2.5 << u"-2500k"_s;
        QTest::newRow("small negative") << -0.0004 << u"0k"_s;
        QTest::newRow("no grouping") << 123456.789 << u"123456789k"_s;
        QTest::newRow("large but fits") << 9.2e15 << u"9200000000000000000k"_s;
        QTest::newRow("2^63 kbit/s") << 9223372036854775.808 << QString();
        QTest::newRow("-2^63 kbit/s") << -9223372036854775.808 << QString();
        QTest::newRow("huge") << 1e300 << QString();
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << QString();
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << QString();
    }

    void bitrateArgument()
    {
        QFETCH(double, mbps);
        QFETCH(QString, expected);
        const std::optional<QString> argument = ::bitrateArgument(mbps);
        QCOMPARE(argument.value_or(QString()), expected);
    }

    void proResProfileNumber_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("number");
        QTest::newRow("proxy") << u"422 Proxy"_s << u"0"_s;
        QTest::newRow("lt") << u"422 LT"_s << u"1"_s;
        QTest::newRow("422") << u"422"_s << u"2"_s;
        QTest::newRow("hq") << u"422 HQ"_s << u"3"_s;
        QTest::newRow("4444") << u"4444"_s << u"4"_s;
        QTest::newRow("xq") << u"4444 XQ"_s << u"5"_s;
        QTest::newRow("empty") << QString() << u"2"_s;
        QTest::newRow("other") << u"4444xq"_s << u"2"_s;
    }

    void proResProfileNumber()
    {
        QFETCH(QString, profile);
        QTEST(::proResProfileNumber(profile), "number");
    }

    void arguments_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<double>("bitrate");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<bool>("alpha");
        QTest::addColumn<QString>("resolution");
        QTest::addColumn<QString>("frameRate");
        QTest::addColumn<QString>("expected"); // arguments joined by " | "

        const QString keep = u"原始分辨率"_s;
        const QString keepRate = u"原始帧率"_s;
        QTest::newRow("initial") << u"H.264 (硬件加速)"_s << 10.0 << u"422"_s << false << keep
                                 << keepRate
                                 << u"-c:v | h264_videotoolbox | -b:v | 10000k | -movflags | "
                                    "+faststart | -c:a | aac | -strict | experimental"_s;
        QTest::newRow("hevc sw 4k 59.94")
            << u"HEVC (软件编码)"_s << 8.0 << u"422"_s << false << u"3840x2160"_s << u"59.94"_s
            << u"-c:v | libx265 | -b:v | 8000k | -tag:v | hvc1 | "
               "-vf | scale=3840x2160 | -r | 59.94"_s;
        QTest::newRow("hevc sw alpha")
            << u"HEVC (软件编码)"_s << 20.0 << u"422"_s << true << keep << keepRate
            << u"-c:v | libx265 | -pix_fmt | bgra | -alpha_quality | "
               "0.9 | -b:v | 20000k | -tag:v | hvc1"_s;
        QTest::newRow("hevc hw no alpha")
            << u"HEVC (硬件加速)"_s << 2.5 << u"422"_s << false << keep << keepRate
            << u"-c:v | hevc_videotoolbox | -b:v | 2500k | -tag:v | "
               "hvc1"_s;
        QTest::newRow("h264 sw alpha ignored")
            << u"H.264 (软件编码)"_s << 0.0 << u"422"_s << true << keep << u"25"_s
            << u"-c:v | libx264 | -b:v | 0k | -movflags | "
               "+faststart | -c:a | aac | -strict | "
               "experimental | -r | 25"_s;
        QTest::newRow("prores sw xq, bitrate ignored")
            << u"ProRes (软件编码)"_s << 50.0 << u"4444 XQ"_s << true << keep << keepRate
            << u"-c:v | prores_ks | -profile:v | 5"_s;
        QTest::newRow("prores sw empty profile")
            << u"ProRes (软件编码)"_s << 0.0 << QString() << false << keep << keepRate
            << u"-c:v | prores_ks | -profile:v | 2"_s;
        QTest::newRow("av1 alpha ignored, scale and rate")
            << u"AV1 (软件编码)"_s << 1.005 << u"422"_s << true << u"1280x720"_s << u"25"_s
            << u"-c:v | libsvtav1 | -b:v | 1004k | -preset | 8 | -svtav1-params | "
               "tune=0:fast-decode=1 | -pix_fmt | yuv420p | -strict | experimental | -vf | "
               "scale=1280x720 | -r | 25"_s;
        QTest::newRow("unknown codec") << u"VP9"_s << 10.0 << u"422"_s << false << u"1920x1080"_s
                                       << u"119.98"_s << u"-vf | scale=1920x1080 | -r | 119.98"_s;
        QTest::newRow("unknown codec, unknown rate") << u"h.264 (硬件加速)"_s << 10.0 << u"422"_s
                                                     << false << keep << u"abc"_s << u"-r | abc"_s;
        QTest::newRow("prores ignores a bitrate it could not write")
            << u"ProRes (硬件加速)"_s << std::numeric_limits<double>::infinity() << u"422 LT"_s
            << false << keep << keepRate << u"-c:v | prores_videotoolbox | -profile:v | 1"_s;
    }

    void arguments()
    {
        QFETCH(QString, codec);
        QFETCH(double, bitrate);
        QFETCH(QString, profile);
        QFETCH(bool, alpha);
        QFETCH(QString, resolution);
        QFETCH(QString, frameRate);
        QFETCH(QString, expected);
        const Result<QStringList> result =
            buildFFmpegArguments({codec, bitrate, profile, alpha, resolution, frameRate});
        QVERIFY(result.ok());
        QCOMPARE(result->join(u" | "_s), expected);
    }

    void unwritableBitrateIsRefused_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<double>("bitrate");
        QTest::newRow("h264 nan") << u"H.264 (硬件加速)"_s
                                  << std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("hevc inf") << u"HEVC (软件编码)"_s
                                  << std::numeric_limits<double>::infinity();
        QTest::newRow("av1 -inf") << u"AV1 (软件编码)"_s
                                  << -std::numeric_limits<double>::infinity();
        QTest::newRow("h264 1e16") << u"H.264 (软件编码)"_s << 1e16;
    }

    void unwritableBitrateIsRefused()
    {
        QFETCH(QString, codec);
        QFETCH(double, bitrate);
        const Result<QStringList> result =
            buildFFmpegArguments({codec, bitrate, u"422"_s, false, u"原始分辨率"_s, u"原始帧率"_s});
        QVERIFY(!result.ok());
        QVERIFY(result.error().description().contains(u"码率无效"));
    }

    void modelBuildsFromItsCurrentSettings()
    {
        TranscodeViewModel model;
        model.applyPreset(model.presets().at(0)); // H264代理
        model.setSelectedFrameRate(u"25"_s);
        // The container takes no part in the settings arguments.
        model.setSelectedContainer(u"mov"_s);
        const Result<QStringList> result = model.buildFFmpegArguments();
        QVERIFY(result.ok());
        QCOMPARE(result->mid(result->size() - 4),
                 (QStringList{u"-vf"_s, u"scale=1280x720"_s, u"-r"_s, u"25"_s}));
        QVERIFY(result->contains(u"+faststart"_s));
    }
};

QTEST_GUILESS_MAIN(TestFFmpegArguments)
#include "tst_ffmpegarguments.moc"
