#include "model/TranscodeViewModel.h"

#include <QMetaProperty>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const TranscodePreset &presetNamed(const TranscodeViewModel &model, const QString &name)
{
    for (const TranscodePreset &preset : model.presets()) {
        if (preset.name == name)
            return preset;
    }
    qFatal("no preset named %s", qPrintable(name));
}

VideoFile fileWithId(const QUuid &id, const QString &name)
{
    VideoFile file;
    file.id = id;
    file.name = name;
    file.url = QUrl::fromLocalFile(u"/videos/"_s + name);
    return file;
}

} // namespace

class TestTranscodeViewModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void publishedPropertiesInDeclarationOrder()
    {
        const QStringList expected{u"videoFiles"_s,
                                   u"isTranscoding"_s,
                                   u"transcodeProgress"_s,
                                   u"currentFileName"_s,
                                   u"currentFileIndex"_s,
                                   u"totalFiles"_s,
                                   u"ffmpegLog"_s,
                                   u"transcodeCompleted"_s,
                                   u"lastOutputDirectory"_s,
                                   u"currentFrame"_s,
                                   u"currentFPS"_s,
                                   u"currentBitrate"_s,
                                   u"currentSpeed"_s,
                                   u"selectedCodec"_s,
                                   u"selectedResolution"_s,
                                   u"selectedFrameRate"_s,
                                   u"selectedColorFormat"_s,
                                   u"selectedContainer"_s,
                                   u"availableContainers"_s,
                                   u"availableColorFormats"_s,
                                   u"useHardwareAcceleration"_s,
                                   u"enableAlpha"_s,
                                   u"selectedBitrate"_s,
                                   u"selectedProResProfile"_s,
                                   u"overwriteOriginal"_s,
                                   u"lastError"_s,
                                   u"runNotice"_s};
        const QMetaObject &meta = TranscodeViewModel::staticMetaObject;
        QStringList names;
        for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
            const QMetaProperty property = meta.property(i);
            QVERIFY2(property.hasNotifySignal(), property.name());
            QVERIFY2(property.isWritable(), property.name());
            names << QString::fromLatin1(property.name());
        }
        QCOMPARE(names, expected);
    }

    void initialValues()
    {
        const TranscodeViewModel model;
        QVERIFY(model.videoFiles().isEmpty());
        QCOMPARE(model.isTranscoding(), false);
        QCOMPARE(model.transcodeProgress(), 0.0);
        QCOMPARE(model.currentFileName(), QString());
        QCOMPARE(model.currentFileIndex(), 0);
        QCOMPARE(model.totalFiles(), 0);
        QCOMPARE(model.ffmpegLog(), QString());
        QCOMPARE(model.transcodeCompleted(), false);
        QCOMPARE(model.lastOutputDirectory(), QString());
        QCOMPARE(model.currentFrame(), 0);
        QCOMPARE(model.currentFPS(), 0.0);
        QCOMPARE(model.currentBitrate(), 0.0);
        QCOMPARE(model.currentSpeed(), 0.0);
        QCOMPARE(model.selectedCodec(), u"H.264 (硬件加速)"_s);
        QCOMPARE(model.selectedResolution(), u"原始分辨率"_s);
        QCOMPARE(model.selectedFrameRate(), u"原始帧率"_s);
        QCOMPARE(model.selectedColorFormat(), u"420 8bit"_s);
        QCOMPARE(model.selectedContainer(), u"mp4"_s);
        QCOMPARE(model.availableContainers(), (QStringList{u"mov"_s, u"mp4"_s}));
        QVERIFY(model.availableColorFormats().isEmpty());
        QCOMPARE(model.useHardwareAcceleration(), true);
        QCOMPARE(model.enableAlpha(), false);
        QCOMPARE(model.selectedBitrate(), 10.0);
        QCOMPARE(model.selectedProResProfile(), u"422"_s);
        QCOMPARE(model.overwriteOriginal(), false);
        QVERIFY(!model.currentVideoTotalDuration().has_value());
    }

    void presetsHaveTheirOwnIds()
    {
        const TranscodeViewModel model;
        QSet<QUuid> ids;
        for (const TranscodePreset &preset : model.presets())
            ids.insert(preset.id);
        QCOMPARE(ids.size(), 6);
        QVERIFY(!ids.contains(QUuid()));
        // Every model makes its own.
        const TranscodeViewModel other;
        QVERIFY(!ids.contains(other.presets().first().id));
    }

    void presetsAreEqualAndHashedByIdAlone()
    {
        const TranscodeViewModel model;
        TranscodePreset renamed = model.presets().first();
        renamed.name = u"另一个名字"_s;
        renamed.bitrate = 99;
        QCOMPARE(renamed, model.presets().first());
        QCOMPARE(qHash(renamed), qHash(model.presets().first()));
        QCOMPARE(std::hash<TranscodePreset>()(renamed),
                 std::hash<TranscodePreset>()(model.presets().first()));
        TranscodePreset sameFields = model.presets().first();
        sameFields.id = QUuid::createUuid();
        QVERIFY(!(sameFields == model.presets().first()));
        QSet<TranscodePreset> set{renamed, model.presets().first(), sameFields};
        QCOMPARE(set.size(), 2);
    }

    void applyPreset_data()
    {
        QTest::addColumn<QString>("preset");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<bool>("alpha");
        QTest::addColumn<double>("bitrate");
        QTest::addColumn<QString>("resolution");

        QTest::newRow("H264代理") << u"H264代理"_s << u"H.264 (硬件加速)"_s << u"mp4"_s << u"422"_s
                                  << false << 5.0 << u"1280x720"_s;
        QTest::newRow("HEVC透明") << u"HEVC透明"_s << u"HEVC (硬件加速)"_s << u"mov"_s << u"422"_s
                                  << true << 20.0 << u"原始分辨率"_s;
        QTest::newRow("ProRes代理") << u"ProRes代理"_s << u"ProRes (硬件加速)"_s << u"mov"_s
                                    << u"422 Proxy"_s << false << 0.0 << u"1280x720"_s;
        QTest::newRow("常规H264") << u"常规H264"_s << u"H.264 (硬件加速)"_s << u"mp4"_s << u"422"_s
                                  << false << 10.0 << u"原始分辨率"_s;
        QTest::newRow("ProRes 4444透明") << u"ProRes 4444透明"_s << u"ProRes (硬件加速)"_s
                                         << u"mov"_s << u"4444"_s << true << 0.0 << u"原始分辨率"_s;
        QTest::newRow("AV1极致压缩") << u"AV1极致压缩"_s << u"AV1 (软件编码)"_s << u"mp4"_s
                                     << u"422"_s << false << 1.0 << u"原始分辨率"_s;
    }

    void applyPreset()
    {
        QFETCH(QString, preset);
        TranscodeViewModel model;
        // Start from settings that every preset has to overwrite.
        model.setSelectedCodec(u"ProRes (软件编码)"_s);
        model.setSelectedContainer(u"mp4"_s);
        model.setSelectedFrameRate(u"25"_s);
        model.setSelectedResolution(u"3840x2160"_s);
        model.setSelectedBitrate(3.5);
        model.setSelectedProResProfile(u"4444 XQ"_s);
        model.setEnableAlpha(true);
        model.settleCodecRules();

        model.applyPreset(presetNamed(model, preset));
        model.settleCodecRules();

        QTEST(model.selectedCodec(), "codec");
        QTEST(model.selectedContainer(), "container");
        QTEST(model.selectedProResProfile(), "profile");
        QTEST(model.enableAlpha(), "alpha");
        QTEST(model.selectedBitrate(), "bitrate");
        QTEST(model.selectedResolution(), "resolution");
        QCOMPARE(model.selectedFrameRate(), u"原始帧率"_s);
        // Carried by the preset, never applied.
        QCOMPARE(model.selectedColorFormat(), u"420 8bit"_s);
        QCOMPARE(model.useHardwareAcceleration(), true);
    }

    void applyPresetAssignsInOrderThenRunsTheRules()
    {
        TranscodeViewModel model;
        QStringList profiles;
        connect(&model, &TranscodeViewModel::selectedProResProfileChanged, this,
                [&] { profiles << model.selectedProResProfile(); });
        model.applyPreset(presetNamed(model, u"H264代理"_s));
        // The empty profile of the preset is written first, then the rules restore "422".
        QCOMPARE(profiles, (QStringList{QString(), u"422"_s}));
    }

    void onlyTheAv1PresetTurnsOverwriteOff()
    {
        TranscodeViewModel model;
        for (const TranscodePreset &preset : model.presets()) {
            model.setOverwriteOriginal(true);
            model.applyPreset(preset);
            QCOMPARE(model.overwriteOriginal(), preset.name != u"AV1极致压缩"_s);
        }
    }

    void derivedFlags_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<bool>("bitrate");
        QTest::addColumn<bool>("alpha");
        QTest::newRow("h264 hw") << u"H.264 (硬件加速)"_s << u"422"_s << true << false;
        QTest::newRow("hevc hw") << u"HEVC (硬件加速)"_s << u"422"_s << true << true;
        QTest::newRow("prores hw 422") << u"ProRes (硬件加速)"_s << u"422"_s << false << false;
        QTest::newRow("prores hw 4444") << u"ProRes (硬件加速)"_s << u"4444"_s << false << true;
        QTest::newRow("h264 sw") << u"H.264 (软件编码)"_s << u"422"_s << true << false;
        QTest::newRow("hevc sw") << u"HEVC (软件编码)"_s << u"422"_s << true << true;
        QTest::newRow("prores sw 422 HQ")
            << u"ProRes (软件编码)"_s << u"422 HQ"_s << false << false;
        QTest::newRow("prores sw 4444 XQ")
            << u"ProRes (软件编码)"_s << u"4444 XQ"_s << false << true;
        QTest::newRow("av1") << u"AV1 (软件编码)"_s << u"4444"_s << true << false;
        QTest::newRow("not a choice") << u"VP9"_s << u"4444"_s << false << false;
    }

    void derivedFlags()
    {
        QFETCH(QString, codec);
        QFETCH(QString, profile);
        TranscodeViewModel model;
        model.setSelectedCodec(codec);
        model.setSelectedProResProfile(profile);
        QTEST(model.supportsBitrate(), "bitrate");
        QTEST(model.supportsAlpha(), "alpha");
    }

    void clearAllResetsTheRunButKeepsSettings()
    {
        TranscodeViewModel model;
        model.setVideoFiles({fileWithId(QUuid::createUuid(), u"a.mp4"_s)});
        model.setIsTranscoding(true);
        model.setTranscodeProgress(0.5);
        model.setCurrentFileName(u"a.mp4"_s);
        model.setCurrentFileIndex(1);
        model.setTotalFiles(1);
        model.setFfmpegLog(u"log"_s);
        model.setTranscodeCompleted(true);
        model.setLastOutputDirectory(u"/videos/out"_s);
        model.setCurrentFrame(12);
        model.setCurrentFPS(30);
        model.setCurrentBitrate(2);
        model.setCurrentSpeed(1.5);
        model.setLastError(u"bad"_s);
        model.setSelectedCodec(u"AV1 (软件编码)"_s);
        model.setOverwriteOriginal(true);

        model.clearAll();

        const TranscodeViewModel fresh;
        for (const char *property :
             {"videoFiles", "isTranscoding", "transcodeProgress", "currentFileName",
              "currentFileIndex", "totalFiles", "ffmpegLog", "transcodeCompleted",
              "lastOutputDirectory", "currentFrame", "currentFPS", "currentBitrate", "currentSpeed",
              "lastError"})
            QVERIFY2(model.property(property) == fresh.property(property), property);
        QCOMPARE(model.selectedCodec(), u"AV1 (软件编码)"_s);
        QCOMPARE(model.overwriteOriginal(), true);
    }

    void openOutputFolderAsksOnlyWithAFolder()
    {
        TranscodeViewModel model;
        QSignalSpy requests(&model, &TranscodeViewModel::outputFolderOpenRequested);
        model.openOutputFolder();
        QCOMPARE(requests.size(), 0);

        model.setLastOutputDirectory(u"/videos/已转码_HEVC (软件编码)"_s);
        model.openOutputFolder();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.first().first().toUrl(),
                 QUrl::fromLocalFile(u"/videos/已转码_HEVC (软件编码)"_s));
    }

    void removeVideoFileRemovesEveryEntryWithThatId()
    {
        TranscodeViewModel model;
        const QUuid twice = QUuid::createUuid();
        const VideoFile a = fileWithId(QUuid::createUuid(), u"a.mp4"_s);
        const VideoFile b = fileWithId(twice, u"b.mp4"_s);
        const VideoFile c = fileWithId(QUuid::createUuid(), u"c.mp4"_s);
        const VideoFile d = fileWithId(twice, u"d.mp4"_s);
        model.setVideoFiles({a, b, c, d});
        QSignalSpy changes(&model, &TranscodeViewModel::videoFilesChanged);

        model.removeVideoFile(QUuid::createUuid());
        QCOMPARE(changes.size(), 0);

        model.removeVideoFile(twice);
        QCOMPARE(changes.size(), 1);
        QCOMPARE(model.videoFiles(), (QList<VideoFile>{a, c}));
    }
};

QTEST_GUILESS_MAIN(TestTranscodeViewModel)
#include "tst_transcodeviewmodel.moc"
