#include "TestSupport.h"
#include "domain/FileUrls.h"
#include "session/JobQueue.h"
#include "session/QueueMemory.h"
#include "session/RunClock.h"
#include "session/TranscodeViewModel.h"
#include "transcode/FileLock.h"
#include "transcode/ResultMark.h"
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
            QVERIFY(meta.property(i).hasNotifySignal() || meta.property(i).isConstant());
            names << QString::fromLatin1(meta.property(i).name());
            if (meta.property(i).isWritable())
                writable << names.last();
        }
        QCOMPARE(names.join(u' '),
                 u"videoFiles isTranscoding transcodeProgress currentFileName currentFileIndex "
                 "totalFiles ffmpegLog transcodeCompleted lastOutputDirectory currentFrame "
                 "currentFPS currentBitrate currentSpeed selectedCodec selectedResolution "
                 "selectedFrameRate selectedContainer availableContainers enableAlpha "
                 "selectedBitrate selectedProResProfile overwriteOriginal lastError runNotice"_s);
        QCOMPARE(writable.join(u' '),
                 u"selectedCodec selectedResolution selectedFrameRate selectedContainer "
                 "enableAlpha selectedBitrate selectedProResProfile overwriteOriginal"_s);
        const TranscodeViewModel model(quiet());
        QCOMPARE(model.settings(), TranscodeSettings());
        QCOMPARE(model.availableContainers(), (QStringList{u"mov"_s, u"mp4"_s}));
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
    // A change is whole when the setter returns: each property that moved says so once, and
    // says it when every rule has been applied.
    void rulesApplyAtOnce()
    {
        TranscodeViewModel model(quiet());
        QStringList seen;
        connect(&model, &TranscodeViewModel::selectedCodecChanged, this,
                [&] { seen << model.selectedContainer(); });
        QSignalSpy profile(&model, &TranscodeViewModel::selectedProResProfileChanged);
        model.setSelectedCodec(u"ProRes (硬件加速)"_s);
        QCOMPARE(seen, QStringList{u"mov"_s});
        QCOMPARE(profile.size(), 0); // "422" already
        model.setSelectedProResProfile(u"4444"_s);
        model.setEnableAlpha(true);
        model.setSelectedProResProfile(u"422 HQ"_s);
        QCOMPARE(model.enableAlpha(), false);
        model.setSelectedCodec(u"AV1 (软件编码)"_s);
        QCOMPARE(model.selectedContainer(), u"mov"_s); // kept until a ProRes codec
        QCOMPARE(model.selectedProResProfile(), u"422"_s);
        model.setSelectedBitrate(0.0004); // would be 0 kbit/s
        QCOMPARE(model.selectedBitrate(), 10.0);
        QVERIFY(model.buildFFmpegArguments().ok());
    }

    // The run as the window sees it: state, figures reset per file, each file's fate in its
    // own row, and the file being converted kept on the list.
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
        QList<int> changedRows;
        const JobQueue &queue = model.queue();
        connect(&model, &TranscodeViewModel::transcodeProgressChanged, this,
                [&] { progress << model.transcodeProgress(); });
        connect(&queue, &JobQueue::jobChanged, this, [&](int row, JobRecord::Status previous) {
            changedRows << row;
            if (previous != JobRecord::Status::Waiting)
                return;
            framesAtStart << model.currentFrame();
            if (row == 0)
                model.removeVideoFile(files[0].id); // refused while it is converted
        });
        QSignalSpy rows(&queue, &JobQueue::dataChanged);

        QCOMPARE(run(model), RunOutcome::Completed);
        QVERIFY(std::is_sorted(progress.begin(), progress.end()));
        for (const double expected : {0.5 / 3, 2.0 / 3})
            QVERIFY(std::any_of(progress.begin(), progress.end(),
                                [&](double p) { return qFuzzyCompare(p, expected); }));
        QCOMPARE(progress.last(), 1.0);
        QCOMPARE(framesAtStart, (QList<qint64>{0, 0, 0}));
        QCOMPARE(changedRows.first(), 0);
        QCOMPARE(changedRows.last(), 2);
        for (const QList<QVariant> &change : std::as_const(rows)) {
            const auto first = change.at(0).toModelIndex(), last = change.at(1).toModelIndex();
            QVERIFY(first.row() == last.row() || (first.row() == 0 && last.row() == 2));
        }
        QCOMPARE(model.videoFiles().size(), 3);
        QCOMPARE((QList<QVariant>{model.transcodeCompleted(), model.isTranscoding(),
                                  model.currentFileIndex(), model.totalFiles(),
                                  model.currentFileName()}),
                 (QList<QVariant>{true, false, 3, 3, QString()}));
        QCOMPARE(model.lastOutputDirectory(), m_dir.filePath(u"run/已转码_H.264 (软件编码)"_s));
        QCOMPARE(queue.job(1).status, JobRecord::Status::Failed);
        QCOMPARE(queue.job(2).status, JobRecord::Status::Done);
        QCOMPARE(queue.job(2).outcome.outputPath,
                 m_dir.filePath(u"run/已转码_H.264 (软件编码)/c.mp4"_s));
        QCOMPARE(queue.job(2).figures.bitrate, 1.2345);
        QCOMPARE(model.lastError(),
                 u"b.mp4: ffmpeg 转码失败（退出代码 1）: Unknown encoder 'libfoo'"_s);
        QCOMPARE(model.lastRunSummary().failed, 1);
        QVERIFY(model.ffmpegLog().contains(u"Unknown encoder 'libfoo'\n"_s));

        // A retry runs the failed file alone; the counts then cover the whole list.
        QFile::remove(tools.filePath(u"fail_for"_s));
        QSignalSpy finished(&model, &TranscodeViewModel::runFinished);
        model.retryFailedFiles();
        QCOMPARE(model.totalFiles(), 1);
        QVERIFY(finished.wait(30000));
        QCOMPARE((QList<int>{model.currentFileIndex(), model.totalFiles()}), (QList<int>{1, 1}));
        QCOMPARE(queue.outcomes().done, 3);

        // A file waiting for its turn can leave the list; it is neither skipped nor counted.
        // The log starts afresh.
        model.appendVideoFiles({probed(copyTo(clip(Clip::Plain), m_dir.filePath(u"run/d.mp4"_s))),
                                probed(copyTo(clip(Clip::Plain), m_dir.filePath(u"run/e.mp4"_s)))});
        writeFile(tools.filePath(u"hang"_s), "");
        model.startTranscoding();
        QCOMPARE(model.totalFiles(), 2); // the three done are not converted again
        QVERIFY(model.ffmpegLog().isEmpty() && model.lastError().isEmpty());
        QTRY_VERIFY(QFile::exists(tools.filePath(u"pid"_s)));
        const QUuid working = model.videoFiles().at(3).id, waiting = model.videoFiles().at(4).id;
        QVERIFY(!model.canRemove(working));
        model.removeVideoFile(waiting);
        model.cancelTranscoding();
        QVERIFY(finished.wait(10000));
        QCOMPARE(model.runNotice(), u"转码已取消"_s);
        QCOMPARE(model.videoFiles().size(), 4);
        QCOMPARE(queue.job(3).status, JobRecord::Status::Cancelled);
        QCOMPARE(model.lastRunSummary().skipped, 0);
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

    // A run of very different lengths driven at a known pace: once a tenth of the media is
    // done, the time left is within 20% of the truth, it never jumps up by more than the pace
    // allows, and it is never below what the file at work still needs.
    // The time left against runs whose every step is known. Each file sets up for `start`
    // seconds; then ffmpeg reports twice a second what it has written, `lag` media seconds
    // behind what it has read (its encoder's delay), goes quiet for `flush` seconds while the
    // encoder empties, reports the end, and the result is checked for `check` seconds. The clock
    // is fed every report and a sample every half second, as the window's timer does; what it
    // said is held against how the run went.
    void timeLeft_data()
    {
        QTest::addColumn<QList<double>>("durations");
        QTest::addColumn<QList<double>>("paces"); // media seconds a second, per file
        QTest::addColumn<QList<int>>("heights");  // of 16:9 pictures at 25 fps
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("lag");
        QTest::addColumn<double>("flush");
        QTest::addColumn<double>("check");
        QTest::addColumn<bool>("even");   // every file goes at one pace per pixel
        QTest::addColumn<int>("removed"); // taken off the list as soon as there is an estimate

        const QList<int> hd{720, 720, 720, 720};
        QTest::newRow("steady") << QList<double>{10, 60, 30} << QList<double>{2, 2, 2} << hd << 0.0
                                << 0.0 << 0.0 << 0.0 << true << -1;
        QTest::newRow("long one last") << QList<double>{5, 5, 5, 85} << QList<double>{3, 3, 3, 3}
                                       << hd << 0.0 << 0.0 << 0.0 << 0.0 << true << -1;
        QTest::newRow("very different lengths")
            << QList<double>{2, 5, 20, 40} << QList<double>{0.7, 0.7, 0.7, 0.7} << hd << 1.5 << 1.5
            << 1.0 << 0.5 << true << -1;
        QTest::newRow("smaller pictures go faster")
            << QList<double>{20, 40, 10, 30} << QList<double>{2.8, 0.7, 2.8, 0.7}
            << QList<int>{360, 720, 360, 720} << 1.0 << 1.0 << 0.5 << 0.5 << true << -1;
        QTest::newRow("one file, slow to start")
            << QList<double>{20} << QList<double>{2.5} << QList<int>{360} << 2.0 << 0.5 << 0.5
            << 0.3 << true << -1;
        QTest::newRow("a waiting file removed")
            << QList<double>{10, 40, 20} << QList<double>{1, 1, 1} << hd << 1.0 << 0.5 << 0.5 << 0.5
            << true << 1;
        QTest::newRow("uneven") << QList<double>{20, 40, 40} << QList<double>{4, 1, 2} << hd << 0.5
                                << 0.5 << 0.5 << 0.5 << false << -1;
    }

    void timeLeft()
    {
        QFETCH(QList<double>, durations);
        QFETCH(QList<double>, paces);
        QFETCH(QList<int>, heights);
        QFETCH(double, start);
        QFETCH(double, lag);
        QFETCH(double, flush);
        QFETCH(double, check);
        QFETCH(bool, even);
        QFETCH(int, removed);

        JobQueue queue;
        QList<VideoFile> files;
        QSet<QUuid> ids;
        RunPlan plan;
        for (int i = 0; i < durations.size(); ++i) {
            VideoFile file;
            file.id = QUuid::createUuid();
            file.url = QUrl::fromLocalFile(u"/A/"_s + file.id.toString() + u".mp4"_s);
            file.duration = durations[i];
            file.width = heights[i] * 16 / 9;
            file.height = heights[i];
            file.averageFrameRate = Ratio{25, 1};
            files << file;
            ids << file.id;
            PlannedFile planned;
            planned.position = i;
            planned.source = file;
            planned.outputSize = QSize(file.width, file.height);
            plan.files << planned;
        }
        queue.append(files);
        queue.beginRun(files, ids);
        queue.planned(plan);
        RunClock clock;
        clock.start(0);
        QCOMPARE(clock.times(1).remaining, std::nullopt); // nothing to go by yet

        struct Said
        {
            double at = 0;
            RunTimes times;
            double fraction = 0; // of the run's media
            bool lastFile = false;
        };
        QList<Said> said;
        double now = 0;
        const auto sample = [&] {
            clock.sample(queue, now);
            const JobQueue::Counts counts = queue.counts();
            said << Said{now, clock.times(now), queue.runFraction(),
                         counts.waiting == 0 && counts.working == 1};
        };
        qsizetype afterRemoval = -1; // the first of `said` that knows of it
        for (int i = 0; i < durations.size(); ++i) {
            const int row = queue.rowOf(files[i].id);
            if (row < 0)
                continue;
            JobRecord job = queue.job(row);
            job.status = JobRecord::Status::Converting;
            job.startedAt = now;
            queue.update(job);
            sample();
            const double readEnd = now + start + durations[i] / paces[i];
            const double endReport = readEnd + flush;
            while (job.status != JobRecord::Status::Done) {
                now += 0.5;
                if (now < readEnd) {
                    const double written = paces[i] * (now - job.startedAt - start) - lag;
                    job.fraction = qBound(0.0, written / durations[i], 1.0);
                    queue.update(job);
                } else if (job.status == JobRecord::Status::Converting && now >= endReport) {
                    job.fraction = 1;
                    job.status = JobRecord::Status::Checking;
                    queue.update(job);
                } else if (job.status == JobRecord::Status::Checking && now >= endReport + check) {
                    job.status = JobRecord::Status::Done;
                    job.finishedAt = now;
                    queue.update(job);
                }
                sample();
                if (removed >= 0 && afterRemoval < 0 && said.last().times.remaining) {
                    // Its time goes at once.
                    const double before = *said.last().times.remaining;
                    queue.remove({files[removed].id});
                    sample();
                    afterRemoval = said.size() - 1;
                    const double cost = start + durations[removed] / paces[removed] + flush + check;
                    QVERIFY2(before - *said.last().times.remaining >= 0.8 * cost,
                             qPrintable(u"%1 left before, %2 after"_s.arg(before).arg(
                                 *said.last().times.remaining)));
                }
            }
        }
        QCOMPARE(said.last().times.remaining, 0.0);

        const double end = now;
        double rise = 0;
        std::optional<double> previous;
        for (qsizetype i = 0; i < said.size(); ++i) {
            const Said &moment = said.at(i);
            const std::optional<double> left = moment.times.remaining;
            const QString at = u"at %1 s: %2 left (the file %3), truly %4"_s.arg(moment.at)
                                   .arg(left.value_or(-1))
                                   .arg(moment.times.fileRemaining.value_or(-1))
                                   .arg(end - moment.at);
            if (moment.times.fileRemaining)
                QVERIFY2(left && *left + 1e-9 >= *moment.times.fileRemaining, qPrintable(at));
            if (moment.lastFile && left)
                QVERIFY2(moment.times.fileRemaining == left, qPrintable(at));
            if (!even || i < afterRemoval)
                continue;
            const double truth = end - moment.at;
            // Nothing before the pace is known, and never a wild figure, not even at first;
            // within 20% once a tenth is done, and shown once a quarter is.
            if (left)
                QVERIFY2(std::abs(*left - truth) <= std::max(0.5 * truth, 5.0), qPrintable(at));
            if (moment.fraction >= 0.25)
                QVERIFY2(left, qPrintable(at));
            if (moment.fraction >= 0.1 && left) {
                QVERIFY2(std::abs(*left - truth) <= std::max(0.2 * truth, 2.0), qPrintable(at));
                if (previous)
                    rise += std::max(0.0, *left - *previous);
                previous = left;
            }
        }
        // At an even pace the figure counts down; what it gains back stays small.
        QVERIFY2(rise <= 0.1 * end, qPrintable(u"rose by %1 s in all"_s.arg(rise)));
        QCOMPARE(queue.runFraction(), 1.0);
        QCOMPARE((QStringList{clockText(7.4), clockText(754), clockText(3723)}),
                 (QStringList{u"0:07"_s, u"12:34"_s, u"1:02:03"_s}));
    }

    // What a saved list file may hold: one that is damaged, cut short or not ours is refused
    // with a reason and never taken half.
    void savedListsAreReadWholeOrNotAtAll_data()
    {
        const QByteArray good = QueueMemory::encode(
            {{u"/A/a.mp4"_s, JobRecord::Status::Done, u"/A/a.mp4"_s, 42, {}, true},
             {u"/A/d.mp4"_s, JobRecord::Status::Done, u"/A/out/d.mp4"_s, 42, {}, false, true},
             {u"/A/b 片段.mp4"_s, JobRecord::Status::Failed, {}, 0, u"坏了"_s},
             {u"/A/c.mp4"_s, JobRecord::Status::Waiting, {}, 0, {}}});
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("files"); // -1: refused
        QTest::newRow("whole") << good << 4;
        QTest::newRow("cut short") << good.left(good.size() / 2) << -1;
        QTest::newRow("empty") << QByteArray() << -1;
        QTest::newRow("not ours") << QByteArray(R"({"format":"x","version":1,"files":[]})") << -1;
        QTest::newRow("newer") << QByteArray(
                                      R"({"format":"quillmere-queue","version":2,"files":[]})")
                               << -1;
        QTest::newRow("relative path")
            << QByteArray(
                   R"({"format":"quillmere-queue","version":1,"files":[{"path":"a.mp4","status":"done"}]})")
            << -1;
        QTest::newRow("unknown status")
            << QByteArray(
                   R"({"format":"quillmere-queue","version":1,"files":[{"path":"/a.mp4","status":"odd"}]})")
            << -1;
        QTest::newRow("files not a list")
            << QByteArray(R"({"format":"quillmere-queue","version":1,"files":{}})") << -1;
    }

    void savedListsAreReadWholeOrNotAtAll()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, files);
        const Result<QList<SavedFile>> read = QueueMemory::decode(bytes);
        QCOMPARE(read ? static_cast<int>(read->size()) : -1, files);
        if (read && files == 4)
            QCOMPARE(read->mid(0, 3),
                     (QList<SavedFile>{
                         {u"/A/a.mp4"_s, JobRecord::Status::Done, u"/A/a.mp4"_s, 42, {}, true},
                         {u"/A/d.mp4"_s,
                          JobRecord::Status::Done,
                          u"/A/out/d.mp4"_s,
                          42,
                          {},
                          false,
                          true},
                         {u"/A/b 片段.mp4"_s, JobRecord::Status::Failed, {}, 0, u"坏了"_s}}));
        else if (!read)
            QVERIFY(!read.error().description().isEmpty());
    }

    // The window's list survives its end, even a kill during a run: the files come back in
    // their order, what was done stays done, and the next run converts only the rest; a
    // result that was finished after the last save is taken as done.
    void theListSurvivesARestart()
    {
        QTemporaryDir tools;
        fakeFFmpeg(tools.path());
        writeFile(tools.filePath(u"result"_s), contents(clip(Clip::Plain)));
        QTemporaryDir state;
        const QString path = state.filePath(u"Quillmere/queue.json"_s);
        QStringList names{u"a.mp4"_s, u"b.mp4"_s, u"c.mp4"_s};
        QList<QUrl> urls;
        for (const QString &name : names)
            urls << QUrl::fromLocalFile(
                copyTo(clip(Clip::Plain), m_dir.filePath(u"restart/"_s + name)));
        {
            TranscodeViewModel model(quiet(tools.path()));
            model.setSelectedCodec(u"H.264 (软件编码)"_s);
            QueueMemory memory(model, path);
            QSignalSpy taken(&model, &TranscodeViewModel::intakeFinished);
            model.processSelectedFiles(urls);
            QVERIFY(taken.wait(30000));
            QCOMPARE(run(model), RunOutcome::Completed);
            memory.saveNow();
            // b's result was finished after the last save, and then the window was killed.
            QList<SavedFile> list = *memory.load();
            list[1].status = JobRecord::Status::Waiting;
            list[1].outputPath.clear();
            writeFile(path, QueueMemory::encode(list));
        }
        QVERIFY((QFileInfo(path).permissions() & (QFile::ReadOther | QFile::ReadGroup)) == 0);

        QFile::remove(tools.filePath(u"calls"_s));
        TranscodeViewModel model(quiet(tools.path()));
        model.setSelectedCodec(u"H.264 (软件编码)"_s);
        QueueMemory memory(model, path);
        const Result<QList<SavedFile>> saved = memory.load();
        QVERIFY(saved && saved->size() == 3);
        QSignalSpy taken(&model, &TranscodeViewModel::intakeFinished);
        model.restoreQueue(*saved);
        QVERIFY(taken.wait(30000));
        QStringList listed;
        for (const VideoFile &file : model.videoFiles())
            listed << file.name;
        QCOMPARE(listed, names);
        QCOMPARE(model.queue().job(0).status, JobRecord::Status::Done);
        QCOMPARE(model.queue().job(1).status, JobRecord::Status::Waiting);
        QCOMPARE(run(model), RunOutcome::Completed);
        QCOMPARE(model.totalFiles(), 1);               // a and c were done
        QCOMPARE(model.lastRunSummary().converted, 1); // b's result is there and whole
        QCOMPARE(model.lastRunSummary().skipped, 0);
        QCOMPARE(model.queue().job(1).status, JobRecord::Status::Done);
        for (const QString &call : fakeCalls(tools.path()))
            QVERIFY2(!call.contains(u"-progress"_s), qPrintable(call));
    }

    // A list taken back after a kill takes away the hidden partials a replacing run left
    // beside its sources, and only those; a file that replaced its original still says so.
    void restoringRemovesWhatAKilledRunLeft()
    {
        const QString folder = m_dir.filePath(u"killed"_s);
        const QString k1 = copyTo(clip(Clip::Plain), folder + u"/k1.mp4"_s);
        const QString k2 = copyTo(clip(Clip::Plain), folder + u"/k2.mp4"_s);
        const auto partial = [&](const QString &name, bool marked) {
            writeFile(folder + u'/' + name, "half");
            if (!marked)
                return;
            QFile file(folder + u'/' + name);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(ResultMark::markUnfinished(file.handle()));
        };
        partial(u".k2.mp4.partial"_s, true);   // the killed run's
        partial(u".k2.mp4.2.partial"_s, true); // another run's, at work
        partial(u".k1.mp4.partial"_s, false);  // not ours
        FileLock held;
        QVERIFY(held.take(folder + u"/.k2.mp4.2.partial"_s, FileLock::Mode::Exclusive));

        TranscodeViewModel model(quiet());
        QSignalSpy taken(&model, &TranscodeViewModel::intakeFinished);
        model.restoreQueue({{k1, JobRecord::Status::Done, k1, 42, {}, true},
                            {k2, JobRecord::Status::Waiting, {}, 0, {}}});
        QVERIFY(taken.wait(30000));
        QCOMPARE(filesBelow(folder), (QStringList{u".k1.mp4.partial"_s, u".k2.mp4.2.partial"_s,
                                                  u"k1.mp4"_s, u"k2.mp4"_s}));
        QVERIFY(model.queue().job(0).outcome.replacedSource);
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
