#include "UiTestSupport.h"
#include "model/TranscodeViewModel.h"
#include "ui/ActionArea.h"
#include "ui/LogView.h"
#include "ui/Spinner.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextDocument>
#include <QToolButton>

#include <cmath>

using namespace Qt::StringLiterals;
using namespace UiTestSupport;

class TestActionArea : public QObject
{
    Q_OBJECT

    TranscodeViewModel *m_model = nullptr;
    QWidget *m_window = nullptr;
    ActionArea *m_area = nullptr;

    QString text(const QString &name) const { return child<QLabel>(*m_area, name)->text(); }
    bool showsPart(const QString &name) const { return shows(*m_area, name); }

private Q_SLOTS:
    void initTestCase()
    {
        // A comma locale must not change how the figures are written.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void init()
    {
        m_model = new TranscodeViewModel;
        // In a window of its own, as a top-level widget it would resize the window at each
        // change.
        m_window = new QWidget;
        m_area = new ActionArea(*m_model, m_window);
        m_area->resize(800, 400);
        m_window->resize(800, 400);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }

    void cleanup()
    {
        delete m_window;
        delete m_model;
    }

    void slotFollowsTheRunState_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("completed");
        QTest::addColumn<bool>("start");
        QTest::addColumn<bool>("startEnabled");
        QTest::addColumn<bool>("newRun");
        QTest::addColumn<bool>("stop");
        QTest::addColumn<bool>("progress");
        QTest::addColumn<bool>("completion");
        QTest::newRow("idle") << false << false << true << true << false << false << false << false;
        QTest::newRow("running") << true << false << true << false << false << true << true
                                 << false;
        QTest::newRow("completed")
            << false << true << false << true << true << false << false << true;
        QTest::newRow("both") << true << true << false << false << true << true << true << true;
    }

    void slotFollowsTheRunState()
    {
        QFETCH(bool, running);
        QFETCH(bool, completed);
        m_model->appendVideoFile(listedFile(u"a.mp4"_s));
        m_model->setIsTranscoding(running);
        m_model->setTranscodeCompleted(completed);
        auto *start = child<QPushButton>(*m_area, u"startButton"_s);
        QTEST(showsPart(u"startButton"_s), "start");
        QTEST(start->isEnabled(), "startEnabled");
        QTEST(showsPart(u"newRunButton"_s), "newRun");
        QTEST(showsPart(u"stopButton"_s), "stop");
        QTEST(showsPart(u"progressPanel"_s), "progress");
        QTEST(showsPart(u"completionPanel"_s), "completion");
        // The spinner stands in for the label while running.
        const bool spinning = running && !completed;
        QCOMPARE(start->findChild<Spinner *>()->isVisibleTo(m_area), spinning);
        QCOMPARE(start->text().isEmpty(), spinning);
        if (!spinning)
            QCOMPARE(start->text(), u"开始转码"_s);
    }

    void startNeedsFiles()
    {
        auto *start = child<QPushButton>(*m_area, u"startButton"_s);
        QVERIFY(!start->isEnabled());
        m_model->appendVideoFile(listedFile(u"a.mp4"_s));
        QVERIFY(start->isEnabled());
    }

    void newRunButtonClearsTheList()
    {
        m_model->appendVideoFile(listedFile(u"a.mp4"_s));
        m_model->setTranscodeCompleted(true);
        m_model->setLastOutputDirectory(u"/videos/已转码_H.264"_s);
        QTest::mouseClick(child<QPushButton>(*m_area, u"newRunButton"_s), Qt::LeftButton);
        QVERIFY(m_model->videoFiles().isEmpty());
        QVERIFY(!showsPart(u"completionPanel"_s));
        QVERIFY(showsPart(u"startButton"_s));
        QVERIFY(!child<QPushButton>(*m_area, u"startButton"_s)->isEnabled());
    }

    void statistics_data()
    {
        QTest::addColumn<qint64>("frame");
        QTest::addColumn<double>("fps");
        QTest::addColumn<double>("bitrate");
        QTest::addColumn<double>("speed");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("rounded up")
            << qint64(1200) << 29.97 << 0.0 << 2.36
            << QStringList{u"帧数: 1200"_s, u"FPS: 30.0"_s, u"码率: 0.0 Mbps"_s, u"速度: 2.4x"_s};
        QTest::newRow("halfway is printf's")
            << qint64(0) << 0.25 << 12.35 << 0.05
            << QStringList{u"帧数: 0"_s, u"FPS: 0.2"_s, u"码率: 12.3 Mbps"_s, u"速度: 0.1x"_s};
        QTest::newRow("large") << qint64(123456789) << 1000.04 << 99.96 << 10.0
                               << QStringList{u"帧数: 123456789"_s, u"FPS: 1000.0"_s,
                                              u"码率: 100.0 Mbps"_s, u"速度: 10.0x"_s};
    }

    void statistics()
    {
        QFETCH(qint64, frame);
        QFETCH(double, fps);
        QFETCH(double, bitrate);
        QFETCH(double, speed);
        QFETCH(QStringList, shown);
        m_model->setIsTranscoding(true);
        m_model->setCurrentFrame(frame);
        m_model->setCurrentFPS(fps);
        m_model->setCurrentBitrate(bitrate);
        m_model->setCurrentSpeed(speed);
        QCOMPARE((QStringList{text(u"framesFigure"_s), text(u"fpsFigure"_s),
                              text(u"bitrateFigure"_s), text(u"speedFigure"_s)}),
                 shown);
    }

    void percentage_data()
    {
        QTest::addColumn<double>("progress");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("bar");
        QTest::newRow("start") << 0.0 << u"0%"_s << 0;
        QTest::newRow("half") << 0.5 << u"50%"_s << 500;
        QTest::newRow("almost") << 0.999 << u"99%"_s << 999;
        QTest::newRow("done") << 1.0 << u"100%"_s << 1000;
        QTest::newRow("beyond") << 1.7 << u"100%"_s << 1000;
        QTest::newRow("below") << -0.3 << u"0%"_s << 0;
        QTest::newRow("not a number") << std::nan("") << u"0%"_s << 0;
    }

    void percentage()
    {
        QFETCH(double, progress);
        QFETCH(int, bar);
        m_model->setIsTranscoding(true);
        m_model->setTranscodeProgress(progress);
        QTEST(text(u"percentFigure"_s), "shown");
        auto *progressBar = child<QProgressBar>(*m_area, u"progressBar"_s);
        QCOMPARE(progressBar->maximum(), 1000);
        QTRY_COMPARE(progressBar->value(), bar);
    }

    void counterAndFileLine()
    {
        m_model->setIsTranscoding(true);
        m_model->setTotalFiles(3);
        QCOMPARE(text(u"counterLine"_s), u"0/3"_s);
        QVERIFY(!showsPart(u"fileLine"_s));
        m_model->setCurrentFileIndex(2);
        m_model->setCurrentFileName(u"b.mp4"_s);
        QCOMPARE(text(u"counterLine"_s), u"2/3"_s);
        QVERIFY(showsPart(u"fileLine"_s));
        QCOMPARE(text(u"fileLine"_s), u"正在处理: b.mp4"_s);
    }

    void completionOffersTheOutputFolder()
    {
        m_model->setTranscodeCompleted(true);
        QCOMPARE(text(u"completionTitle"_s), u"转码完成!"_s);
        QVERIFY(!showsPart(u"outputFolderLink"_s));
        m_model->setLastOutputDirectory(u"/videos/已转码_HEVC"_s);
        auto *link = child<QPushButton>(*m_area, u"outputFolderLink"_s);
        QVERIFY(showsPart(u"outputFolderLink"_s));
        QCOMPARE(link->text(), u"打开输出文件夹: /videos/已转码_HEVC"_s);
        QSignalSpy opened(m_model, &TranscodeViewModel::outputFolderOpenRequested);
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.first().first().toUrl(), QUrl::fromLocalFile(u"/videos/已转码_HEVC"_s));
    }

    void errorAndNoticeShowOnlyWhileSet()
    {
        QVERIFY(!showsPart(u"errorLabel"_s));
        QVERIFY(!showsPart(u"noticeLabel"_s));
        m_model->setLastError(u"a.mp4: ffmpeg 失败"_s);
        m_model->setRunNotice(u"改用 libx264"_s);
        QVERIFY(showsPart(u"errorLabel"_s));
        QCOMPARE(text(u"errorLabel"_s), u"转码失败: a.mp4: ffmpeg 失败"_s);
        QVERIFY(showsPart(u"noticeLabel"_s));
        QCOMPARE(text(u"noticeLabel"_s), u"改用 libx264"_s);
        m_model->clearAll();
        QVERIFY(!showsPart(u"errorLabel"_s));
        QVERIFY(!showsPart(u"noticeLabel"_s));
    }

    void logToggleShowsTheLog()
    {
        m_model->setFfmpegLog(u"ffmpeg -i a.mp4\n"_s);
        QVERIFY(!showsPart(u"logView"_s));
        QTest::mouseClick(child<QToolButton>(*m_area, u"logToggle"_s), Qt::LeftButton);
        QVERIFY(showsPart(u"logView"_s));
        auto *log = child<LogView>(*m_area, u"logView"_s);
        QVERIFY(log->isReadOnly());
        QCOMPARE(log->toPlainText(), u"ffmpeg -i a.mp4\n"_s);
    }

    void logAppendsWithoutRewriting()
    {
        child<QToolButton>(*m_area, u"logToggle"_s)->click();
        auto *log = child<LogView>(*m_area, u"logView"_s);
        m_model->appendToFfmpegLog(u"ffmpeg -i a.mp4\n"_s);
        settle();
        int removed = 0;
        connect(log->document(), &QTextDocument::contentsChange, this,
                [&removed](int, int charsRemoved, int) { removed += charsRemoved; });
        for (int frame = 1; frame <= 200; ++frame) {
            m_model->appendToFfmpegLog(u"frame=%1\nprogress=continue\n"_s.arg(frame));
            settle();
        }
        QCOMPARE(removed, 0);
        QCOMPARE(log->toPlainText(), m_model->ffmpegLog());
        // It follows the end as lines come in.
        QCOMPARE(log->verticalScrollBar()->value(), log->verticalScrollBar()->maximum());
        QVERIFY(log->verticalScrollBar()->maximum() > 0);

        // Read back from further up, it stays there.
        log->verticalScrollBar()->setValue(0);
        m_model->appendToFfmpegLog(u"progress=end\n"_s);
        settle();
        QCOMPARE(log->verticalScrollBar()->value(), 0);
        QVERIFY(log->toPlainText().endsWith(u"progress=end\n"_s));
    }

    void logStartsAfreshWhenTheModelDoes()
    {
        child<QToolButton>(*m_area, u"logToggle"_s)->click();
        auto *log = child<LogView>(*m_area, u"logView"_s);
        m_model->appendToFfmpegLog(u"old run\n"_s);
        m_model->clearAll();
        m_model->appendToFfmpegLog(u"new run\n"_s);
        settle();
        QCOMPARE(log->toPlainText(), u"new run\n"_s);
    }

    void hiddenLogCatchesUpWhenShown()
    {
        m_model->appendToFfmpegLog(u"while hidden\n"_s);
        settle();
        child<QToolButton>(*m_area, u"logToggle"_s)->click();
        QCOMPARE(child<LogView>(*m_area, u"logView"_s)->toPlainText(), u"while hidden\n"_s);
    }
};

QTEST_MAIN(TestActionArea)
#include "tst_actionarea.moc"
