#include "TestSupport.h"
#include "intake/FileIntake.h"
#include "intake/IntakeUrls.h"
#include "intake/NaturalOrder.h"
#include "model/TranscodeViewModel.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {

const QString Extensions =
    u"[\"mp4\", \"mov\", \"m4v\", \"mkv\", \"avi\", \"mxf\", \"wmv\", \"flv\", \"webm\", "
    "\"m2ts\", \"mts\", \"ts\", \"3gp\", \"mpg\", \"mpeg\", \"vob\", \"asf\", \"rm\", \"rmvb\", "
    "\"m4s\", \"f4v\", \"ogv\", \"dv\", \"divx\", \"m2v\", \"qt\", \"3g2\", \"mpe\", \"mpeg2\", "
    "\"mp2\", \"mpv\", \"mod\", \"tod\", \"vro\", \"dat\", \"dvr-ms\"]"_s;

QStringList pathLines(const QString &path, bool folder, const QString &extension)
{
    return {u"🔍 [DEBUG] 正在处理: "_s + path,
            u"🔍 [DEBUG] 文件是否为目录: "_s + (folder ? u"true"_s : u"false"_s),
            u"🔍 [DEBUG] 文件扩展名: "_s + extension,
            u"🔍 [DEBUG] 支持的视频扩展名: "_s + Extensions};
}

QStringList names(const TranscodeViewModel &model)
{
    QStringList names;
    for (const VideoFile &file : model.videoFiles())
        names << file.name;
    return names;
}

QList<QUrl> urls(const QStringList &paths)
{
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls << intakeUrlFromPath(path);
    return urls;
}

void waitForIntake(TranscodeViewModel &model)
{
    if (model.isTakingIn()) {
        QSignalSpy finished(&model, &TranscodeViewModel::intakeFinished);
        if (!finished.wait(60000))
            qFatal("intake did not finish");
    }
}

} // namespace

class TestFileIntake : public QObject
{
    Q_OBJECT

    QTemporaryDir m_media;
    QString m_clip; // a real, tiny video that copies are made of

    QString copyClip(const QString &path) const
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (!QFile::copy(m_clip, path))
            qFatal("cannot copy to %s", qPrintable(path));
        return path;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_media.isValid());
        m_clip = makeClip(m_media.filePath(u"source.mp4"_s), {u"-pix_fmt"_s, u"yuv420p"_s});
    }

    void naturalOrder()
    {
        QStringList names{u"clip10.mp4"_s, u"Clip2.mp4"_s, u"clip1.mp4"_s, u"b.mp4"_s,
                          u"a 01.mp4"_s,   u"a 1.mp4"_s,   u"A.mp4"_s,     u"片段.mp4"_s};
        std::sort(names.begin(), names.end(),
                  [](const QString &a, const QString &b) { return naturalLess(a, b); });
        QCOMPARE(names,
                 (QStringList{u"a 01.mp4"_s, u"a 1.mp4"_s, u"A.mp4"_s, u"b.mp4"_s, u"clip1.mp4"_s,
                              u"Clip2.mp4"_s, u"clip10.mp4"_s, u"片段.mp4"_s}));
    }

    void oneChosenFileTracesEveryStep()
    {
        TranscodeViewModel model;
        TraceCapture trace(model);
        const QString path = copyClip(m_media.filePath(u"one/clip.MP4"_s));
        model.processSelectedFiles({QUrl::fromLocalFile(path)});
        // Nothing is probed before the call returns.
        QVERIFY(model.isTakingIn());
        QCOMPARE(trace.lines(), QStringList{u"开始处理选择的文件..."_s});
        waitForIntake(model);

        QStringList expected{u"开始处理选择的文件..."_s};
        expected << pathLines(path, false, u"mp4"_s)
                 << u"🔍 [DEBUG] 识别为支持的视频文件，开始处理"_s
                 << u"🔍 [DEBUG] 处理视频文件: "_s + path << u"🔍 [DEBUG] 当前视频列表数量: 0"_s
                 << u"🔍 [DEBUG] 视频文件不在列表中，开始获取视频信息"_s
                 << u"🔍 [DEBUG] getVideoInfo 开始处理: "_s + path;
        QCOMPARE(trace.lines().mid(0, expected.size()), expected);
        const QStringList tail{
            u"✅ [SUCCESS] 成功添加视频: clip.MP4"_s,
            u"🔍 [DEBUG] 视频信息 - 分辨率: 160x120, 帧率: 25.00, 编码: h264 (H.264 / AVC / "
            "MPEG-4 AVC / MPEG-4 part 10)"_s,
            u"🔍 [DEBUG] 更新后视频列表数量: 1"_s};
        QCOMPARE(trace.lines().mid(trace.lines().size() - 3), tail);
        QCOMPARE(names(model), QStringList{u"clip.MP4"_s});
        QCOMPARE(model.videoFiles().first().url, QUrl::fromLocalFile(path));
    }

    void folderScan()
    {
        const QString root = m_media.filePath(u"scan"_s);
        copyClip(root + u"/clip10.mp4"_s);
        copyClip(root + u"/clip2.MOV"_s);
        copyClip(root + u"/.hidden.mp4"_s);
        copyClip(root + u"/.hidden folder/inside.mp4"_s);
        copyClip(root + u"/b sub/deep/-dash 'q' \"dq\".mkv"_s);
        copyClip(root + u"/b sub/视频 片段.webm"_s);
        copyClip(root + u"/no extension"_s);
        copyClip(root + u"/notes.txt"_s);
        writeFile(root + u"/broken.mp4"_s, "not a video");
        QVERIFY(QFile::link(root + u"/clip2.MOV"_s, root + u"/link.mp4"_s));

        TranscodeViewModel model;
        TraceCapture trace(model);
        model.processSelectedFiles({intakeUrlFromPath(root)});
        waitForIntake(model);

        // Natural name order, each sub-folder where it stands, hidden entries and links left out.
        QCOMPARE(names(model), (QStringList{u"-dash 'q' \"dq\".mkv"_s, u"视频 片段.webm"_s,
                                            u"clip2.MOV"_s, u"clip10.mp4"_s}));
        QStringList found;
        for (const QString &line : trace.lines()) {
            if (line.startsWith(u"🔍 [DEBUG] 找到视频文件 "_s))
                found << line;
        }
        QCOMPARE(found, (QStringList{u"🔍 [DEBUG] 找到视频文件 1: -dash 'q' \"dq\".mkv"_s,
                                     u"🔍 [DEBUG] 找到视频文件 2: 视频 片段.webm"_s,
                                     u"🔍 [DEBUG] 找到视频文件 3: broken.mp4"_s,
                                     u"🔍 [DEBUG] 找到视频文件 4: clip2.MOV"_s,
                                     u"🔍 [DEBUG] 找到视频文件 5: clip10.mp4"_s}));
        QStringList head{u"开始处理选择的文件..."_s};
        head << pathLines(root, true, QString()) << u"🔍 [DEBUG] 开始处理文件夹"_s;
        QCOMPARE(trace.lines().mid(0, head.size()), head);
        // The file ffprobe cannot read is counted but not added.
        QVERIFY(trace.lines().contains(u"❌ [ERROR] 获取视频信息失败: broken.mp4"_s));
        QCOMPARE(trace.lines().last(), u"🔍 [DEBUG] 文件夹处理完成，共处理 5 个视频文件"_s);
    }

    void emptyFolderAndSingleFilesThatAreNotVideos()
    {
        const QString empty = m_media.filePath(u"empty.mp4"_s); // a folder despite its name
        QVERIFY(QDir().mkpath(empty + u"/sub"_s));
        const QString text = m_media.filePath(u"readme.txt"_s);
        writeFile(text, "x");
        const QString bare = m_media.filePath(u"README"_s);
        writeFile(bare, "x");

        TranscodeViewModel model;
        TraceCapture trace(model);
        // The folder without its trailing slash is judged as a file by its extension.
        model.processSelectedFiles({intakeUrlFromPath(empty), QUrl::fromLocalFile(text),
                                    QUrl::fromLocalFile(bare),
                                    QUrl::fromLocalFile(m_media.filePath(u"sub.d"_s))});
        waitForIntake(model);
        model.processSelectedFiles({QUrl::fromLocalFile(empty)});
        waitForIntake(model);

        QCOMPARE(trace.count(u"🔍 [DEBUG] 文件夹处理完成，共处理 0 个视频文件"_s), 1);
        QCOMPARE(trace.count(u"⚠️ [WARNING] 不支持的文件类型: txt"_s), 1);
        QCOMPARE(trace.count(u"⚠️ [WARNING] 不支持的文件类型: "_s), 1);
        QCOMPARE(trace.count(u"⚠️ [WARNING] 不支持的文件类型: d"_s), 1);
        // empty.mp4 without the slash is a "file" with a video extension that cannot be probed.
        QCOMPARE(trace.count(u"❌ [ERROR] 获取视频信息失败: empty.mp4"_s), 1);
        QVERIFY(model.videoFiles().isEmpty());
    }

    void eachVideoIsListedOnce()
    {
        const QString root = m_media.filePath(u"dupes"_s);
        const QString a = copyClip(root + u"/a.mp4"_s);
        const QString b = copyClip(root + u"/b.mp4"_s);
        const QString other = copyClip(m_media.filePath(u"other/a.mp4"_s));

        TranscodeViewModel model;
        TraceCapture trace(model);
        // A file, the folder holding it, the same file again, and a namesake elsewhere.
        model.processSelectedFiles(urls({a, root, a, other}));
        model.handleDrop(urls({b}));
        waitForIntake(model);

        QCOMPARE(names(model), (QStringList{u"a.mp4"_s, u"b.mp4"_s, u"a.mp4"_s}));
        QCOMPARE(model.videoFiles().at(2).url, QUrl::fromLocalFile(other));
        QCOMPARE(trace.count(u"⚠️ [WARNING] 视频已存在: a.mp4"_s), 2);
        QCOMPARE(trace.count(u"⚠️ [WARNING] 视频已存在: b.mp4"_s), 1);
        QCOMPARE(trace.count(u"🔍 [DEBUG] 文件夹处理完成，共处理 2 个视频文件"_s), 1);
    }

    void dropTracesEachProvider()
    {
        const QString path = copyClip(m_media.filePath(u"drop/dropped clip.mov"_s));
        TranscodeViewModel model;
        TraceCapture trace(model);
        model.handleDrop({QUrl(u"https://example.com/v.mp4"_s), QUrl::fromLocalFile(path)});
        const QStringList atOnce{
            u"🔍 [DEBUG] 开始处理拖放文件，提供者数量: 2"_s,
            u"🔍 [DEBUG] 处理第 1 个提供者"_s,
            u"🔍 [DEBUG] 提供者支持的类型: [\"public.url\"]"_s,
            u"⚠️ [WARNING] 提供者不支持文件URL类型"_s,
            u"🔍 [DEBUG] 处理第 2 个提供者"_s,
            u"🔍 [DEBUG] 提供者支持的类型: [\"public.file-url\"]"_s,
            u"🔍 [DEBUG] 提供者支持文件URL类型"_s,
        };
        QCOMPARE(trace.lines(), atOnce);
        waitForIntake(model);

        QStringList then{u"🔍 [DEBUG] 成功加载项目，类型: Optional<NSSecureCoding>"_s,
                         u"✅ [SUCCESS] 成功获取文件URL: "_s + path,
                         u"🔍 [DEBUG] 开始在主线程处理文件: "_s + path};
        then << pathLines(path, false, u"mov"_s);
        QCOMPARE(trace.lines().mid(atOnce.size(), then.size()), then);
        QCOMPARE(names(model), QStringList{u"dropped clip.mov"_s});
    }

    void theWindowKeepsRunningWhileFFprobeWorks()
    {
        // A fake ffprobe that waits for a go-ahead file: the event loop must serve other work
        // while it waits, and a drop made meanwhile must not split the probed file's lines.
        QTemporaryDir tools;
        const QString go = tools.filePath(u"go"_s);
        const QString started = tools.filePath(u"started"_s);
        writeTool(tools.path(), u"ffprobe"_s,
                  "touch '" + started.toUtf8() +
                      "'\n"
                      "while [ ! -e '" +
                      go.toUtf8() +
                      "' ]; do sleep 0.02; done\n"
                      "echo '{\"streams\": [{\"codec_type\": \"video\"}], \"format\": {}}'\n");
        TranscodeViewModel model;
        model.setToolLocator(ToolLocator(tools.path()));
        TraceCapture trace(model);
        const QString first = copyClip(m_media.filePath(u"slow/first.mp4"_s));
        const QString second = copyClip(m_media.filePath(u"slow/second.mp4"_s));
        model.processSelectedFiles({QUrl::fromLocalFile(first)});

        bool served = false;
        QTimer::singleShot(50, this, [&] { served = true; });
        QTRY_VERIFY(served);
        QTRY_VERIFY(QFile::exists(started));
        QVERIFY(model.isTakingIn());
        model.handleDrop({QUrl::fromLocalFile(second)});
        QTest::qWait(100);
        writeFile(go, "");
        waitForIntake(model);

        QCOMPARE(names(model), (QStringList{u"first.mp4"_s, u"second.mp4"_s}));
        // The first file's lines, from its path line to the list count, stand together.
        const QStringList lines = trace.lines();
        const qsizetype start = lines.indexOf(u"🔍 [DEBUG] 正在处理: "_s + first);
        const qsizetype end = lines.indexOf(u"🔍 [DEBUG] 更新后视频列表数量: 1"_s);
        QVERIFY(start > 0 && end > start);
        for (qsizetype i = start; i <= end; ++i)
            QVERIFY2(!lines[i].contains(u"提供者"_s) && !lines[i].contains(u"成功获取文件URL"_s),
                     qPrintable(lines[i]));
    }

    void severalProbesAtOnceChangeNothingButTheTime()
    {
        // Earlier files take longer, so later probes finish first; every probe notes how many
        // ran beside it. Each file's width is its number, so records cannot be mixed up.
        QTemporaryDir tools;
        writeTool(tools.path(), u"ffprobe"_s,
                  "dir=$(dirname \"$0\")\n"
                  "for last; do :; done\n"
                  "n=$(basename \"$last\" .mp4 | tr -dc 0-9)\n"
                  "mkdir -p \"$dir/running\"\n"
                  "touch \"$dir/running/$$\"\n"
                  "sleep \"0.$((9 - n))\"\n"
                  "ls \"$dir/running\" | wc -l >> \"$dir/overlap\"\n"
                  "rm \"$dir/running/$$\"\n"
                  "[ \"$n\" = 5 ] && exit 1\n"
                  "echo \"{\\\"streams\\\": [{\\\"codec_type\\\": \\\"video\\\", "
                  "\\\"width\\\": $n}], \\\"format\\\": {}}\"\n");
        const QString root = m_media.filePath(u"parallel"_s);
        QStringList paths;
        for (int n = 1; n <= 8; ++n)
            paths << copyClip(root + u"/v%1.mp4"_s.arg(n));

        TranscodeViewModel model;
        model.setToolLocator(ToolLocator(tools.path()));
        auto *intake = new FileIntake(model);
        intake->setProbeLimit(3);
        QSignalSpy finished(intake, &FileIntake::finished);
        TraceCapture trace(model);
        // The folder, then one of its files again, then a file that is already in the folder.
        intake->processSelectedFiles(urls({root, paths[2], paths[7]}));
        QVERIFY(finished.wait(30000));

        QStringList widths;
        for (const VideoFile &file : model.videoFiles())
            widths << file.resolution;
        QCOMPARE(widths, (QStringList{u"1x0"_s, u"2x0"_s, u"3x0"_s, u"4x0"_s, u"6x0"_s, u"7x0"_s,
                                      u"8x0"_s}));
        QFile overlap(tools.filePath(u"overlap"_s));
        QVERIFY(overlap.open(QIODevice::ReadOnly));
        int most = 0;
        for (const QByteArray &line : overlap.readAll().split('\n'))
            most = std::max(most, line.trimmed().toInt());
        QCOMPARE(most, 3);

        // The trace reads as if the files had been probed one after the other.
        QStringList shape;
        for (const QString &line : trace.lines()) {
            if (line.startsWith(u"🔍 [DEBUG] 找到视频文件"_s) ||
                line.startsWith(u"🔍 [DEBUG] 当前视频列表数量"_s) ||
                line.startsWith(u"🔍 [DEBUG] getVideoInfo 开始处理"_s) || line.startsWith(u"✅"_s) ||
                line.startsWith(u"❌"_s) || line.startsWith(u"⚠️"_s))
                shape << QString(line).remove(root + u'/');
        }
        QStringList expected;
        int listed = 0;
        for (int n = 1; n <= 8; ++n) {
            const QString name = u"v%1.mp4"_s.arg(n);
            expected << u"🔍 [DEBUG] 找到视频文件 %1: "_s.arg(n) + name
                     << u"🔍 [DEBUG] 当前视频列表数量: "_s + QString::number(listed)
                     << u"🔍 [DEBUG] getVideoInfo 开始处理: "_s + name;
            if (n == 5) {
                expected << u"❌ [ERROR] FFprobe 没有输出任何数据"_s
                         << u"❌ [ERROR] 获取视频信息失败: "_s + name;
            } else {
                expected << u"✅ [SUCCESS] 成功添加视频: "_s + name;
                ++listed;
            }
        }
        for (const QString &name : {u"v3.mp4"_s, u"v8.mp4"_s})
            expected << u"🔍 [DEBUG] 当前视频列表数量: 7"_s
                     << u"⚠️ [WARNING] 视频已存在: "_s + name;
        QCOMPARE(shape, expected);
    }

    void aFileListedTwiceWhoseProbeFailsIsProbedAgain()
    {
        TranscodeViewModel model;
        TraceCapture trace(model);
        const QString broken = m_media.filePath(u"twice/broken.mp4"_s);
        writeFile(broken, "not a video");
        model.processSelectedFiles(urls({broken, broken}));
        waitForIntake(model);
        QCOMPARE(trace.count(u"❌ [ERROR] 获取视频信息失败: broken.mp4"_s), 2);
        QCOMPARE(trace.count(u"⚠️ [WARNING] 视频已存在: broken.mp4"_s), 0);
    }

    void unreadableFolderIsReported()
    {
        if (::geteuid() == 0)
            QSKIP("permissions do not bind root");
        const QString root = m_media.filePath(u"locked"_s);
        copyClip(root + u"/a/clip.mp4"_s);
        copyClip(root + u"/b/clip.mp4"_s);
        QFile::setPermissions(root + u"/b"_s, QFileDevice::WriteOwner);
        TranscodeViewModel model;
        TraceCapture trace(model);
        model.processSelectedFiles({intakeUrlFromPath(root)});
        waitForIntake(model);
        QFile::setPermissions(root + u"/b"_s, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner);
        QCOMPARE(names(model), QStringList{u"clip.mp4"_s});
        QVERIFY(trace.lines().last().startsWith(u"❌ [ERROR] 处理文件夹出错: "_s));
    }
};

QTEST_GUILESS_MAIN(TestFileIntake)
#include "tst_fileintake.moc"
