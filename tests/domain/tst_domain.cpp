#include "domain/Choices.h"
#include "domain/FileUrls.h"
#include "domain/NumberText.h"
#include "domain/SettingsRules.h"
#include "domain/Trace.h"

#include <QSet>
#include <QTest>

#include <cmath>

using namespace Qt::StringLiterals;

class TestDomain : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each codec chosen from a state where every rule has something to do.
    void codecRules_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<bool>("alpha");
        QTest::addColumn<bool>("bitrate");
        QTest::addColumn<bool>("alphaOffered");
        QTest::newRow("h264 hw") << u"H.264 (硬件加速)"_s << u"mp4"_s << u"422"_s << true << true
                                 << false;
        QTest::newRow("hevc hw") << u"HEVC (硬件加速)"_s << u"mp4"_s << u"422"_s << true << true
                                 << true;
        QTest::newRow("prores hw")
            << u"ProRes (硬件加速)"_s << u"mov"_s << u"422 HQ"_s << false << false << false;
        QTest::newRow("prores sw")
            << u"ProRes (软件编码)"_s << u"mov"_s << u"422 HQ"_s << true << false << false;
        QTest::newRow("av1") << u"AV1 (软件编码)"_s << u"mp4"_s << u"422"_s << true << true
                             << false;
    }

    void codecRules()
    {
        QFETCH(QString, codec);
        TranscodeSettings before;
        before.proResProfile = u"422 HQ"_s;
        before.enableAlpha = true;
        const TranscodeSettings after = SettingsRules::withCodec(before, codec);
        QTEST(after.container, "container");
        QTEST(after.proResProfile, "profile");
        QTEST(after.enableAlpha, "alpha");
        QTEST(SettingsRules::supportsBitrate(codec), "bitrate");
        QTEST(SettingsRules::supportsAlpha(codec, after.proResProfile), "alphaOffered");
        // A container chosen by hand stays until the codec changes again.
        QCOMPARE(SettingsRules::withResolution(SettingsRules::withContainer(after, u"mp4"_s),
                                               u"1280x720"_s)
                     .container,
                 u"mp4"_s);
    }

    void onlyHardwareProResNeeds4444ForAlpha()
    {
        TranscodeSettings settings;
        settings.codec = Codec::ProResHardware;
        settings.enableAlpha = true;
        for (const QString &profile : Choices::proResProfiles()) {
            QCOMPARE(SettingsRules::withProResProfile(settings, profile).enableAlpha,
                     profile.contains(u"4444"));
            QCOMPARE(SettingsRules::supportsAlpha(u"ProRes (软件编码)"_s, profile),
                     profile.contains(u"4444"));
        }
    }

    // One rule for every way a bitrate arrives: a codec that needs one never gets less than
    // 1 kbit/s, and a preset without one keeps the last valid one.
    void oneBitrateRule_data()
    {
        QTest::addColumn<double>("mbps");
        QTest::addColumn<qint64>("kbps"); // -1: refused, the last one kept
        QTest::newRow("plain") << 2.5 << qint64(2500);
        QTest::newRow("truncated") << 1.005 << qint64(1004);
        QTest::newRow("smallest") << 0.001 << qint64(1);
        QTest::newRow("rounds to 0") << 0.0004 << qint64(-1);
        QTest::newRow("zero") << 0.0 << qint64(-1);
        QTest::newRow("negative") << -2.5 << qint64(-1);
        QTest::newRow("too large") << 9.3e15 << qint64(-1);
        QTest::newRow("not a number") << std::nan("") << qint64(-1);
    }

    void oneBitrateRule()
    {
        QFETCH(double, mbps);
        QFETCH(qint64, kbps);
        QCOMPARE(SettingsRules::bitrateKbps(mbps).value_or(-1), kbps);
        const TranscodeSettings after = SettingsRules::withBitrate(TranscodeSettings(), mbps);
        QCOMPARE(after.bitrate, kbps < 0 ? 10.0 : mbps);

        // "ProRes代理" holds no bitrate: HEVC chosen after it has a bitrate to give ffmpeg.
        const TranscodePreset proxy = Choices::makePresets().at(2);
        TranscodeSettings settings = SettingsRules::withBitrate(TranscodeSettings(), 4.0);
        settings = SettingsRules::withCodec(SettingsRules::withPreset(settings, proxy),
                                            Codec::HevcSoftware);
        QCOMPARE(settings.bitrate, 4.0);
    }

    // A preset is applied whole, with the rules, and its one special case is its own data.
    void presetsApplyWhole()
    {
        TranscodeSettings settings;
        settings.overwriteOriginal = true;
        settings.proResProfile = u"4444 XQ"_s;
        for (const TranscodePreset &preset : Choices::makePresets()) {
            const TranscodeSettings after = SettingsRules::withPreset(settings, preset);
            QCOMPARE(after, SettingsRules::applyCodecRules(after));
            QCOMPARE(after.codec, preset.codec);
            QCOMPARE(after.overwriteOriginal, preset.name != u"AV1极致压缩"_s);
        }
    }

    void optionTables()
    {
        QCOMPARE(Choices::frameRates().join(u','),
                 u"原始帧率,120,119.98,60,59.94,30,29.97,25,24,23.98"_s);
        QCOMPARE(Choices::containers(), (QStringList{u"mov"_s, u"mp4"_s}));
        QCOMPARE(Choices::videoExtensions().size(), 36);
        QCOMPARE(Choices::videoExtensions().last(), u"dvr-ms"_s);
        const QList<TranscodePreset> presets = Choices::makePresets();
        QSet<QUuid> ids;
        for (const TranscodePreset &preset : presets)
            ids << preset.id;
        QCOMPARE(ids.size(), 6);
        TranscodePreset renamed = presets[0];
        renamed.name = u"other"_s;
        QCOMPARE(renamed, presets[0]); // equal by id alone
        QCOMPARE(qHash(renamed), qHash(presets[0]));
        QVERIFY(presets[0] != presets[1]);
    }

    void numbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isInteger");
        QTest::addColumn<bool>("isNumber");
        QTest::newRow("integer") << u"-42"_s << true << true;
        QTest::newRow("decimal") << u"2.5"_s << false << true;
        QTest::newRow("exponent") << u"1e3"_s << false << true;
        QTest::newRow("leading blank") << u" 7"_s << false << false;
        QTest::newRow("trailing text") << u"7x"_s << false << false;
        QTest::newRow("trailing blank") << u"7 "_s << false << false;

        QTest::newRow("overflow") << u"99999999999999999999"_s << false << true;
        QTest::newRow("bare sign") << u"-"_s << false << false;
        QTest::newRow("infinity") << u"1e999"_s << false << false;
        QTest::newRow("empty") << QString() << false << false;
    }

    void numbers()
    {
        QFETCH(QString, text);
        QTEST(parseWholeInteger(text).has_value(), "isInteger");
        QTEST(parseWholeNumber(text).has_value(), "isNumber");
    }

    void urls()
    {
        const QUrl folder = QUrl::fromLocalFile(u"/A/片段 b/"_s);
        QVERIFY(hasDirectoryPath(folder));
        QCOMPARE(filePath(folder), u"/A/片段 b"_s);
        QCOMPARE(lastPathComponent(folder), u"片段 b"_s);
        const QUrl file = QUrl::fromLocalFile(u"/A/clip.final.MOV"_s);
        QVERIFY(!hasDirectoryPath(file));
        QCOMPARE(pathExtension(file), u"MOV"_s);
        QCOMPARE(pathExtension(QUrl::fromLocalFile(u"/A/README"_s)), QString());
        QCOMPARE(lastPathComponent(QUrl::fromLocalFile(u"/"_s)), u"/"_s);
    }

    void controlCharactersAreEscaped()
    {
        QCOMPARE(escapeControlCharacters(u"a\nb\rc\td\x1b[31me\x7f"_s),
                 u"a\\nb\\rc\\td\\x1B[31me\\x7F"_s);
        QCOMPARE(escapeControlCharacters(u"片段 é.mp4"_s), u"片段 é.mp4"_s);
    }
};

QTEST_GUILESS_MAIN(TestDomain)
#include "tst_domain.moc"
