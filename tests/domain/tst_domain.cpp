#include "domain/Choices.h"
#include "domain/CodecRules.h"
#include "domain/FileUrls.h"
#include "domain/NumberText.h"
#include "domain/Trace.h"

#include <QSet>
#include <QTest>

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
        const CodecRuleSettings after =
            CodecRules::afterCodecChange({codec, u"mp4"_s, u"422 HQ"_s, true});
        QTEST(after.container, "container");
        QTEST(after.proResProfile, "profile");
        QTEST(after.enableAlpha, "alpha");
        QTEST(CodecRules::supportsBitrate(codec), "bitrate");
        QTEST(CodecRules::supportsAlpha(codec, after.proResProfile), "alphaOffered");
    }

    void onlyHardwareProResNeeds4444ForAlpha()
    {
        for (const QString &profile : Choices::proResProfiles()) {
            QCOMPARE(
                CodecRules::apply({u"ProRes (硬件加速)"_s, u"mov"_s, profile, true}).enableAlpha,
                profile.contains(u"4444"));
            QCOMPARE(CodecRules::supportsAlpha(u"ProRes (软件编码)"_s, profile),
                     profile.contains(u"4444"));
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
