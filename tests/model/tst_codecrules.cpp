#include "model/CodecRules.h"
#include "model/TranscodeViewModel.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(CodecRuleSettings)

class TestCodecRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The effect of choosing each codec, from a state where every rule has something to do.
    void afterCodecChange_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<bool>("alpha");

        QTest::newRow("h264 hw") << u"H.264 (硬件加速)"_s << u"mp4"_s << u"422"_s << true;
        QTest::newRow("hevc hw") << u"HEVC (硬件加速)"_s << u"mp4"_s << u"422"_s << true;
        QTest::newRow("prores hw") << u"ProRes (硬件加速)"_s << u"mov"_s << u"422 HQ"_s << false;
        QTest::newRow("h264 sw") << u"H.264 (软件编码)"_s << u"mp4"_s << u"422"_s << true;
        QTest::newRow("hevc sw") << u"HEVC (软件编码)"_s << u"mp4"_s << u"422"_s << true;
        QTest::newRow("prores sw") << u"ProRes (软件编码)"_s << u"mov"_s << u"422 HQ"_s << true;
        QTest::newRow("av1") << u"AV1 (软件编码)"_s << u"mp4"_s << u"422"_s << true;
    }

    void afterCodecChange()
    {
        QFETCH(QString, codec);
        const CodecRuleSettings after =
            CodecRules::afterCodecChange({codec, u"mp4"_s, u"422 HQ"_s, true});
        QCOMPARE(after.codec, codec);
        QTEST(after.container, "container");
        QTEST(after.proResProfile, "profile");
        QTEST(after.enableAlpha, "alpha");
    }

    void hardwareProResKeepsAlphaOnlyWith4444()
    {
        for (const QString &profile : Choices::proResProfiles()) {
            const CodecRuleSettings after =
                CodecRules::apply({u"ProRes (硬件加速)"_s, u"mov"_s, profile, true});
            QCOMPARE(after.proResProfile, profile);
            QCOMPARE(after.enableAlpha, profile.contains(u"4444"));
        }
    }

    void ruleDoesNotRunUntilTheNextTurn()
    {
        TranscodeViewModel model;
        model.setSelectedCodec(u"ProRes (软件编码)"_s);
        QCOMPARE(model.selectedContainer(), u"mp4"_s);
        QTRY_COMPARE(model.selectedContainer(), u"mov"_s);
        QCOMPARE(model.selectedProResProfile(), u"422"_s);
    }

    void proResBackToH264KeepsMovAndResetsProfile()
    {
        TranscodeViewModel model;
        model.setSelectedCodec(u"ProRes (硬件加速)"_s);
        model.settleCodecRules();
        model.setSelectedProResProfile(u"422 HQ"_s);
        model.settleCodecRules();
        model.setSelectedCodec(u"H.264 (硬件加速)"_s);
        model.settleCodecRules();
        QCOMPARE(model.selectedContainer(), u"mov"_s);
        QCOMPARE(model.selectedProResProfile(), u"422"_s);
    }

    void profileChangesWithAlphaOn_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<bool>("alpha");
        QTest::newRow("hw 422 HQ") << u"ProRes (硬件加速)"_s << u"422 HQ"_s << false;
        QTest::newRow("hw 4444 XQ") << u"ProRes (硬件加速)"_s << u"4444 XQ"_s << true;
        QTest::newRow("sw 422 HQ") << u"ProRes (软件编码)"_s << u"422 HQ"_s << true;
        QTest::newRow("sw 422 Proxy") << u"ProRes (软件编码)"_s << u"422 Proxy"_s << true;
    }

    void profileChangesWithAlphaOn()
    {
        QFETCH(QString, codec);
        QFETCH(QString, profile);
        TranscodeViewModel model;
        model.setSelectedCodec(codec);
        model.setSelectedProResProfile(u"4444"_s);
        model.setEnableAlpha(true);
        model.settleCodecRules();
        QCOMPARE(model.enableAlpha(), true);

        model.setSelectedProResProfile(profile);
        model.settleCodecRules();
        QTEST(model.enableAlpha(), "alpha");
        QCOMPARE(model.selectedProResProfile(), profile);
    }

    void resolutionOrFrameRateChangeRunsTheRules()
    {
        TranscodeViewModel model;
        model.setSelectedCodec(u"ProRes (硬件加速)"_s);
        model.setSelectedProResProfile(u"422 LT"_s);
        model.settleCodecRules();
        // Alpha switched on behind the rules' back (no rule watches the switch) ...
        model.setEnableAlpha(true);
        model.settleCodecRules();
        QCOMPARE(model.enableAlpha(), true);
        // ... is corrected by the next watched change.
        model.setSelectedFrameRate(u"25"_s);
        model.settleCodecRules();
        QCOMPARE(model.enableAlpha(), false);

        model.setEnableAlpha(true);
        model.setSelectedResolution(u"1920x1080"_s);
        QTRY_COMPARE(model.enableAlpha(), false);
    }

    void hevcWithAlphaToAv1KeepsAlpha()
    {
        TranscodeViewModel model;
        model.applyPreset(model.presets().at(1)); // HEVC透明
        model.settleCodecRules();
        QCOMPARE(model.enableAlpha(), true);
        model.setSelectedCodec(u"AV1 (软件编码)"_s);
        model.settleCodecRules();
        QCOMPARE(model.enableAlpha(), true);
        QCOMPARE(model.selectedProResProfile(), u"422"_s);
        QCOMPARE(model.supportsAlpha(), false);
    }

    void containerChoiceSurvivesUntilTheNextCodecChange()
    {
        TranscodeViewModel model;
        model.applyPreset(model.presets().at(4)); // ProRes 4444透明
        model.settleCodecRules();
        QCOMPARE(model.selectedContainer(), u"mov"_s);

        model.setSelectedContainer(u"mp4"_s);
        model.setSelectedProResProfile(u"422"_s);
        model.setSelectedResolution(u"1280x720"_s);
        model.setSelectedFrameRate(u"30"_s);
        QTest::qWait(20);
        QCOMPARE(model.selectedContainer(), u"mp4"_s);
        QCOMPARE(model.enableAlpha(), false);

        model.setSelectedCodec(u"ProRes (软件编码)"_s);
        QTRY_COMPARE(model.selectedContainer(), u"mov"_s);
    }

    void presetThenCodecChange()
    {
        TranscodeViewModel model;
        model.applyPreset(model.presets().at(2)); // ProRes代理: hw ProRes, 422 Proxy
        model.settleCodecRules();
        model.setSelectedContainer(u"mp4"_s);
        model.setSelectedCodec(u"HEVC (软件编码)"_s);
        model.settleCodecRules();
        QCOMPARE(model.selectedContainer(), u"mp4"_s);
        QCOMPARE(model.selectedProResProfile(), u"422"_s);
        model.setSelectedCodec(u"ProRes (软件编码)"_s);
        model.settleCodecRules();
        QCOMPARE(model.selectedContainer(), u"mov"_s);
        QCOMPARE(model.selectedProResProfile(), u"422"_s);
    }

    void eachRealChangeRunsTheCodecRuleOnce()
    {
        TranscodeViewModel model;
        int containerWrites = 0;
        connect(&model, &TranscodeViewModel::selectedContainerChanged, this,
                [&] { ++containerWrites; });

        // A codec that changes and changes back before the next turn runs nothing.
        model.setSelectedCodec(u"ProRes (软件编码)"_s);
        model.setSelectedCodec(u"H.264 (硬件加速)"_s);
        QTest::qWait(20);
        QCOMPARE(model.selectedContainer(), u"mp4"_s);

        // A real change runs the rule once, even when the rule sees nothing to do.
        model.setSelectedCodec(u"ProRes (软件编码)"_s);
        QTRY_COMPARE(model.selectedContainer(), u"mov"_s);
        QCOMPARE(containerWrites, 1);
        model.setSelectedContainer(u"mp4"_s);
        QTest::qWait(20);
        QCOMPARE(model.selectedContainer(), u"mp4"_s);
        QCOMPARE(containerWrites, 2);
    }

    void constructionRunsNoRule()
    {
        TranscodeViewModel model;
        QSignalSpy profile(&model, &TranscodeViewModel::selectedProResProfileChanged);
        QSignalSpy container(&model, &TranscodeViewModel::selectedContainerChanged);
        QTest::qWait(20);
        QCOMPARE(profile.size(), 0);
        QCOMPARE(container.size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestCodecRules)
#include "tst_codecrules.moc"
