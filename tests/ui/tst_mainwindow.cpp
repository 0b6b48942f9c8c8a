#include "TestSupport.h"
#include "UiTestSupport.h"
#include "model/TranscodeViewModel.h"
#include "ui/MainWindow.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace TestSupport;
using namespace UiTestSupport;

namespace {

// The ffmpeg processes this test has started, by process id.
QList<qint64> ffmpegChildren()
{
    QList<qint64> children;
    QDirIterator processes(u"/proc"_s, QDir::Dirs | QDir::NoDotAndDotDot);
    while (processes.hasNext()) {
        const QString dir = processes.next();
        QFile stat(dir + u"/stat"_s);
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // pid (comm) state ppid ...
        const QByteArray line = stat.readAll();
        const qsizetype close = line.lastIndexOf(')');
        const QList<QByteArray> rest = line.mid(close + 2).split(' ');
        const QByteArray name = line.mid(line.indexOf('(') + 1, close - line.indexOf('(') - 1);
        if (name == "ffmpeg" && rest.size() > 1 && rest[0] != "Z" &&
            rest[1].toLongLong() == getpid())
            children << line.left(line.indexOf(' ')).toLongLong();
    }
    return children;
}

QByteArray digest(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

QStringList filesBelow(const QString &dir)
{
    QStringList found;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    found.sort();
    return found;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_media;
    QString m_longClip; // long enough to stop or close the window while it converts

    // A window with one copy of `clip` listed in a folder of its own, set to convert with a
    // software encoder.
    std::unique_ptr<MainWindow> windowWith(const QString &clip, const QString &folder)
    {
        QDir().mkpath(m_media.filePath(folder));
        const QString copy = m_media.filePath(folder + u"/"_s + QFileInfo(clip).fileName());
        if (!QFile::copy(clip, copy))
            qFatal("cannot copy %s", qPrintable(clip));
        auto window = std::make_unique<MainWindow>();
        window->model().setTraceWriter([](const QString &) {});
        window->model().setSelectedCodec(u"HEVC (软件编码)"_s);
        window->openPaths({copy});
        waitForIntake(window->model());
        if (window->model().videoFiles().size() != 1)
            qFatal("%s was not listed", qPrintable(copy));
        window->show();
        return window;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_media.isValid());
        m_longClip = makeClip(m_media.filePath(u"long.mp4"_s), {u"-c:v"_s, u"mpeg4"_s},
                              u"1280x720"_s, u"25"_s, 20);
    }

    void oneWindowWithoutTitleOrMenus()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.windowTitle().isEmpty());
        QCOMPARE(window.findChild<QMenuBar *>(), nullptr);
        window.resize(300, 200);
        QCOMPARE(window.size(), QSize(800, 600));
    }

    void regionsFromTopToBottom()
    {
        MainWindow window;
        window.model().appendVideoFile(listedFile(u"a.mp4"_s));
        window.resize(1000, 900);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        int bottom = 0;
        for (const QString &name :
             {u"dropZone"_s, u"fileList"_s, u"presetBar"_s, u"settingsPanel"_s, u"actionArea"_s}) {
            auto *region = child<QWidget>(window, name);
            QVERIFY2(region->isVisible(), qPrintable(name));
            const int top = region->mapTo(&window, QPoint(0, 0)).y();
            QVERIFY2(top >= bottom, qPrintable(name));
            bottom = top + region->height();
        }
        // The drop zone takes what the others leave.
        QVERIFY(child<QWidget>(window, u"dropZone"_s)->height() > 200);
    }

    void emptyListShowsNoFileListAndCannotStart()
    {
        MainWindow window;
        QVERIFY(!shows(window, u"fileList"_s));
        QVERIFY(shows(window, u"presetBar"_s));
        QVERIFY(shows(window, u"settingsPanel"_s));
        QVERIFY(!child<QPushButton>(window, u"startButton"_s)->isEnabled());
        QVERIFY(!shows(window, u"progressPanel"_s));
        QVERIFY(!shows(window, u"completionPanel"_s));
    }

    void everyStateFitsTheSmallestWindow_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("completed");
        QTest::newRow("idle") << false << false;
        QTest::newRow("running") << true << false;
        QTest::newRow("completed") << false << true;
    }

    void everyStateFitsTheSmallestWindow()
    {
        QFETCH(bool, running);
        QFETCH(bool, completed);
        MainWindow window;
        TranscodeViewModel &model = window.model();
        for (const QString &name : {u"a.mp4"_s, u"b.mp4"_s, u"c.mp4"_s})
            model.appendVideoFile(listedFile(name));
        model.setIsTranscoding(running);
        model.setTranscodeCompleted(completed);
        model.setLastOutputDirectory(u"/videos/已转码_H.264"_s);
        model.setCurrentFileName(u"b.mp4"_s);
        window.resize(800, 600);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.size(), QSize(800, 600));
        const QWidget *content = child<QWidget>(window, u"content"_s);
        // Nothing needs scrolling.
        QTRY_COMPARE(content->size(), window.centralWidget()->size());
    }

    void runShowsProgressThenCompletion()
    {
        const QString clip = makeClip(m_media.filePath(u"short.mp4"_s));
        auto window = windowWith(clip, u"complete"_s);
        QSignalSpy finished(&window->model(), &TranscodeViewModel::runFinished);
        QTest::mouseClick(child<QPushButton>(*window, u"startButton"_s), Qt::LeftButton);
        QVERIFY(window->model().isTranscoding());
        QVERIFY(shows(*window, u"progressPanel"_s));
        QVERIFY(shows(*window, u"stopButton"_s));
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.first().first().value<RunOutcome>(), RunOutcome::Completed);
        QVERIFY(shows(*window, u"completionPanel"_s));
        QVERIFY(!shows(*window, u"progressPanel"_s));
        QVERIFY(shows(*window, u"newRunButton"_s));
        const auto *link = child<QPushButton>(*window, u"outputFolderLink"_s);
        QVERIFY(link->isVisibleTo(window.get()));
        QVERIFY(link->text().startsWith(u"打开输出文件夹: "_s));
        QVERIFY(link->text().contains(u"已转码_"_s));
        QTest::mouseClick(child<QPushButton>(*window, u"newRunButton"_s), Qt::LeftButton);
        QVERIFY(window->model().videoFiles().isEmpty());
        QVERIFY(!shows(*window, u"completionPanel"_s));
    }

    void failedRunSaysWhy()
    {
        const QString clip = makeClip(m_media.filePath(u"gone.mp4"_s));
        auto window = windowWith(clip, u"fail"_s);
        QFile::remove(window->model().videoFiles().first().url.toLocalFile());
        QSignalSpy finished(&window->model(), &TranscodeViewModel::runFinished);
        QTest::mouseClick(child<QPushButton>(*window, u"startButton"_s), Qt::LeftButton);
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.first().first().value<RunOutcome>(), RunOutcome::Failed);
        QVERIFY(shows(*window, u"errorLabel"_s));
        QVERIFY(
            child<QLabel>(*window, u"errorLabel"_s)->text().startsWith(u"转码失败: gone.mp4"_s));
        // Back to idle with the list as it was.
        QVERIFY(shows(*window, u"startButton"_s));
        QVERIFY(!shows(*window, u"completionPanel"_s));
        QCOMPARE(window->model().videoFiles().size(), 1);
    }

    void stopButtonCancelsTheRun()
    {
        auto window = windowWith(m_longClip, u"stop"_s);
        const QString source = window->model().videoFiles().first().url.toLocalFile();
        const QByteArray before = digest(source);
        QSignalSpy finished(&window->model(), &TranscodeViewModel::runFinished);
        QTest::mouseClick(child<QPushButton>(*window, u"startButton"_s), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(window->model().currentFrame() > 0, 60000);
        QTest::mouseClick(child<QPushButton>(*window, u"stopButton"_s), Qt::LeftButton);
        QVERIFY(finished.size() == 1 || finished.wait(30000));
        QCOMPARE(finished.first().first().value<RunOutcome>(), RunOutcome::Cancelled);
        QVERIFY(!shows(*window, u"stopButton"_s));
        QVERIFY(!shows(*window, u"progressPanel"_s));
        QVERIFY(child<QPushButton>(*window, u"startButton"_s)->isEnabled());
        QTRY_VERIFY(ffmpegChildren().isEmpty());
        QCOMPARE(digest(source), before);
        QCOMPARE(filesBelow(m_media.filePath(u"stop"_s)), QStringList{source});
    }

    void closingDuringARunStopsIt()
    {
        auto window = windowWith(m_longClip, u"close"_s);
        const QString source = window->model().videoFiles().first().url.toLocalFile();
        const QByteArray before = digest(source);
        QTest::mouseClick(child<QPushButton>(*window, u"startButton"_s), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(window->model().currentFrame() > 0, 60000);
        QVERIFY(!ffmpegChildren().isEmpty());
        QSignalSpy finished(&window->model(), &TranscodeViewModel::runFinished);
        QVERIFY(window->close());
        // The run is called off by the close itself, before the window goes.
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().value<RunOutcome>(), RunOutcome::Cancelled);
        window.reset();
        QTRY_VERIFY(ffmpegChildren().isEmpty());
        QCOMPARE(digest(source), before);
        QCOMPARE(filesBelow(m_media.filePath(u"close"_s)), QStringList{source});
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
