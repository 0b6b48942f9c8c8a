#include "TestSupport.h"
#include "intake/IntakeUrls.h"
#include "model/TranscodeViewModel.h"

#include <QDirIterator>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// A small file system of the test's own at `path`, or nothing where mounting is not allowed.
bool mountTmpfs(const QString &path, const QString &options)
{
    QDir().mkpath(path);
    return QProcess::execute(u"mount"_s,
                             {u"-t"_s, u"tmpfs"_s, u"-o"_s, options, u"tmpfs"_s, path}) == 0;
}

void unmount(const QString &path)
{
    QProcess::execute(u"umount"_s, {u"-l"_s, path});
}

RunOutcome takeInAndRun(TranscodeViewModel &model, const QList<QUrl> &urls)
{
    QSignalSpy taken(&model, &TranscodeViewModel::intakeFinished);
    model.processSelectedFiles(urls);
    if (!taken.wait(60000))
        qFatal("intake did not finish");
    QSignalSpy finished(&model, &TranscodeViewModel::runFinished);
    model.startTranscoding();
    if (!finished.wait(120000))
        qFatal("the run did not end");
    return finished.first().first().value<RunOutcome>();
}

} // namespace

class TestHostile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_media;
    QString m_clip;

private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<RunOutcome>();
        m_clip = makeClip(m_media.filePath(u"clip.mp4"_s), {u"-pix_fmt"_s, u"yuv420p"_s});
        qputenv("XDG_DATA_HOME", m_media.filePath(u"data"_s).toUtf8());
    }

    void oddNamesAreConvertedOrNamed()
    {
        const QString folder = m_media.filePath(u"odd"_s);
        const QStringList names{u"sp ace.mp4"_s,
                                u"\"double\" 'single'.mp4"_s,
                                u"$HOME $(id).mp4"_s,
                                u"new\nline.mp4"_s,
                                u"-leading dash.mp4"_s,
                                u"片段 é.mp4"_s,
                                QString(251, u'x') + u".mp4"_s};
        QDir().mkpath(folder);
        for (const QString &name : names)
            QVERIFY(QFile::copy(m_clip, folder + u'/' + name));
        // A name that is not UTF-8, made with the bytes themselves.
        const QByteArray raw = QFile::encodeName(folder) + "/bad\xff\xfe.mp4";
        QVERIFY(QFile::copy(m_clip, QString::fromUtf8(folder.toUtf8() + "/ok-then-renamed.mp4")));
        QVERIFY(::rename(QFile::encodeName(folder + u"/ok-then-renamed.mp4"_s).constData(),
                         raw.constData()) == 0);

        TranscodeViewModel model;
        TraceCapture trace(model);
        model.setSelectedCodec(u"H.264 (软件编码)"_s);
        QCOMPARE(takeInAndRun(model, {intakeUrlFromPath(folder)}), RunOutcome::Completed);
        QCOMPARE(model.videoFiles().size(), names.size());
        for (const QString &name : names)
            QVERIFY2(QFile::exists(folder + u"/已转码_H.264 (软件编码)/"_s + name),
                     qPrintable(name));
        QVERIFY(trace.text().contains(
            u"⚠️ [WARNING] 文件名不是有效的 UTF-8，无法读取，已跳过: "_s +
            folder + u"/bad\\xFF\\xFE.mp4"_s));
        // The source with the odd bytes is untouched; Qt could not remove it with the folder.
        QVERIFY(::access(raw.constData(), F_OK) == 0);
        ::unlink(raw.constData());
    }

    void outputFolderThatCannotBeWritten()
    {
        const QString folder = m_media.filePath(u"readonly"_s);
        const bool mounted =
            ::geteuid() == 0 ? mountTmpfs(folder, u"size=4m,mode=0755"_s) : QDir().mkpath(folder);
        if (!mounted)
            QSKIP("cannot make a read-only folder here");
        QVERIFY(QFile::copy(m_clip, folder + u"/a.mp4"_s));
        if (::geteuid() == 0)
            QCOMPARE(QProcess::execute(u"mount"_s, {u"-o"_s, u"remount,ro"_s, folder}), 0);
        else
            QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);

        TranscodeViewModel model;
        TraceCapture trace(model);
        model.setSelectedCodec(u"H.264 (软件编码)"_s);
        const RunOutcome outcome = takeInAndRun(model, {intakeUrlFromPath(folder + u"/a.mp4"_s)});
        const QByteArray after = contents(folder + u"/a.mp4"_s);
        const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        if (::geteuid() == 0)
            unmount(folder);
        else
            QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner);
        QCOMPARE(outcome, RunOutcome::Failed);
        QVERIFY2(model.lastError().contains(u"无法创建输出文件夹"_s),
                 qPrintable(model.lastError()));
        QCOMPARE(entries, QStringList{u"a.mp4"_s});
        QCOMPARE(after, contents(m_clip));
    }

    void fullDisk()
    {
        if (::geteuid() != 0)
            QSKIP("mounting a small file system needs root");
        const QString folder = m_media.filePath(u"full"_s);
        if (!mountTmpfs(folder, u"size=600k"_s))
            QSKIP("cannot mount a small file system here");
        // A source that fits, converted to something far larger than the room left.
        const QString source = folder + u"/a.mp4"_s;
        QVERIFY(QFile::copy(m_clip, source));
        const QByteArray before = contents(source);

        for (const bool overwrite : {false, true}) {
            TranscodeViewModel model;
            TraceCapture trace(model);
            model.setSelectedCodec(u"ProRes (软件编码)"_s);
            model.setSelectedProResProfile(u"4444 XQ"_s);
            model.setSelectedResolution(u"1920x1080"_s);
            model.setOverwriteOriginal(overwrite);
            const RunOutcome outcome = takeInAndRun(model, {QUrl::fromLocalFile(source)});
            QCOMPARE(outcome, RunOutcome::Failed);
            QVERIFY2(model.lastError().startsWith(u"a.mp4: ffmpeg 转码失败"_s),
                     qPrintable(model.lastError()));
            QCOMPARE(contents(source), before);
            QDirIterator left(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            QStringList files;
            while (left.hasNext())
                files << left.next();
            QCOMPARE(files, QStringList{source});
        }
        unmount(folder);
    }

    void sourceThatVanishesBeforeTheRun()
    {
        const QString folder = m_media.filePath(u"vanish"_s);
        QDir().mkpath(folder);
        QVERIFY(QFile::copy(m_clip, folder + u"/a.mp4"_s));
        QVERIFY(QFile::copy(m_clip, folder + u"/b.mp4"_s));
        TranscodeViewModel model;
        TraceCapture trace(model);
        model.setSelectedCodec(u"H.264 (软件编码)"_s);
        model.setOverwriteOriginal(true);
        QSignalSpy taken(&model, &TranscodeViewModel::intakeFinished);
        model.processSelectedFiles({intakeUrlFromPath(folder)});
        QVERIFY(taken.wait(30000));
        QVERIFY(QFile::remove(folder + u"/a.mp4"_s));

        QSignalSpy finished(&model, &TranscodeViewModel::runFinished);
        model.startTranscoding();
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.first().first().value<RunOutcome>(), RunOutcome::Failed);
        QVERIFY2(model.lastError().startsWith(u"a.mp4: ffmpeg 转码失败"_s),
                 qPrintable(model.lastError()));
        QVERIFY(model.lastError().contains(u"No such file or directory"_s));
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{u"b.mp4"_s});
        QCOMPARE(contents(folder + u"/b.mp4"_s), contents(m_clip));
    }
};

QTEST_GUILESS_MAIN(TestHostile)
#include "tst_hostile.moc"
