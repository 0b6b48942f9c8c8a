#include "TestSupport.h"
#include "transcode/BatchTranscoder.h"
#include "transcode/OutputNaming.h"
#include "transcode/Trash.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {

VideoFile fileAt(const QString &path)
{
    VideoFile file;
    file.url = QUrl::fromLocalFile(path);
    return file;
}

} // namespace

class TestOutputs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void naming_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QString>("output");
        QTest::newRow("hevc") << u"/A/clip.mov"_s << u"HEVC (硬件加速)"_s << u"mp4"_s
                              << u"/A/已转码_HEVC (硬件加速)/clip.mp4"_s;
        QTest::newRow("last extension only")
            << u"/A/clip.final.mov"_s << u"H.264 (软件编码)"_s << u"mov"_s
            << u"/A/已转码_H.264 (软件编码)/clip.final.mov"_s;
        QTest::newRow("prores is always mov") << u"/A/x.mp4"_s << u"ProRes (软件编码)"_s << u"mp4"_s
                                              << u"/A/已转码_ProRes (软件编码)/x.mov"_s;
        QTest::newRow("container lower-cased") << u"/A/x.MP4"_s << u"AV1 (软件编码)"_s << u"MP4"_s
                                               << u"/A/已转码_AV1 (软件编码)/x.mp4"_s;
        QTest::newRow("no extension") << u"/A/README"_s << u"AV1 (软件编码)"_s << u"mp4"_s
                                      << u"/A/已转码_AV1 (软件编码)/README.mp4"_s;
    }

    void naming()
    {
        QFETCH(QString, source);
        QFETCH(QString, codec);
        QFETCH(QString, container);
        const QUrl url = QUrl::fromLocalFile(source);
        const QString folder = OutputNaming::outputDirectory(url, codec);
        QTEST(QDir(folder).filePath(OutputNaming::baseName(url) + u'.' +
                                    OutputNaming::outputExtension(codec, container)),
              "output");
    }

    void oneRunNeverWritesTheSameOutputTwice()
    {
        // Two folders, namesakes, a file already named like a numbered output, and a source
        // that sits inside the output folder itself.
        const QList<VideoFile> files{fileAt(u"/A/x.mov"_s),     fileAt(u"/B/x.mp4"_s),
                                     fileAt(u"/A/x (2).mkv"_s), fileAt(u"/C/x.mov"_s),
                                     fileAt(u"/A/out/y.mp4"_s), fileAt(u"/B/y.mov"_s)};
        OutputPlanner planner(files, u"/A/out"_s);
        QStringList outputs;
        for (const VideoFile &file : files)
            outputs << planner.outputPathFor(file, u"HEVC (软件编码)"_s, u"mp4"_s, false);
        QCOMPARE(outputs, (QStringList{u"/A/out/x.mp4"_s, u"/A/out/x (2).mp4"_s,
                                       u"/A/out/x (2) (2).mp4"_s, u"/A/out/x (3).mp4"_s,
                                       u"/A/out/y (2).mp4"_s, u"/A/out/y (3).mp4"_s}));
        // Replacing a source writes over that source, nowhere else.
        QCOMPARE(planner.outputPathFor(files[0], u"HEVC (软件编码)"_s, u"mp4"_s, true),
                 u"/A/x.mov"_s);
    }

    void partialNamesAreHiddenAndFit()
    {
        QCOMPARE(OutputNaming::partialPath(u"/A/out/clip.mp4"_s), u"/A/out/.clip.mp4.partial"_s);
        const QString longName = QString(120, u'片') + u".mp4"_s; // 364 bytes
        const QString partial = OutputNaming::partialPath(u"/A/"_s + longName);
        QVERIFY(partial.startsWith(u"/A/."_s));
        QVERIFY(QFileInfo(partial).fileName().toUtf8().size() <= 255);
        QVERIFY(partial.endsWith(u".partial"_s));
    }

    void trashKeepsTheFileRestorable()
    {
        QTemporaryDir home;
        QTemporaryDir work;
        qputenv("XDG_DATA_HOME", home.path().toUtf8());
        const QString first = work.filePath(u"片段 #1 100%.mp4"_s);
        writeFile(first, "first");
        const Result<QString> trashed = moveToTrash(first);
        QVERIFY2(trashed.ok(),
                 qPrintable(trashed.ok() ? QString() : trashed.error().description()));
        QVERIFY(!QFile::exists(first));
        QCOMPARE(*trashed, home.filePath(u"Trash/files/片段 #1 100%.mp4"_s));
        QFile info(home.filePath(u"Trash/info/片段 #1 100%.mp4.trashinfo"_s));
        QVERIFY(info.open(QIODevice::ReadOnly));
        const QString record = QString::fromUtf8(info.readAll());
        QVERIFY(record.startsWith(u"[Trash Info]\nPath="_s +
                                  QString::fromLatin1(QUrl::toPercentEncoding(first, "/"))));
        QVERIFY(record.contains(u"\nDeletionDate="_s));

        // A second file of the same name gets a name of its own.
        writeFile(first, "second");
        const Result<QString> again = moveToTrash(first);
        QVERIFY(again.ok());
        QCOMPARE(*again, home.filePath(u"Trash/files/片段 #1 100%.2.mp4"_s));
        QFile kept(*trashed);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("first"));

        QVERIFY(!moveToTrash(work.filePath(u"gone.mp4"_s)).ok());
        qunsetenv("XDG_DATA_HOME");
    }
};

QTEST_GUILESS_MAIN(TestOutputs)
#include "tst_outputs.moc"
