#include "TestSupport.h"
#include "domain/FileUrls.h"
#include "session/RunClock.h"
#include "session/TranscodeViewModel.h"
#include "transcode/RunPlan.h"

#include <QMetaProperty>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {

RunContext quiet(const QString &resources = {}, QStringList *trace = nullptr)
{
    return {ToolLocator(resources), [trace](const QString &line) {
                if (trace)
                    *trace << line;
            }};
}

RunOutcome run(TranscodeViewModel &model)
{
    QSignalSpy finished(&model, &TranscodeViewModel::runFinished);
    model.startTranscoding();
    if (!finished.wait(60000))
        qFatal("the run did not end");
    return finished.first().first().value<RunOutcome>();
}

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() { qRegisterMetaType<RunOutcome>(); }

    // In declaration order, each with its own signal; the run state is only read.
    void publishedProperties()
    {
        const QMetaObject &meta = TranscodeViewModel::staticMetaObject;
        QStringList names, writable;
        for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
            QVERIFY(meta.property(i).hasNotifySignal());
            names << QString::fromLatin1(meta.property(i).name());
            if (meta.property(i).isWritable())
                writable << names.last();
        }
        QCOMPARE(names.join(u' '),
                 u"videoFiles isTranscoding transcodeProgress currentFileName currentFileIndex "
                 "totalFiles ffmpegLog transcodeCompleted lastOutputDirectory currentFrame "
                 "currentFPS currentBitrate currentSpeed selectedCodec selectedResolution "
                 "selectedFrameRate selectedColorFormat selectedContainer availableContainers "
                 "availableColorFormats useHardwareAcceleration enableAlpha selectedBitrate "
                 "selectedProResProfile overwriteOriginal lastError runNotice"_s);
        QCOMPARE(writable.join(u' '),
                 u"selectedCodec selectedResolution selectedFrameRate selectedColorFormat "
                 "selectedContainer useHardwareAcceleration enableAlpha selectedBitrate "
                 "selectedProResProfile overwriteOriginal"_s);
        const TranscodeViewModel model(quiet());
        QCOMPARE(model.settings(), TranscodeSettings());
        QCOMPARE((QVariantList{model.selectedColorFormat(), model.useHardwareAcceleration(),
                               model.availableContainers(),
                               model.currentVideoTotalDuration().has_value()}),
                 (QVariantList{u"420 8bit"_s, true, QStringList{u"mov"_s, u"mp4"_s}, false}));
    }

    // Every preset: the settings it leaves, the arguments they give, and the command a clean
    // file gets, the same as the settings give it.
    void presets_data()
    {
        QTest::addColumn<int>("preset");
        QTest::addColumn<QString>("settings"); // container, profile, alpha, resolution
        QTest::addColumn<QString>("arguments");
        QTest::newRow("H264代理") << 0 << u"mp4 422 off 1280x720"_s
                                  << u"-c:v h264_videotoolbox -b:v 5000k -movflags +faststart -c:a "
                                     "aac -strict experimental -vf scale=1280x720"_s;
        QTest::newRow("HEVC透明") << 1 << u"mov 422 on 原始分辨率"_s
                                  << u"-c:v hevc_videotoolbox -allow_sw 1 -pix_fmt bgra "
                                     "-alpha_quality 0.9 -b:v 20000k -tag:v hvc1"_s;
        QTest::newRow("ProRes代理")
            << 2 << u"mov 422 Proxy off 1280x720"_s
            << u"-c:v prores_videotoolbox -profile:v 0 -vf scale=1280x720"_s;
        QTest::newRow("常规H264") << 3 << u"mp4 422 off 原始分辨率"_s
                                  << u"-c:v h264_videotoolbox -b:v 10000k -movflags +faststart "
                                     "-c:a aac -strict experimental"_s;
        QTest::newRow("ProRes 4444透明")
            << 4 << u"mov 4444 on 原始分辨率"_s << u"-c:v prores_videotoolbox -profile:v 4"_s;
        QTest::newRow("AV1极致压缩")
            << 5 << u"mp4 422 off 原始分辨率"_s
            << u"-c:v libsvtav1 -b:v 1000k -preset 8 -svtav1-params "
               "tune=0:fast-decode=1 -pix_fmt yuv420p -strict experimental"_s;
    }

    void presets()
    {
        QFETCH(int, preset);
        TranscodeViewModel model(quiet());
        model.setOverwriteOriginal(true);
        model.setSelectedProResProfile(u"4444 XQ"_s);
        model.applyPreset(model.presets().at(preset));
        model.settleCodecRules();
        const TranscodeSettings &s = model.settings();
        QTEST(QStringList(
                  {s.container, s.proResProfile, s.enableAlpha ? u"on"_s : u"off"_s, s.resolution})
                  .join(u' '),
              "settings");
        QCOMPARE(s.overwriteOriginal, preset != 5); // only the AV1 preset turns it off
        QCOMPARE(s.codec, model.presets().at(preset).codec);
        QTEST(model.buildFFmpegArguments()->join(u' '), "arguments");

        // With the encoders the settings name, a clean file keeps exactly these arguments.
        EncoderAnswers same;
        same.hevcAlphaEncoder = u"libx265"_s;
        VideoFile clean;
        clean.url = QUrl::fromLocalFile(u"/A/a.mp4"_s);
        clean.name = u"a.mp4"_s;
        clean.colorFormat = preset == 4 ? u"yuv444p10le"_s : u"yuv420p"_s;
        clean.width = 1920, clean.height = 1080, clean.videoStreams = 1, clean.audioStreams = 1;
        PlanEnvironment environment;
        environment.ffmpeg = u"ffmpeg"_s;
        environment.uniqueName = [] { return u"T"_s; };
        const RunPlan plan = planRun(s, {clean}, same, environment);
        // The command names the audio codec once, after the format.
        const QString once = model.buildFFmpegArguments()->join(u' ').remove(u" -c:a aac"_s);
        if (preset != 1)
            QVERIFY(plan.files.first().commands.first().arguments.join(u' ').contains(
                u"-progress pipe:1 "_s + once + u" -f "_s));
    }

    // The rules follow a change once the event in hand is done, whatever made it.
    void rulesRunOnTheNextTurn()
    {
        TranscodeViewModel model(quiet());
        QSignalSpy profile(&model, &TranscodeViewModel::selectedProResProfileChanged);
        model.setSelectedCodec(u"ProRes (硬件加速)"_s);
        QCOMPARE(model.selectedContainer(), u"mp4"_s);
        QTRY_COMPARE(model.selectedContainer(), u"mov"_s);
        model.setSelectedProResProfile(u"4444"_s);
        model.setEnableAlpha(true);
        model.settleCodecRules();
        QCOMPARE(model.enableAlpha(), true);
        model.setSelectedProResProfile(u"422 HQ"_s);
        model.settleCodecRules();
        QCOMPARE(model.enableAlpha(), false);
        // Alpha switched on behind the rules' back is corrected by the next watched change.
        model.setEnableAlpha(true);
        model.setSelectedFrameRate(u"25"_s);
        model.settleCodecRules();
        QCOMPARE(model.enableAlpha(), false);
        model.setSelectedCodec(u"H.264 (硬件加速)"_s);
        model.setSelectedCodec(u"ProRes (硬件加速)"_s); // and back before the turn: no rule
        model.settleCodecRules();
        QCOMPARE(model.selectedProResProfile(), u"422 HQ"_s);
        model.setSelectedCodec(u"AV1 (软件编码)"_s);
        model.settleCodecRules();
        QCOMPARE(model.selectedContainer(), u"mov"_s); // kept until a ProRes codec
        QCOMPARE(model.selectedProResProfile(), u"422"_s);
    }

    // The run as the window sees it: state, figures reset per file, each file's fate, and the
    // file being converted kept on the list.
    void aRunMappedOntoTheModel()
    {
        QTemporaryDir tools;
        fakeFFmpeg(tools.path());
        writeFile(tools.filePath(u"result"_s), contents(clip(Clip::Plain)));
        writeFile(tools.filePath(u"progress"_s), "frame=5\nfps=29.97\nbitrate=1234.5kbits/s\n"
                                                 "speed=2.36x\nout_time=00:00:00.200000\n");
        writeFile(tools.filePath(u"fail_for"_s), "/b.mp4\n");
        writeFile(tools.filePath(u"status"_s), "1\n");
        writeFile(tools.filePath(u"stderr"_s), "Unknown encoder 'libfoo'\n");
        QStringList trace;
        TranscodeViewModel model(quiet(tools.path(), &trace));
        model.setSelectedCodec(u"H.264 (软件编码)"_s);
        QList<VideoFile> files;
        for (const QString &name : {u"a.mp4"_s, u"b.mp4"_s, u"c.mp4"_s}) {
            files << probed(copyTo(clip(Clip::Plain), m_dir.filePath(u"run/"_s + name)));
            files.last().duration = 0.4;
        }
        model.appendVideoFiles(files);
        QList<double> progress;
        QList<qint64> framesAtStart;
        connect(&model, &TranscodeViewModel::transcodeProgressChanged, this,
                [&] { progress << model.transcodeProgress(); });
        connect(&model, &TranscodeViewModel::currentFileNameChanged, this, [&] {
            if (model.currentFileName().isEmpty())
                return;
            framesAtStart << model.currentFrame();
            if (model.currentFileName() == u"a.mp4")
                model.removeVideoFile(files[0].id); // refused while it is converted
        });

        QCOMPARE(run(model), RunOutcome::Completed);
        QCOMPARE(progress, (QList<double>{0.5 / 3, 1.0 / 3, 1.5 / 3, 2.0 / 3, 2.5 / 3, 1.0}));
        QCOMPARE(framesAtStart, (QList<qint64>{0, 0, 0}));
        QCOMPARE(model.videoFiles().size(), 3);
        QCOMPARE((QList<QVariant>{model.transcodeCompleted(), model.isTranscoding(),
                                  model.currentFileIndex(), model.currentFileName()}),
                 (QList<QVariant>{true, false, 3, QString()}));
        QCOMPARE(model.lastOutputDirectory(), m_dir.filePath(u"run/已转码_H.264 (软件编码)"_s));
        QCOMPARE(model.currentFPS(), 29.97);
        QCOMPARE(model.currentBitrate(), 1.2345);
        QCOMPARE(model.fileRunState(files[1].id)->status, FileRunState::Status::Failed);
        QCOMPARE(model.fileRunState(files[2].id)->status, FileRunState::Status::Converted);
        QCOMPARE(model.lastError(),
                 u"b.mp4: ffmpeg 转码失败（退出代码 1）: Unknown encoder 'libfoo'"_s);
        QCOMPARE(model.lastRunSummary().failed, 1);
        QVERIFY(model.ffmpegLog().contains(u"Unknown encoder 'libfoo'\n"_s));

        // A file waiting for its turn can leave the list; it is skipped. The log starts afresh.
        writeFile(tools.filePath(u"hang"_s), "");
        QSignalSpy finished(&model, &TranscodeViewModel::runFinished);
        model.startTranscoding();
        QVERIFY(model.ffmpegLog().isEmpty() && model.lastError().isEmpty());
        QTRY_VERIFY(QFile::exists(tools.filePath(u"pid"_s)));
        QVERIFY(!model.canRemove(files[0].id));
        model.removeVideoFile(files[2].id);
        model.cancelTranscoding();
        QVERIFY(finished.wait(10000));
        QCOMPARE(model.runNotice(), u"转码已取消"_s);
        QCOMPARE(model.videoFiles().size(), 2);
        QCOMPARE(model.transcodeCompleted(), false);
    }

    void destroyingTheModelStopsTheRun()
    {
        QTemporaryDir tools;
        fakeFFmpeg(tools.path());
        writeFile(tools.filePath(u"hang"_s), "");
        const QString source = copyTo(clip(Clip::Plain), m_dir.filePath(u"gone/a.mp4"_s));
        auto model = std::make_unique<TranscodeViewModel>(quiet(tools.path()));
        model->setSelectedCodec(u"H.264 (软件编码)"_s);
        model->appendVideoFiles({probed(source)});
        model->startTranscoding();
        QTRY_VERIFY(QFile::exists(tools.filePath(u"pid"_s)));
        const pid_t pid = contents(tools.filePath(u"pid"_s)).trimmed().toInt();
        model.reset();
        QCOMPARE(filesBelow(m_dir.filePath(u"gone"_s)), QStringList{u"a.mp4"_s});
        QTRY_VERIFY(::kill(pid, 0) != 0);
    }

    void clearAllResetsTheRunButKeepsSettings()
    {
        TranscodeViewModel model(quiet());
        model.setSelectedCodec(u"AV1 (软件编码)"_s);
        model.appendVideoFiles({probed(clip(Clip::Plain))});
        QSignalSpy cleared(&model, &TranscodeViewModel::videoFilesChanged);
        model.clearAll();
        QCOMPARE(cleared.size(), 1);
        QVERIFY(model.videoFiles().isEmpty());
        QCOMPARE(model.selectedCodec(), u"AV1 (软件编码)"_s);
        QSignalSpy opened(&model, &TranscodeViewModel::outputFolderOpenRequested);
        model.openOutputFolder();
        QCOMPARE(opened.size(), 0); // no folder, nothing to open
    }

    // Time left from the durations still to convert and ffmpeg's speed, then from the pace the
    // run has kept once there is enough of it.
    void timeLeft()
    {
        RunClock clock;
        clock.start({{0, 10}, {1, 20}, {2, 30}}, 100);
        QCOMPARE(clock.times(101).remaining, std::nullopt); // nothing to go by yet
        clock.fileStarted(0, 101);
        clock.fileProgress(0, 0.5, 2.0);
        const RunTimes early = clock.times(101.5);
        QCOMPARE((QList<double>{early.elapsed, early.fileElapsed, *early.fileRemaining,
                                *early.remaining}),
                 (QList<double>{1.5, 0.5, 2.5, 27.5}));
        clock.fileFinished(0);
        clock.fileStarted(1, 104);
        clock.fileProgress(1, 0.25, 4.0);
        const RunTimes later = clock.times(110); // 15 media seconds in 10: a pace of 1.5
        QCOMPARE((QList<double>{*later.fileRemaining, *later.remaining}),
                 (QList<double>{3.75, 30.0}));
        QCOMPARE((QStringList{clockText(7.4), clockText(754), clockText(3723)}),
                 (QStringList{u"0:07"_s, u"12:34"_s, u"1:02:03"_s}));
    }

    void whatIntakeCouldNotAddIsKept()
    {
        TranscodeViewModel model(quiet());
        QSignalSpy finished(&model, &TranscodeViewModel::intakeFinished);
        const QString plain = clip(Clip::Plain);
        model.processSelectedFiles({QUrl::fromLocalFile(plain), QUrl::fromLocalFile(plain),
                                    QUrl::fromLocalFile(m_dir.filePath(u"none.mp4"_s))});
        QVERIFY(finished.wait(30000));
        QCOMPARE(model.videoFiles().size(), 1);
        QCOMPARE(model.alreadyListedFiles(), QStringList{plain});
        QCOMPARE(model.rejectedFiles(),
                 (QList<FileFailureNote>{{m_dir.filePath(u"none.mp4"_s), u"文件不存在"_s}}));
    }
};

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
