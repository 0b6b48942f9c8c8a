#include "TestSupport.h"
#include "intake/ExactNames.h"
#include "intake/FileIntake.h"
#include "intake/IntakeUrls.h"
#include "intake/NaturalOrder.h"

#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

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

QList<QUrl> urls(const QStringList &paths)
{
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls << intakeUrlFromPath(path);
    return urls;
}

// A plain list that intake adds to, answering from the records themselves.
struct PlainList : ListedFiles
{
    QList<VideoFile> files;

    bool isListed(const QUrl &url, const FileKey &key) const override
    {
        return std::any_of(files.begin(), files.end(), [&](const VideoFile &file) {
            return file.url == url || (key.isValid() && file.fileKey == key);
        });
    }
    qsizetype listedCount() const override { return files.size(); }
};

// Intake with a list of its own, as the view model holds it, and what it said.
struct Intake
{
    PlainList list;
    QList<VideoFile> &listed = list.files;
    QStringList trace;
    QStringList rejected;
    QStringList repeated;
    FileIntake intake;

    explicit Intake(const QString &resources = {})
        : intake(
              ToolLocator(resources), [this](const QString &line) { trace << line; }, list)
    {
        QObject::connect(&intake, &FileIntake::videoFileAdded,
                         [this](const VideoFile &file) { listed << file; });
        QObject::connect(
            &intake, &FileIntake::fileRejected,
            [this](const QString &path, const QString &why) { rejected << path + u": "_s + why; });
        QObject::connect(&intake, &FileIntake::fileAlreadyListed,
                         [this](const QString &path) { repeated << path; });
    }

    void take(const QList<QUrl> &urls, bool dropped = false)
    {
        QSignalSpy finished(&intake, &FileIntake::finished);
        dropped ? intake.handleDrop(urls) : intake.processSelectedFiles(urls);
        if (!finished.wait(60000))
            qFatal("intake did not finish");
    }

    QStringList names() const
    {
        QStringList names;
        for (const VideoFile &file : listed)
            names << file.name;
        return names;
    }

    int count(const QString &line) const { return static_cast<int>(trace.count(line)); }
};

} // namespace

class TestIntake : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString copy(const QString &relative) const
    {
        return copyTo(clip(Clip::Plain), m_dir.filePath(relative));
    }

private Q_SLOTS:
    void oneChosenFileTracesEveryStep()
    {
        const QString path = copy(u"one/clip.MP4"_s);
        Intake in;
        in.take({QUrl::fromLocalFile(path)});
        QStringList head{u"开始处理选择的文件..."_s};
        head << pathLines(path, false, u"mp4"_s) << u"🔍 [DEBUG] 识别为支持的视频文件，开始处理"_s
             << u"🔍 [DEBUG] 处理视频文件: "_s + path << u"🔍 [DEBUG] 当前视频列表数量: 0"_s
             << u"🔍 [DEBUG] 视频文件不在列表中，开始获取视频信息"_s
             << u"🔍 [DEBUG] getVideoInfo 开始处理: "_s + path;
        QCOMPARE(in.trace.mid(0, head.size()), head);
        QCOMPARE(
            in.trace.mid(in.trace.size() - 3),
            (QStringList{u"✅ [SUCCESS] 成功添加视频: clip.MP4"_s,
                         u"🔍 [DEBUG] 视频信息 - 分辨率: 160x120, 帧率: 25.00, 编码: h264 (H.264 / "
                         "AVC / MPEG-4 AVC / MPEG-4 part 10)"_s,
                         u"🔍 [DEBUG] 更新后视频列表数量: 1"_s}));
        QCOMPARE(in.listed.first().url, QUrl::fromLocalFile(path));
    }

    void folderScan()
    {
        const QString root = m_dir.filePath(u"scan"_s);
        for (const QString &name :
             {u"clip10.mp4"_s, u"clip2.MOV"_s, u".hidden.mp4"_s, u".hidden folder/inside.mp4"_s,
              u"b sub/deep/-dash 'q'.mkv"_s, u"b sub/视频 片段.webm"_s, u"notes.txt"_s,
              u"已转码_H.264 (软件编码)/clip2.mp4"_s, u"已转码_其他/kept.mp4"_s})
            copy(u"scan/"_s + name);
        writeFile(root + u"/broken.mp4"_s, "not a video");
        QVERIFY(QFile::link(root + u"/clip2.MOV"_s, root + u"/link.mp4"_s));
        QVERIFY(::mkfifo(QFile::encodeName(root + u"/pipe.mp4"_s).constData(), 0600) == 0);
        const QByteArray undecodable = QFile::encodeName(root) + "/bad\xff.mp4";
        QVERIFY(
            QFile::copy(clip(Clip::Plain),
                        QString::fromUtf8(undecodable.left(undecodable.size() - 5)) + u"x.tmp"_s));
        QVERIFY(::rename(QFile::encodeName(root + u"/badx.tmp"_s).constData(),
                         undecodable.constData()) == 0);

        Intake in(QStringLiteral(QUILLMERE_PROBE_DIR));
        in.take({intakeUrlFromPath(root)});
        // Natural order, each sub-folder where it stands; hidden entries, links, pipes and our
        // own output folders left out.
        QCOMPARE(in.names(), (QStringList{u"-dash 'q'.mkv"_s, u"视频 片段.webm"_s, u"clip2.MOV"_s,
                                          u"clip10.mp4"_s, u"kept.mp4"_s}));
        QStringList head{u"开始处理选择的文件..."_s};
        head
            << pathLines(root, true, QString()) << u"🔍 [DEBUG] 开始处理文件夹"_s
            << u"⚠️ [WARNING] 文件名不是有效的 UTF-8，无法准确处理，已跳过: "_s +
                   root + u"/bad\\xFF.mp4"_s;
        QCOMPARE(in.trace.mid(0, head.size()), head);
        QCOMPARE(
            in.count(u"🔍 [DEBUG] 跳过转码输出文件夹: "_s + root + u"/已转码_H.264 (软件编码)"_s),
            1);
        QCOMPARE(in.count(u"🔍 [DEBUG] 找到视频文件 3: broken.mp4"_s), 1);
        QCOMPARE(in.count(u"❌ [ERROR] 获取视频信息失败: broken.mp4"_s), 1);
        QCOMPARE(in.trace.last(), u"🔍 [DEBUG] 文件夹处理完成，共处理 6 个视频文件"_s);
        QCOMPARE(in.rejected.size(), 2);
        QVERIFY(in.rejected.first().startsWith(root + u"/bad\\xFF.mp4: "_s));
        QVERIFY(in.rejected.last().startsWith(root + u"/broken.mp4: 没有视频流"_s));
        ::unlink(undecodable.constData());
    }

    // Asked for directly, what is not a readable video is named with its reason.
    void directPathsThatAreNoVideos()
    {
        const QString fifo = m_dir.filePath(u"fifo.mp4"_s);
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        const QString text = m_dir.filePath(u"readme.txt"_s);
        writeFile(text, "x");
        const QString folderNamedMp4 = m_dir.filePath(u"folder.mp4"_s);
        QVERIFY(QDir().mkpath(folderNamedMp4));
        Intake in;
        in.take({QUrl::fromLocalFile(fifo), QUrl::fromLocalFile(text),
                 QUrl::fromLocalFile(m_dir.filePath(u"gone.mp4"_s)),
                 QUrl::fromLocalFile(folderNamedMp4),
                 QUrl::fromLocalFile(m_dir.filePath(u"no such folder/"_s))});
        QCOMPARE(in.rejected,
                 (QStringList{fifo + u": 不是普通文件"_s, text + u": 不是支持的视频文件类型"_s,
                              m_dir.filePath(u"gone.mp4"_s) + u": 文件不存在"_s,
                              folderNamedMp4 + u": 不是普通文件"_s,
                              m_dir.filePath(u"no such folder"_s) + u": 文件夹“"_s +
                                  m_dir.filePath(u"no such folder"_s) +
                                  u"”无法读取（不存在或没有权限）"_s}));
        QCOMPARE(in.count(u"❌ [ERROR] 不是普通文件，已跳过: "_s + fifo), 1);
        QCOMPARE(in.count(u"⚠️ [WARNING] 不支持的文件类型: txt"_s), 1);
        QVERIFY(in.listed.isEmpty());
    }

    // The same file given again, under another spelling or through a link, is listed once.
    void eachFileIsListedOnce()
    {
        const QString a = copy(u"dupes/a.mp4"_s);
        const QString b = copy(u"dupes/b.mp4"_s);
        const QString other = copy(u"other/a.mp4"_s);
        QVERIFY(QFile::link(m_dir.filePath(u"dupes"_s), m_dir.filePath(u"alias"_s)));
        const QString broken = m_dir.filePath(u"dupes/broken.avi"_s);
        writeFile(broken, "x");
        Intake in;
        in.take(urls({m_dir.filePath(u"other/../dupes/./a.mp4"_s), m_dir.filePath(u"dupes"_s), a,
                      other, m_dir.filePath(u"alias/b.mp4"_s), broken, broken}));

        in.take(urls({b}), true);
        QCOMPARE(in.names(), (QStringList{u"a.mp4"_s, u"b.mp4"_s, u"a.mp4"_s}));
        QCOMPARE(in.listed.at(0).url, QUrl::fromLocalFile(a));
        QCOMPARE(in.listed.at(2).url, QUrl::fromLocalFile(other));

        QCOMPARE(in.count(u"⚠️ [WARNING] 视频已存在: a.mp4"_s), 2);
        QCOMPARE(in.count(u"⚠️ [WARNING] 视频已存在: b.mp4"_s), 2);
        QCOMPARE(in.repeated.size(), 4);
        // A file that could not be probed is not listed, so it is not a duplicate either.
        QCOMPARE(in.count(u"❌ [ERROR] 获取视频信息失败: broken.avi"_s), 3);
        // Cards the user removed may be added again.
        in.listed.remove(1, 2);
        in.take(urls({other, b}));
        QCOMPARE(in.names(), (QStringList{u"a.mp4"_s, u"a.mp4"_s, u"b.mp4"_s}));
        QCOMPARE(in.repeated.size(), 4);
    }

    void dropTracesEachProvider()
    {
        const QString path = copy(u"drop/dropped clip.mov"_s);
        Intake in;
        in.take({QUrl(u"https://example.com/v.mp4"_s), QUrl::fromLocalFile(path)}, true);
        QStringList expected{u"🔍 [DEBUG] 开始处理拖放文件，提供者数量: 2"_s,
                             u"🔍 [DEBUG] 处理第 1 个提供者"_s,
                             u"🔍 [DEBUG] 提供者支持的类型: [\"public.url\"]"_s,
                             u"⚠️ [WARNING] 提供者不支持文件URL类型"_s,
                             u"🔍 [DEBUG] 处理第 2 个提供者"_s,
                             u"🔍 [DEBUG] 提供者支持的类型: [\"public.file-url\"]"_s,
                             u"🔍 [DEBUG] 提供者支持文件URL类型"_s,
                             u"🔍 [DEBUG] 成功加载项目，类型: Optional<NSSecureCoding>"_s,
                             u"✅ [SUCCESS] 成功获取文件URL: "_s + path,
                             u"🔍 [DEBUG] 开始在主线程处理文件: "_s + path};
        expected << pathLines(path, false, u"mov"_s);
        QCOMPARE(in.trace.mid(0, expected.size()), expected);
        QCOMPARE(in.names(), QStringList{u"dropped clip.mov"_s});
        QCOMPARE(in.rejected, QStringList{u"https://example.com/v.mp4: 不是本地文件"_s});
    }

    void severalProbesAtOnceChangeNothingButTheTime()
    {
        // Earlier files take longer, so later probes finish first; every probe notes how many
        // ran beside it. Each file's width is its number, so records cannot be mixed up.
        QTemporaryDir tools;
        writeTool(tools.path(), u"ffprobe"_s,
                  "dir=$(dirname \"$0\")\nfor last; do :; done\n"
                  "n=$(basename \"$last\" .mp4 | tr -dc 0-9)\n"
                  "mkdir -p \"$dir/running\"\ntouch \"$dir/running/$$\"\nsleep \"0.$((9 - n))\"\n"
                  "ls \"$dir/running\" | wc -l >> \"$dir/overlap\"\nrm \"$dir/running/$$\"\n"
                  "[ \"$n\" = 5 ] && exit 1\n"
                  "echo \"{\\\"streams\\\": [{\\\"codec_type\\\": \\\"video\\\", "
                  "\\\"width\\\": $n}], \\\"format\\\": {}}\"\n");
        const QString root = m_dir.filePath(u"parallel"_s);
        QStringList paths;
        for (int n = 1; n <= 8; ++n)
            paths << copy(u"parallel/v%1.mp4"_s.arg(n));
        Intake in(tools.path());
        in.intake.setProbeLimit(3);
        in.take(urls({root, paths[2], paths[7]}));

        QStringList widths;
        for (const VideoFile &file : in.listed)
            widths << file.resolution.section(u'x', 0, 0);
        QCOMPARE(widths.join(u','), u"1,2,3,4,6,7,8"_s);
        int most = 0;
        for (const QByteArray &line : contents(tools.filePath(u"overlap"_s)).split('\n'))
            most = std::max(most, line.trimmed().toInt());
        QCOMPARE(most, 3);
        // The trace reads as if the files had been probed one after the other.
        QStringList shape;
        for (const QString &line : std::as_const(in.trace)) {
            if (line.contains(u"找到视频文件"_s) || line.contains(u"当前视频列表数量"_s) ||
                line.contains(u"getVideoInfo"_s) || line.startsWith(u"✅"_s) ||
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

    // A worker that crashes, hangs or writes without end fails that file alone; a fresh one
    // takes the next, and the list and each file's lines are as with one ffprobe per file.
    void workersThatFailLoseOnlyTheirFile()
    {
        QTemporaryDir tools;
        const QString worker =
            writeTool(tools.path(), u"quillmere-probe"_s,
                      "echo $$ >> \"$(dirname \"$0\")/started\"\n"
                      "while IFS= read -r line; do case \"$line\" in\n"
                      "*crash*) kill -SEGV $$ ;;\n"
                      "*hang*) exec sleep 30 ;;\n"
                      "*endless*) exec cat /dev/zero ;;\n"
                      "*) n=${line##*%2Fv}; printf '{\"streams\": [{\"codec_type\": \"video\", "
                      "\"width\": %s}], \"format\": {}}\\n' \"${n%.mp4}\" ;;\n"
                      "esac; done\n");
        const QString root = m_dir.filePath(u"workers"_s);
        for (const QString &name : {u"v1"_s, u"crash"_s, u"v2"_s, u"v3"_s, u"endless"_s})
            copy(u"workers/%1.mp4"_s.arg(name));
        const QString hang = copy(u"workers-hang/hang.mp4"_s);
        Intake in(tools.path());
        in.intake.setProbeLimit(2);
        in.take(urls({root + u"/v1.mp4"_s, root, root + u"/v2.mp4"_s}));
        // Only one limit can be reached by each: the time limit is met by a worker that
        // hangs, alone in an intake of its own.
        Intake slow(tools.path());
        slow.intake.setProbeTimeLimit(std::chrono::seconds(1));
        slow.take(urls({hang}));

        QStringList widths;
        for (const VideoFile &file : in.listed)
            widths << file.resolution.section(u'x', 0, 0);
        QCOMPARE(widths.join(u','), u"1,2,3"_s);
        QCOMPARE(in.rejected.size() + slow.rejected.size(), 3);
        for (const auto &[path, why, intake] :
             {std::tuple{root + u"/crash.mp4"_s, u"quillmere-probe 读取此文件时崩溃（信号 11）"_s,
                         &in},
              {root + u"/endless.mp4"_s, u"quillmere-probe 的输出超过 32 MB，已停止"_s, &in},
              {hang, u"quillmere-probe 超过 1 秒仍未完成，已停止"_s, &slow}}) {
            QVERIFY(intake->rejected.contains(path + u": "_s + why));
            const QStringList &trace = intake->trace;
            const qsizetype at = trace.indexOf(u"🔍 [DEBUG] getVideoInfo 开始处理: "_s + path);
            QCOMPARE(trace.mid(at + 1, 3), (QStringList{u"🔍 [DEBUG] ffprobe 路径: "_s + worker,
                                                        u"🔍 [DEBUG] 开始执行 ffprobe 进程"_s,
                                                        u"🔍 [DEBUG] ffprobe 进程启动成功"_s}));
            QCOMPARE(trace.at(at + 5), u"❌ [ERROR] "_s + why);
            QCOMPARE(trace.at(at + 6),
                     u"❌ [ERROR] 获取视频信息失败: "_s + QFileInfo(path).fileName());
        }
        QCOMPARE(in.count(u"⚠️ [WARNING] 视频已存在: v1.mp4"_s), 1);
        QCOMPARE(in.count(u"⚠️ [WARNING] 视频已存在: v2.mp4"_s), 1);
        QVERIFY(contents(tools.filePath(u"started"_s)).count('\n') >= 4);
    }

    void aWorkerThatCannotWorkLeavesItToFFprobe()
    {
        QTemporaryDir tools;
        writeTool(tools.path(), u"quillmere-probe"_s, "exit 3\n");
        Intake in(tools.path());
        in.take(urls({copy(u"no worker/a.mp4"_s), copy(u"no worker/b.mp4"_s)}));
        QCOMPARE(in.names(), (QStringList{u"a.mp4"_s, u"b.mp4"_s}));
        const QString ffprobe = QStandardPaths::findExecutable(u"ffprobe"_s);
        QCOMPARE(in.count(u"🔍 [DEBUG] ffprobe 路径: "_s + ffprobe), 2);
    }

    // Names carried byte for byte: what is not UTF-8 comes back as it was, and is told apart.
    void exactNamesRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("utf8");
        QTest::addColumn<QString>("readable");
        QTest::newRow("plain") << QByteArray("片段 😀.mp4") << true << u"片段 😀.mp4"_s;
        QTest::newRow("lone byte") << QByteArray("\xff.mp4") << false << u"\\xFF.mp4"_s;
        QTest::newRow("cut sequence") << QByteArray("\xe7\x89.mp4") << false << u"\\xE7\\x89.mp4"_s;
        QTest::newRow("overlong slash") << QByteArray("a\xc0\xaf"
                                                      "b")
                                        << false << u"a\\xC0\\xAFb"_s;
        QTest::newRow("encoded surrogate")
            << QByteArray("\xed\xa0\x80") << false << u"\\xED\\xA0\\x80"_s;
        QTest::newRow("replacement character") << QByteArray("\xef\xbf\xbd") << true << u"\ufffd"_s;
    }

    void exactNamesRoundTrip()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, utf8);
        const QString text = ExactNames::decode(bytes);
        QCOMPARE(ExactNames::encode(text), bytes);
        QCOMPARE(ExactNames::isUtf8(bytes), utf8);
        QCOMPARE(ExactNames::holdsOddBytes(text), !utf8);
        QTEST(ExactNames::readable(bytes), "readable");
        const char *argv[] = {"program", bytes.constData()};
        QCOMPARE(ExactNames::encode(ExactNames::arguments(2, argv).first()), bytes);
    }

    // A name that is not UTF-8, however it comes, is refused by name; the file whose name Qt
    // would have made of it instead ("\ufffd.mp4") is not taken for it.
    void namesThatAreNotUtf8AreRefused_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("command line") << u"argument"_s;
        QTest::newRow("dropped") << u"drop"_s;
        QTest::newRow("in a scanned folder") << u"folder"_s;
    }

    void namesThatAreNotUtf8AreRefused()
    {
        QFETCH(QString, how);
        const QString root = m_dir.filePath(u"odd "_s + how);
        const QByteArray rawRoot = QFile::encodeName(root);
        copy(u"odd "_s + how + u"/\ufffd.mp4"_s);
        QVERIFY(QDir().mkpath(root + u"/sub"_s));
        QVERIFY(::rename(QFile::encodeName(root + u"/sub"_s).constData(),
                         (rawRoot + "/\xff").constData()) == 0);
        QVERIFY(QFile::copy(root + u"/\ufffd.mp4"_s, root + u"/x.tmp"_s));
        QVERIFY(::rename(QFile::encodeName(root + u"/x.tmp"_s).constData(),
                         (rawRoot + "/\xff.mp4").constData()) == 0);
        QVERIFY(::link((rawRoot + "/\xff.mp4").constData(),
                       (rawRoot + "/\xff/inside.mp4").constData()) == 0);
        Intake in;
        QStringList expected;
        if (how == u"argument") {
            const char *argv[] = {"quillmere-cli", "\xff.mp4"};
            QVERIFY(QDir::setCurrent(root));
            in.take({intakeUrlFromPath(ExactNames::arguments(2, argv).first())});
            QDir::setCurrent(m_dir.path());
            expected << root + u"/\\xFF.mp4"_s;
        } else if (how == u"drop") {
            in.take({QUrl::fromEncoded("file://" + rawRoot.toPercentEncoding("/") + "/%FF.mp4"),
                     QUrl::fromEncoded("file://" + rawRoot.toPercentEncoding("/") + "/%FF")},
                    true);
            expected << root + u"/\\xFF.mp4"_s << root + u"/\\xFF"_s;
        } else {
            in.take({intakeUrlFromPath(root)});
            expected << root + u"/\\xFF.mp4"_s << root + u"/\\xFF/"_s;
        }
        const QString reason = u": 文件名不是有效的 UTF-8，无法准确处理"_s;
        for (QString &path : expected)
            path += reason;
        if (how == u"folder") {
            QCOMPARE(in.names(), QStringList{u"\ufffd.mp4"_s}); // its own name, listed itself
            expected.sort();
            in.rejected.sort();
        } else {
            QCOMPARE(in.names(), QStringList());
        }
        QCOMPARE(in.rejected, expected);
        // Qt could not remove them with the rest.
        ::unlink((rawRoot + "/\xff/inside.mp4").constData());
        ::rmdir((rawRoot + "/\xff").constData());
        ::unlink((rawRoot + "/\xff.mp4").constData());
    }

    void namesInTheOrderPeopleExpect()
    {
        QStringList names{u"clip10.mp4"_s, u"Clip2.mp4"_s, u"clip1.mp4"_s, u"a 01.mp4"_s,
                          u"a 1.mp4"_s,    u"A.mp4"_s,     u"片段.mp4"_s};
        std::sort(names.begin(), names.end(), naturalLess);
        QCOMPARE(names.join(u','),
                 u"a 01.mp4,a 1.mp4,A.mp4,clip1.mp4,Clip2.mp4,clip10.mp4,片段.mp4"_s);
    }
};

QTEST_GUILESS_MAIN(TestIntake)
#include "tst_intake.moc"
