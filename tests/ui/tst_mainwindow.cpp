#include "TestSupport.h"
#include "UiTestSupport.h"
#include "model/TranscodeViewModel.h"
#include "ui/MainWindow.h"

#include <QLayout>
#include <QMenuBar>
#include <QPushButton>

using namespace Qt::StringLiterals;
using namespace UiTestSupport;

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
