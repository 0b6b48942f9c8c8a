#include "TestSupport.h"
#include "probe/ProbeOutput.h"
#include "session/QueueMemory.h"
#include "session/TranscodeViewModel.h"
#include "ui/CardText.h"
#include "ui/DesktopIntegration.h"
#include "ui/DropZone.h"
#include "ui/FileCardDelegate.h"
#include "ui/FileListPanel.h"
#include "ui/Look.h"
#include "ui/MainWindow.h"
#include "ui/RunFigures.h"
#include "ui/SettingsMemory.h"
#include "ui/SettingsPanel.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {

// A file as the probe would describe it, without a real file behind it.
VideoFile listedFile(const QString &name, bool hasAlpha = false)
{
    VideoFile file;
    file.id = QUuid::createUuid();
    file.url = QUrl::fromLocalFile(u"/videos/"_s + name);
    file.name = name;
    file.resolution = u"1920x1080"_s;
    file.frameRate = u"29.97"_s;
    file.bitrate = u"12Mbps"_s;
    file.codec = u"h264 (H.264 / AVC / MPEG-4 AVC / MPEG-4 part 10)"_s;
    file.colorFormat = u"yuv420p"_s;
    file.bitDepth = u"8bit"_s;
    file.hasAlpha = hasAlpha;
    file.width = 1920;
    file.height = 1080;
    file.audioStreams = 1;
    return file;
}

// A window on a model of its own, with its trace kept and ffmpeg found in `resources` first;
// its questions answered by `answer`, and folders opened (or not) by `opens`.
struct Window
{
    QStringList trace;
    QStringList questions;
    bool answer = true;
    bool opens = true;
    TranscodeViewModel model;
    MainWindow window;

    explicit Window(const QString &resources = {})
        : model(RunContext{ToolLocator(resources), [this](const QString &line) { trace << line; }})
        , window(model)
    {
        window.setConfirmer([this](QWidget *, const QString &question) {
            questions << question;
            return answer;
        });
        // Earlier results: both kept, unless a test answers otherwise.
        window.setChooser([this](QWidget *, const QString &question, const QStringList &) {
            questions << question;
            return 1;
        });
        window.setFolderOpener(
            [this](const QUrl &, const std::function<void(bool)> &done) { done(opens); });
        window.resize(1000, 900);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            qFatal("the window was not shown");
    }

    template <typename T> T *child(const QString &name) const
    {
        T *found = window.findChild<T *>(name);
        if (!found)
            qFatal("no widget named %s", qPrintable(name));
        return found;
    }
    bool shows(const QString &name) const { return child<QWidget>(name)->isVisibleTo(&window); }
    QString text(const QString &name) const { return child<QLabel>(name)->text(); }
};

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void regionsFromTopToBottom()
    {
        Window w;
        QVERIFY(w.window.windowTitle().isEmpty());
        QCOMPARE(w.window.findChild<QMenuBar *>(), nullptr);
        QVERIFY(!w.shows(u"fileList"_s));
        QVERIFY(!w.child<QPushButton>(u"startButton"_s)->isEnabled());
        w.model.appendVideoFiles({listedFile(u"a.mp4"_s)});
        QCOMPARE(w.child<QLabel>(u"fileListHeader"_s)->text(), u"已选择 1 个视频"_s);
        int bottom = 0;
        for (const QString &name :
             {u"dropZone"_s, u"fileList"_s, u"presetBar"_s, u"settingsPanel"_s, u"actionArea"_s}) {
            QVERIFY2(w.shows(name), qPrintable(name));
            const int top = w.child<QWidget>(name)->mapTo(&w.window, QPoint(0, 0)).y();
            QVERIFY2(top >= bottom, qPrintable(name));
            bottom = top + w.child<QWidget>(name)->height();
        }
        QVERIFY(w.child<QPushButton>(u"startButton"_s)->isEnabled());
        w.window.resize(300, 200);
        QCOMPARE(w.window.size(), QSize(800, 600));
    }

    void settingsControlsWriteAndFollowTheModel()
    {
        Window w;
        auto *codec = w.child<QComboBox>(u"codecPicker"_s);
        codec->setCurrentText(u"ProRes (硬件加速)"_s);
        QCOMPARE(w.model.selectedCodec(), u"ProRes (硬件加速)"_s);
        QTRY_COMPARE(w.model.selectedContainer(), u"mov"_s);
        QVERIFY(!w.shows(u"bitrateGroup"_s) && !w.shows(u"containerPicker"_s));
        QVERIFY(!w.shows(u"alphaSwitch"_s));
        w.child<QComboBox>(u"profilePicker"_s)->setCurrentText(u"4444 XQ"_s);
        QVERIFY(w.shows(u"alphaSwitch"_s));
        w.child<QComboBox>(u"frameRatePicker"_s)->setCurrentText(u"59.94"_s);
        w.child<QComboBox>(u"resolutionPicker"_s)->setCurrentText(u"1280x720"_s);
        QCOMPARE(w.model.selectedFrameRate(), u"59.94"_s);
        QCOMPARE(w.model.selectedResolution(), u"1280x720"_s);
        // A preset moves every control with it.
        const QList<QPushButton *> presets =
            w.child<QWidget>(u"presetBar"_s)->findChildren<QPushButton *>();
        QCOMPARE(presets.size(), 6);
        QTest::mouseClick(presets.at(5), Qt::LeftButton);
        QCOMPARE(codec->currentText(), u"AV1 (软件编码)"_s);
        QCOMPARE(w.child<QLineEdit>(u"bitrateField"_s)->text(), u"1"_s);
        QVERIFY(w.shows(u"bitrateGroup"_s));
    }

    void bitrateField_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<double>("bitrate");
        QTest::newRow("point") << u"2.5"_s << 2.5;
        QTest::newRow("comma refused") << u"2,5"_s << 10.0;
        QTest::newRow("negative refused") << u"-3"_s << 10.0;
        QTest::newRow("grouping refused") << u"1,000"_s << 10.0;
    }

    void bitrateField()
    {
        QFETCH(QString, typed);
        Window w;
        auto *field = w.child<QLineEdit>(u"bitrateField"_s);
        field->selectAll();
        QTest::keyClicks(field, typed);
        QTest::keyClick(field, Qt::Key_Return);
        QTEST(w.model.selectedBitrate(), "bitrate");
        QCOMPARE(field->text(), formatBitrate(w.model.selectedBitrate()));
    }

    void cardTexts_data()
    {
        QTest::addColumn<VideoFile>("file");
        QTest::addColumn<QString>("items");
        const VideoFile plain = listedFile(u"a.mp4"_s);
        QTest::newRow("plain") << plain
                               << u"1920x1080 29.97 fps h264 12Mbps 8 bit · yuv420p 无Alpha "
                                  "1 条音轨"_s;
        VideoFile portrait = plain;
        portrait.rotation = 90;
        QTest::newRow("turned: as shown") << portrait
                                          << u"1080x1920 ↻ 29.97 fps h264 12Mbps 8 bit · "
                                             "yuv420p 无Alpha 1 条音轨"_s;
        VideoFile tenBit = plain;
        tenBit.codec = u"hevc (H.265 / HEVC (High Efficiency Video Coding))"_s;
        tenBit.bitDepth = u"10bit"_s;
        tenBit.colorFormat = u"yuv420p10le"_s;
        tenBit.audioStreams = 0;
        QTest::newRow("10-bit, no audio") << tenBit
                                          << u"1920x1080 29.97 fps hevc 12Mbps 10 bit · "
                                             "yuv420p10le 无Alpha 无音频"_s;
        VideoFile alpha = listedFile(u"a.mov"_s, true);
        alpha.codec = u"prores (ProRes)"_s;
        alpha.bitDepth = u"12bit"_s;
        alpha.colorFormat = u"yuva444p12le"_s;
        alpha.bitsPerSecond = 700000;
        alpha.audioStreams = 2;
        QTest::newRow("alpha, two tracks") << alpha
                                           << u"1920x1080 29.97 fps prores 0.7Mbps 12 bit · "
                                              "yuva444p12le Alpha 2 条音轨"_s;
        VideoFile unknown = plain;
        unknown.width = unknown.height = 0;
        unknown.resolution = u"未知"_s;
        unknown.codec = u"未知 (未知)"_s;
        QTest::newRow("unknown")
            << unknown << u"未知 29.97 fps 未知 12Mbps 8 bit · yuv420p 无Alpha 1 条音轨"_s;
    }

    void cardTexts()
    {
        QFETCH(VideoFile, file);
        QStringList texts;
        for (const CardItem &item : cardItems(file))
            texts << item.text;
        QTEST(texts.join(u' '), "items");
        QCOMPARE(cardItems(file).at(5).tone,
                 file.hasAlpha ? CardItem::Tone::Blue : CardItem::Tone::Secondary);
        // The long name and the turn where the card has no room for them.
        QVERIFY(cardToolTip(file).contains(file.codec));
        QCOMPARE(cardToolTip(file).contains(u"旋转 90°"_s), file.rotation == 90);
    }

    void cardsWrapRatherThanCut_data()
    {
        QTest::addColumn<QList<int>>("widths");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("lines");
        QTest::newRow("one line") << QList<int>{50, 50, 50} << 170 << 1;
        QTest::newRow("exactly") << QList<int>{50, 50, 50} << 160 << 1;
        QTest::newRow("two") << QList<int>{50, 50, 50} << 159 << 2;
        QTest::newRow("each alone") << QList<int>{50, 60, 50} << 55 << 3;
        QTest::newRow("none") << QList<int>{} << 100 << 0;
    }

    void cardsWrapRatherThanCut()
    {
        QFETCH(QList<int>, widths);
        QFETCH(int, width);
        QTEST(flowLineCount(widths, width, 5), "lines");
        const QList<QPoint> places = flowItems(widths, width, 5);
        for (qsizetype i = 1; i < places.size(); ++i) {
            if (places[i].y() == places[i - 1].y())
                QCOMPARE(places[i].x(), places[i - 1].x() + widths[i - 1] + 5);
            else
                QCOMPARE(places[i].x(), 0);
        }
    }

    // Wide: as many columns as show every card on one line. Narrow: one column whose cards
    // take more lines, all of the same height.
    void cardColumnsFollowTheWidth()
    {
        Window w;
        VideoFile odd = listedFile(u"odd.mkv"_s);
        odd.codec = u"a_codec_with_a_very_long_short_name_indeed_and_more (X)"_s;
        odd.colorFormat = u"a_pixel_format_with_an_unusually_long_name"_s;
        w.model.appendVideoFiles({listedFile(u"a.mp4"_s), listedFile(u"b.mp4"_s)});
        FileGridView &grid = w.window.findChild<FileListPanel *>()->grid();
        w.window.resize(1280, 900);
        QTRY_COMPARE(grid.columnCount(), 2);
        // A name that two columns would cut takes the one column it fits in whole.
        const QFontMetrics nameMetrics(Look::headline(grid.font()));
        QString name = u"clip"_s;
        while (nameMetrics.horizontalAdvance(name + u".mp4"_s) < 700)
            name += u"_long"_s;
        w.model.appendVideoFiles({listedFile(name + u".mp4"_s)});
        QTRY_COMPARE(grid.columnCount(), 1);
        w.model.removeVideoFile(w.model.videoFiles().last().id);
        w.window.resize(1600, 900);
        QTRY_VERIFY(grid.columnCount() >= 2);
        QCOMPARE(grid.cardDelegate().propertyLines(), 1);
        w.model.appendVideoFiles({odd});
        w.window.resize(800, 600);
        QTRY_COMPARE(grid.columnCount(), 1);
        QVERIFY(grid.cardDelegate().propertyLines() >= 2);
        const int tall = grid.visualRect(grid.model()->index(0, 0)).height();
        // Once it leaves, the others need no more than one line again.
        w.model.removeVideoFile(w.model.videoFiles().last().id);
        QTRY_COMPARE(grid.cardDelegate().propertyLines(), 1);
        QVERIFY(grid.visualRect(grid.model()->index(0, 0)).height() < tall);
    }

    void cardsRemoveTheirFile()
    {
        Window w;
        const VideoFile twin = listedFile(u"b.mp4"_s);
        w.model.appendVideoFiles(
            {listedFile(u"a.mp4"_s), twin, twin, listedFile(u"c.mp4"_s), listedFile(u"d.mp4"_s)});
        FileGridView &grid = w.window.findChild<FileListPanel *>()->grid();
        const QRect cell = grid.visualRect(grid.model()->index(1, 0));
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell.center()); // selects only
        QCOMPARE(grid.selectionModel()->selectedIndexes().size(), 1);
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {},
                          FileCardDelegate::removeButtonRect(cell).center());
        QTRY_COMPARE(w.model.videoFiles().size(), 3); // every entry with that id
        // A click and a Ctrl-click choose two cards; Delete takes both away.
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {},
                          grid.visualRect(grid.model()->index(0, 0)).center());
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::ControlModifier,
                          grid.visualRect(grid.model()->index(2, 0)).center());
        QTest::keyClick(&grid, Qt::Key_Delete);
        QTRY_COMPARE(w.model.videoFiles().size(), 1);
        QCOMPARE(w.model.videoFiles().first().name, u"c.mp4"_s);

        VideoFile file = listedFile(u"a.mp4"_s);
        file.duration = 75;
        file.size = 12345678;
        QCOMPARE(cardFooter(file), u"1:15 • 12.3 MB"_s);
        using S = JobRecord::Status;
        const auto status = [](S s, double p = 0, qint64 size = 0) {
            JobRecord job;
            job.status = s;
            job.fraction = p;
            job.outcome.outputSize = size;
            return cardStatus(job, true)->text;
        };
        QCOMPARE((QStringList{status(S::Waiting), status(S::Converting, 0.456),
                              status(S::Done, 0, 2500000), status(S::Failed), status(S::Skipped),
                              status(S::Cancelled)}),
                 (QStringList{u"等待中"_s, u"转码中 45%"_s, u"✓ 已完成 · 2.5 MB"_s, u"✗ 失败"_s,
                              u"已跳过"_s, u"已取消"_s}));
        QVERIFY(!cardStatus(JobRecord(), false)); // a file no run has taken
        // A finished picture's size where it is not the chosen one: fitted, or not enlarged.
        const auto finished = [](QSize chosen, QSize result) {
            JobRecord job;
            job.status = S::Done;
            job.outcome.outputSize = 2500000;
            job.chosenSize = chosen;
            job.outcome.result.width = result.width();
            job.outcome.result.height = result.height();
            return cardStatus(job, true)->text;
        };
        QCOMPARE((QStringList{finished({1280, 720}, {640, 480}), finished({1280, 720}, {1280, 720}),
                              finished({}, {640, 480})}),
                 (QStringList{u"✓ 已完成 · 2.5 MB · → 640x480"_s, u"✓ 已完成 · 2.5 MB"_s,
                              u"✓ 已完成 · 2.5 MB"_s}));
    }

    void tenThousandFilesAreRowsNotWidgets()
    {
        Window w;
        QList<VideoFile> files;
        for (int i = 0; i < 10000; ++i)
            files << listedFile(u"clip %1.mp4"_s.arg(i));
        w.model.appendVideoFiles(files);
        QCOMPARE(w.window.findChild<FileListPanel *>()->grid().model()->rowCount(), 10000);
        QVERIFY(w.window.findChildren<QWidget *>().size() < 200);
    }

    void dropsAndClicksTakeFilesIn()
    {
        const QString a = copyTo(clip(Clip::Plain), m_dir.filePath(u"drop/a.mp4"_s));
        const QString folder = m_dir.filePath(u"drop/folder"_s);
        copyTo(clip(Clip::Plain), folder + u"/inner/b.mp4"_s);
        Window w;
        DropZone &zone = w.window.dropZone();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(a), QUrl::fromLocalFile(folder)});
        QDragEnterEvent enter(zone.rect().center(), Qt::CopyAction | Qt::MoveAction, &data,
                              Qt::LeftButton, {});
        QCoreApplication::sendEvent(&zone, &enter);
        QVERIFY(enter.isAccepted() && zone.isDropTargeted());
        QDropEvent drop(zone.rect().center(), Qt::CopyAction | Qt::MoveAction, &data,
                        Qt::LeftButton, {});
        QCoreApplication::sendEvent(&zone, &drop);
        QCOMPARE(drop.dropAction(), Qt::CopyAction); // never a move: the sources stay
        QCOMPARE(w.trace.mid(0, 3),
                 (QStringList{u"🔍 [DEBUG] DropZoneView: onDrop 被触发"_s,
                              u"🔍 [DEBUG] DropZoneView: 提供者数量: 2"_s,
                              u"🔍 [DEBUG] DropZoneView: isDropTargeted: true"_s}));
        QTRY_COMPARE_WITH_TIMEOUT(w.model.videoFiles().size(), 2, 30000);
        QVERIFY(zone.isCompact()); // the list has the room now

        // Dropped on the list, or anywhere else on the window, files go the same way.
        const QString c = copyTo(clip(Clip::Plain), m_dir.filePath(u"drop/c.mp4"_s));
        const QString d = copyTo(clip(Clip::Plain), m_dir.filePath(u"drop/d.mp4"_s));
        QWidget *list = w.window.findChild<FileListPanel *>()->grid().viewport();
        for (const auto &[receiver, path] :
             {std::pair<QWidget *, QString>{list, c}, {&w.window, d}}) {
            QMimeData more;
            more.setUrls({QUrl::fromLocalFile(path)});
            QDragEnterEvent over(receiver->rect().center(), Qt::CopyAction, &more, Qt::LeftButton,
                                 {});
            QCoreApplication::sendEvent(receiver, &over);
            QVERIFY(over.isAccepted() && zone.isDropTargeted());
            QDropEvent dropped(receiver->rect().center(), Qt::CopyAction, &more, Qt::LeftButton,
                               {});
            QCoreApplication::sendEvent(receiver, &dropped);
            QVERIFY(dropped.isAccepted() && !zone.isDropTargeted());
        }
        QTRY_COMPARE_WITH_TIMEOUT(w.model.videoFiles().size(), 4, 30000);
        QCOMPARE(w.trace.filter(u"DropZoneView: 提供者数量: 1"_s).size(), 2);

        QMimeData web;
        web.setUrls({QUrl(u"https://example.com/v.mp4"_s)});
        QDragEnterEvent refused(zone.rect().center(), Qt::CopyAction, &web, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&zone, &refused);
        QVERIFY(!refused.isAccepted());

        int asked = 0;
        zone.setChooser([&](QWidget *, std::function<void(const QList<QUrl> &)>) { ++asked; });
        QTest::mouseClick(&zone, Qt::LeftButton);
        QTest::keyClick(&w.window, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(asked, 2);
    }

    void figuresAsThePanelWritesThem()
    {
        QCOMPARE(RunFigures::percentText(0.999), u"99%"_s);
        QCOMPARE(RunFigures::percentText(1.7), u"100%"_s);
        QCOMPARE(RunFigures::percentText(-0.2), u"0%"_s);
        QCOMPARE(RunFigures::fps(29.97), u"FPS: 30.0"_s);
        QCOMPARE(RunFigures::speed(2.36), u"速度: 2.4x"_s);
        QCOMPARE(RunFigures::bitrate(0), u"码率: 0.0 Mbps"_s);
        QCOMPARE(RunFigures::counter(2, 5), u"2/5"_s);
    }

    // A run in the window: progress while it goes, a completion that names the failure and
    // runs it again, the log on demand, a stop that asks, and a close that stops it too.
    void aRunInTheWindow()
    {
        QTemporaryDir tools;
        fakeFFmpeg(tools.path());
        writeFile(tools.filePath(u"result"_s), contents(clip(Clip::Plain)));
        writeFile(tools.filePath(u"progress"_s),
                  "frame=1200\nfps=29.97\nspeed=2x\nout_time=00:00:00.200000\n");
        writeFile(tools.filePath(u"fail_for"_s), "/b.mp4\n");
        writeFile(tools.filePath(u"status"_s), "1\n");
        writeFile(tools.filePath(u"stderr"_s), "Unknown encoder 'libfoo'\n");
        const QString source = copyTo(clip(Clip::Plain), m_dir.filePath(u"win/a.mp4"_s));
        auto w = std::make_unique<Window>(tools.path());
        w->model.setSelectedCodec(u"H.264 (软件编码)"_s);
        w->model.appendVideoFiles(
            {probed(source), probed(copyTo(source, m_dir.filePath(u"win/b.mp4"_s)))});
        QTest::keyClick(&w->window, Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(w->shows(u"progressPanel"_s) &&
                !w->child<QPushButton>(u"startButton"_s)->isEnabled());
        // Estimating at first (one report of ffmpeg's is too little to go by), 0:00 at the end.
        QTRY_VERIFY(w->text(u"timeLine"_s).startsWith(u"已用 0:0"_s) &&
                    w->text(u"timeLine"_s).contains(u"剩余"_s));
        QTRY_VERIFY(w->shows(u"completionPanel"_s));
        QVERIFY(!w->shows(u"progressPanel"_s) && w->shows(u"newRunButton"_s));
        QCOMPARE(w->text(u"summaryLine"_s), u"已转码 1 个，失败 1 个，跳过 0 个"_s);
        QCOMPARE(w->text(u"completionTitle"_s), u"转码完成，1 个失败"_s); // as the notification
        QCOMPARE(w->text(u"failureList"_s),
                 u"b.mp4: ffmpeg 转码失败（退出代码 1）: Unknown encoder 'libfoo'"_s);
        QVERIFY(!w->shows(u"errorLabel"_s));
        QCOMPARE(w->text(u"framesFigure"_s), u"帧数: 1200"_s);
        w->opens = false;
        QTest::mouseClick(w->child<QPushButton>(u"outputFolderLink"_s), Qt::LeftButton);
        QVERIFY(w->text(u"folderNotOpened"_s)
                    .endsWith(m_dir.filePath(u"win/已转码_H.264 (软件编码)"_s)));
        QTest::mouseClick(w->child<QToolButton>(u"logToggle"_s), Qt::LeftButton);
        QVERIFY(
            w->child<QPlainTextEdit>(u"logView"_s)->toPlainText().contains(u"Unknown encoder"_s));
        // Once more for the failed file alone; then the converted ones leave the list.
        QFile::remove(tools.filePath(u"fail_for"_s));
        QTest::mouseClick(w->child<QPushButton>(u"retryButton"_s), Qt::LeftButton);
        QTRY_COMPARE(w->text(u"summaryLine"_s), u"已转码 2 个，失败 0 个，跳过 0 个"_s);
        QTest::mouseClick(w->child<QPushButton>(u"removeDoneButton"_s), Qt::LeftButton);
        QVERIFY(w->model.videoFiles().isEmpty());
        QVERIFY(!w->shows(u"fileList"_s) && !w->shows(u"completionPanel"_s));

        // Stopped with its button (a deliberate click: no question, unlike Esc): nothing left,
        // the sources whole.
        writeFile(tools.filePath(u"hang"_s), "");
        w->model.appendVideoFiles({probed(source)});
        QTest::mouseClick(w->child<QPushButton>(u"startButton"_s), Qt::LeftButton);
        QTRY_VERIFY(QFile::exists(tools.filePath(u"pid"_s)));
        auto *stop = w->child<QPushButton>(u"stopButton"_s);
        QVERIFY(stop->isVisible());
        QCOMPARE(stop->text(), u"停止转码"_s);
        const qsizetype asked = w->questions.size();
        QTest::mouseClick(stop, Qt::LeftButton);
        QCOMPARE(w->questions.size(), asked);
        QTRY_VERIFY(!w->model.isTranscoding());
        QCOMPARE(w->text(u"noticeLabel"_s), u"转码已取消"_s);
        QCOMPARE(filesBelow(m_dir.filePath(u"win"_s)),
                 (QStringList{u"a.mp4"_s, u"b.mp4"_s, u"已转码_H.264 (软件编码)/a.mp4"_s,
                              u"已转码_H.264 (软件编码)/b.mp4"_s}));

        // Closed during a run: asked first, then stopped the same way.
        QFile::remove(tools.filePath(u"pid"_s));
        QTest::mouseClick(w->child<QPushButton>(u"startButton"_s), Qt::LeftButton);
        QTRY_VERIFY(QFile::exists(tools.filePath(u"pid"_s)));
        const pid_t pid = contents(tools.filePath(u"pid"_s)).trimmed().toInt();
        w->answer = false;
        QVERIFY(!w->window.close());
        QVERIFY(w->model.isTranscoding());
        w->answer = true;
        QVERIFY(w->window.close());
        QCOMPARE(w->questions.last(), u"正在转码，确定停止并退出吗？"_s);
        w.reset();
        QTRY_VERIFY(::kill(pid, 0) != 0);
        QCOMPARE(contents(source), contents(clip(Clip::Plain)));
    }

    // Replacing originals is decided each time, for as many as the run would replace; the
    // completion panel says where they went.
    void replacingOriginalsAsksFirst()
    {
        QTemporaryDir tools;
        fakeFFmpeg(tools.path());
        writeFile(tools.filePath(u"result"_s), contents(clip(Clip::Plain)));
        writeFile(tools.filePath(u"fail_for"_s), "/b.mp4\n");
        writeFile(tools.filePath(u"status"_s), "1\n");
        const EnvironmentGuard trash("XDG_DATA_HOME", m_dir.filePath(u"data"_s).toUtf8());
        QList<VideoFile> files;
        for (const QString &name : {u"a.mp4"_s, u"b.mp4"_s, u"c.mp4"_s})
            files << probed(copyTo(clip(Clip::Plain), m_dir.filePath(u"replace/"_s + name)));
        Window w(tools.path());
        w.model.setSelectedCodec(u"H.264 (软件编码)"_s);
        w.model.appendVideoFiles(files);
        w.model.setOverwriteOriginal(true);
        w.answer = false;
        QTest::keyClick(&w.window, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(w.questions,
                 QStringList{u"将用转码结果替换 3 个原文件，原文件会移到回收站。继续吗？"_s});
        QVERIFY(!w.model.isTranscoding());
        QVERIFY(fakeCalls(tools.path()).isEmpty());

        w.answer = true;
        QTest::mouseClick(w.child<QPushButton>(u"startButton"_s), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(w.shows(u"completionPanel"_s), 60000);
        QCOMPARE(w.text(u"replacedLine"_s), u"已替换 2 个原文件，原文件已移到回收站"_s);
        QCOMPARE(filesBelow(m_dir.filePath(u"data/Trash/files"_s)),
                 (QStringList{u"a.mp4"_s, u"c.mp4"_s}));
        // A retry replaces only what failed, and asks for that one, not for one listed since.
        QFile::remove(tools.filePath(u"fail_for"_s));
        w.model.appendVideoFiles({listedFile(u"later.mp4"_s)});
        QTest::mouseClick(w.child<QPushButton>(u"retryButton"_s), Qt::LeftButton);
        QCOMPARE(w.questions.last(),
                 u"将用转码结果替换 1 个原文件，原文件会移到回收站。继续吗？"_s);
        QTRY_COMPARE_WITH_TIMEOUT(w.text(u"replacedLine"_s),
                                  u"已替换 3 个原文件，原文件已移到回收站"_s, 60000);
        QCOMPARE(w.text(u"summaryLine"_s), u"已转码 3 个，失败 0 个，跳过 0 个"_s);
    }

    // A run over results of an earlier one asks once what becomes of them.
    void earlierResultsAreNotReplacedUnasked_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<QStringList>("results"); // in the output folder afterwards
        QTest::addColumn<bool>("earlierKept");    // the earlier result still at its name
        QTest::addColumn<QString>("trashed");     // what the completion panel says of it
        QTest::newRow("dismissed") << -1 << QStringList{u"a.mp4"_s} << true << QString();
        QTest::newRow("replace") << 0 << QStringList{u"a.mp4"_s} << false
                                 << u"1 个旧的转码结果已移到回收站"_s;
        QTest::newRow("keep both")
            << 1 << QStringList{u"a (2).mp4"_s, u"a.mp4"_s} << true << QString();
        QTest::newRow("skip") << 2 << QStringList{u"a.mp4"_s} << true << QString();
    }

    void earlierResultsAreNotReplacedUnasked()
    {
        QFETCH(int, choice);
        QTemporaryDir tools;
        fakeFFmpeg(tools.path());
        writeFile(tools.filePath(u"result"_s), contents(clip(Clip::Plain)));
        const EnvironmentGuard trash("XDG_DATA_HOME", m_dir.filePath(u"data"_s).toUtf8());
        const QString folder =
            m_dir.filePath(u"again/"_s + QString::fromLatin1(QTest::currentDataTag()));
        const QString earlier =
            copyTo(clip(Clip::Plain), folder + u"/已转码_H.264 (软件编码)/a.mp4"_s);
        const FileKey before = fileFactsAt(earlier).key;
        Window w(tools.path());
        QStringList asked;
        w.window.setChooser([&](QWidget *, const QString &question, const QStringList &choices) {
            asked << question << choices;
            return choice;
        });
        w.model.setSelectedCodec(u"H.264 (软件编码)"_s);
        w.model.appendVideoFiles({probed(copyTo(clip(Clip::Plain), folder + u"/a.mp4"_s))});
        QTest::mouseClick(w.child<QPushButton>(u"startButton"_s), Qt::LeftButton);
        QCOMPARE(asked,
                 (QStringList{u"输出文件夹中已有 1 个同名的转码结果（如“a.mp4”）。要怎样处理？"_s,
                              u"替换（旧文件移到回收站）"_s, u"保留两者（新文件加 \" (2)\"）"_s,
                              u"跳过已有的"_s}));
        if (choice >= 0)
            QTRY_VERIFY_WITH_TIMEOUT(w.shows(u"completionPanel"_s), 60000);
        QVERIFY(!w.model.isTranscoding());
        QTEST(filesBelow(folder + u"/已转码_H.264 (软件编码)"_s), "results");
        QTEST(fileFactsAt(earlier).key == before, "earlierKept");
        QTEST(w.shows(u"replacedLine"_s) ? w.text(u"replacedLine"_s) : QString(), "trashed");
        if (choice == 2)
            QCOMPARE(w.model.queue().job(0).status, JobRecord::Status::Skipped);
        if (choice == 0) { // the earlier result can be restored from the Trash
            const QString info = m_dir.filePath(u"data/Trash/info"_s);
            const QStringList records = filesBelow(info);
            QVERIFY(std::any_of(records.begin(), records.end(), [&](const QString &name) {
                return contents(info + u'/' + name)
                    .contains("\nPath=" + QUrl::toPercentEncoding(earlier, "/") + '\n');
            }));
        }
    }

    // While a run goes on its settings are shown and cannot be changed; a bitrate typed but
    // not committed is the run's. A stop question open as the run ends goes with it.
    void settingsAreFixedDuringARun()
    {
        QTemporaryDir tools;
        fakeFFmpeg(tools.path());
        writeFile(tools.filePath(u"hang"_s), "");
        Window w(tools.path());
        w.model.setSelectedCodec(u"H.264 (软件编码)"_s);
        w.model.appendVideoFiles(
            {probed(copyTo(clip(Clip::Plain), m_dir.filePath(u"fixed/a.mp4"_s)))});
        auto *field = w.child<QLineEdit>(u"bitrateField"_s);
        w.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, u"3"_s);
        const QList<QPushButton *> presets =
            w.child<QWidget>(u"presetBar"_s)->findChildren<QPushButton *>();
        QTest::keyClick(field, Qt::Key_Return, Qt::ControlModifier); // the field keeps its focus
        QTRY_VERIFY(QFile::exists(tools.filePath(u"pid"_s)));
        QVERIFY(fakeCalls(tools.path()).last().contains(u"-b:v 3000k"_s));
        QVERIFY(!w.child<QWidget>(u"settingsBox"_s)->isEnabled());
        QVERIFY(std::none_of(presets.begin(), presets.end(),
                             [](QPushButton *button) { return button->isEnabled(); }));
        QTest::mouseClick(presets.at(5), Qt::LeftButton);
        QCOMPARE(w.child<QComboBox>(u"codecPicker"_s)->currentText(), u"H.264 (软件编码)"_s);
        QCOMPARE(field->text(), u"3"_s);

        w.model.cancelTranscoding();
        QTRY_VERIFY(!w.model.isTranscoding());
        QVERIFY(w.child<QWidget>(u"settingsBox"_s)->isEnabled());
        QVERIFY(std::all_of(presets.begin(), presets.end(),
                            [](QPushButton *button) { return button->isEnabled(); }));

        // Started another way, the run keeps its settings: what the field lets go of as it is
        // disabled is not taken.
        QFile::remove(tools.filePath(u"pid"_s));
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, u"4"_s);
        w.model.startTranscoding();
        QTRY_VERIFY(QFile::exists(tools.filePath(u"pid"_s)));
        QCOMPARE(w.model.selectedBitrate(), 3.0);
        QCOMPARE(field->text(), u"3"_s);

        bool leftOpen = false;
        QString asked;
        w.window.setConfirmer([&](QWidget *parent, const QString &question) {
            asked = question;
            QMessageBox box(QMessageBox::Question, QString(), question,
                            QMessageBox::Yes | QMessageBox::No, parent);
            // While it is asked, ffmpeg dies: the file fails and the run ends.
            QTimer::singleShot(0, &box, [&] {
                ::kill(contents(tools.filePath(u"pid"_s)).trimmed().toInt(), SIGKILL);
            });
            // Only so that the suite cannot hang on it.
            QTimer::singleShot(60000, &box, [&] {
                leftOpen = true;
                box.reject();
            });
            return box.exec() == QMessageBox::Yes;
        });
        QTest::keyClick(&w.window, Qt::Key_Escape);
        QCOMPARE(asked, u"确定停止转码吗？"_s);
        QVERIFY(!leftOpen);
        QVERIFY(!w.model.isTranscoding());
        QCOMPARE(w.model.queue().job(0).status, JobRecord::Status::Failed);
    }

    // A list taken back with every file converted has nothing to start.
    void startOnlyWhatIsLeft()
    {
        const QString a = copyTo(clip(Clip::Plain), m_dir.filePath(u"left/a.mp4"_s));
        Window w;
        w.model.restoreQueue({SavedFile{a, JobRecord::Status::Done, a, 1, {}}});
        QTRY_VERIFY_WITH_TIMEOUT(!w.model.isTakingIn() && w.model.videoFiles().size() == 1, 30000);
        QVERIFY(!w.child<QPushButton>(u"startButton"_s)->isEnabled());
        w.window.openPaths({copyTo(a, m_dir.filePath(u"left/b.mp4"_s))});
        QTRY_VERIFY_WITH_TIMEOUT(w.child<QPushButton>(u"startButton"_s)->isEnabled(), 30000);
    }

    // Files listed after a run, or while it goes on, are what the next start converts; what
    // the completion panel sums up follows the list.
    void filesListedLaterAreConvertedNext()
    {
        QTemporaryDir tools;
        fakeFFmpeg(tools.path());
        writeFile(tools.filePath(u"result"_s), contents(clip(Clip::Plain)));
        const QString a = copyTo(clip(Clip::Plain), m_dir.filePath(u"later/a.mp4"_s));
        Window w(tools.path());
        w.model.setSelectedCodec(u"H.264 (软件编码)"_s);
        w.model.appendVideoFiles({probed(a)});
        auto *start = w.child<QPushButton>(u"startButton"_s);
        QTest::mouseClick(start, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(w.shows(u"completionPanel"_s), 60000);
        QVERIFY(!w.shows(u"startButton"_s));

        w.model.appendVideoFiles({probed(copyTo(a, m_dir.filePath(u"later/b.mp4"_s)))});
        QVERIFY(w.shows(u"startButton"_s) && start->isEnabled());
        QVERIFY(!w.shows(u"completionPanel"_s));
        QTest::keyClick(&w.window, Qt::Key_Return, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(w.shows(u"completionPanel"_s), 60000);
        QCOMPARE(w.text(u"summaryLine"_s), u"已转码 2 个，失败 0 个，跳过 0 个"_s);
        QCOMPARE(fakeCalls(tools.path()).filter(u"later/a.mp4"_s).size(), 1);

        // Listed while c is converted (and fails): offered once the run has ended.
        writeFile(tools.filePath(u"hang"_s), "");
        w.model.appendVideoFiles({probed(copyTo(a, m_dir.filePath(u"later/c.mp4"_s)))});
        QTest::mouseClick(start, Qt::LeftButton);
        QTRY_VERIFY(QFile::exists(tools.filePath(u"pid"_s)));
        w.model.appendVideoFiles({probed(copyTo(a, m_dir.filePath(u"later/d.mp4"_s)))});
        QFile::remove(tools.filePath(u"hang"_s));
        ::kill(contents(tools.filePath(u"pid"_s)).trimmed().toInt(), SIGKILL);
        QTRY_VERIFY_WITH_TIMEOUT(w.shows(u"completionPanel"_s), 60000);
        QCOMPARE(w.text(u"summaryLine"_s), u"已转码 2 个，失败 1 个，跳过 0 个"_s);
        QVERIFY(w.shows(u"startButton"_s) && start->isEnabled());
        QTest::keyClick(&w.window, Qt::Key_Return, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(w.text(u"summaryLine"_s), u"已转码 4 个，失败 0 个，跳过 0 个"_s,
                                  60000);
        QVERIFY(!w.shows(u"startButton"_s));

        // Taken off the list, a file is no longer counted.
        w.model.removeVideoFile(w.model.videoFiles().first().id);
        QCOMPARE(w.text(u"summaryLine"_s), u"已转码 3 个，失败 0 个，跳过 0 个"_s);
    }

    // The saved list stays until the user answers its offer: declined, it makes way for what
    // is listed now; unanswered when the window goes (closed, or killed), it is kept.
    void aSavedListStaysUntilAnswered_data()
    {
        QTest::addColumn<bool>("declined");
        QTest::newRow("declined") << true;
        QTest::newRow("unanswered") << false;
    }

    void aSavedListStaysUntilAnswered()
    {
        QFETCH(bool, declined);
        QTemporaryDir state;
        const QString path = state.filePath(u"Quillmere/queue.json"_s);
        const QList<SavedFile> saved{{u"/A/old.mp4"_s, JobRecord::Status::Waiting, {}, 0, {}}};
        writeFile(path, QueueMemory::encode(saved));
        Window w;
        {
            QueueMemory memory(w.model, path);
            w.model.appendVideoFiles({listedFile(u"a.mp4"_s)});
            w.window.offerRestore(memory);
            if (declined)
                QTest::mouseClick(w.child<QPushButton>(u"dismissRestoreButton"_s), Qt::LeftButton);
        } // what is unsaved is written as the memory goes, unless the offer stands
        const QList<SavedFile> shown{{u"/videos/a.mp4"_s, JobRecord::Status::Waiting, {}, 0, {}}};
        QCOMPARE(*QueueMemory(w.model, path).load(), declined ? shown : saved);
    }

    // After a restore, only the files taken back go on silently over what they left; a file
    // listed besides them is asked about as any other.
    void onlyRestoredFilesResumeSilently()
    {
        QTemporaryDir tools;
        fakeFFmpeg(tools.path());
        writeFile(tools.filePath(u"result"_s), contents(clip(Clip::Plain)));
        const QString folder = m_dir.filePath(u"resume"_s);
        const QString outputs = folder + u"/已转码_H.264 (软件编码)"_s;
        const QString a = copyTo(clip(Clip::Plain), folder + u"/a.mp4"_s);
        const QString c = copyTo(clip(Clip::Plain), folder + u"/c.mp4"_s);
        markAsResultOf(copyTo(clip(Clip::Plain), outputs + u"/a.mp4"_s), a); // after the last save
        copyTo(clip(Clip::Plain), outputs + u"/c.mp4"_s);                    // an earlier run's
        Window w(tools.path());
        w.model.setSelectedCodec(u"H.264 (软件编码)"_s);
        w.window.openPaths({c});
        QTRY_VERIFY_WITH_TIMEOUT(!w.model.isTakingIn() && w.model.videoFiles().size() == 1, 30000);
        w.model.restoreQueue({SavedFile{a, JobRecord::Status::Waiting, {}, 0, {}}});
        QTRY_VERIFY_WITH_TIMEOUT(!w.model.isTakingIn() && w.model.videoFiles().size() == 2, 30000);
        QTest::mouseClick(w.child<QPushButton>(u"startButton"_s), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(w.shows(u"completionPanel"_s), 60000);
        QCOMPARE(w.questions,
                 QStringList{u"输出文件夹中已有 1 个同名的转码结果（如“c.mp4”）。要怎样处理？"_s});
        QCOMPARE(filesBelow(outputs), (QStringList{u"a.mp4"_s, u"c (2).mp4"_s, u"c.mp4"_s}));
        // a's result is there and whole: a is done.
        QCOMPARE(w.model.queue().job(1).status, JobRecord::Status::Done);
        QCOMPARE(w.text(u"summaryLine"_s), u"已转码 2 个，失败 0 个，跳过 0 个"_s);
    }

    // At the smallest size with the log open the content scrolls up and down, and nothing is
    // cut at its side.
    void nothingIsCutAtTheSmallestSize()
    {
        Window w;
        w.model.appendVideoFiles({listedFile(u"a.mp4"_s), listedFile(u"b.mp4"_s)});
        w.window.resize(800, 600);
        QTest::mouseClick(w.child<QToolButton>(u"logToggle"_s), Qt::LeftButton);
        auto *scroller = w.child<QScrollArea>(u"contentScroller"_s);
        QTRY_VERIFY(scroller->verticalScrollBar()->isVisible());
        QWidget *viewport = scroller->viewport();
        QTRY_VERIFY(scroller->widget()->width() <= viewport->width());
        for (QPushButton *button :
             w.child<QWidget>(u"presetBar"_s)->findChildren<QPushButton *>()) {
            const QRect shown(button->mapTo(viewport, QPoint(0, 0)), button->size());
            QVERIFY2(shown.left() >= 0 && shown.right() < viewport->width(),
                     qPrintable(button->text()));
        }
    }

    // During a run the list keeps the file at work in sight, unless the user has scrolled it.
    void theListFollowsTheRun()
    {
        QTemporaryDir tools;
        fakeFFmpeg(tools.path());
        writeFile(tools.filePath(u"result"_s), contents(clip(Clip::Plain)));
        Window w(tools.path());
        w.window.resize(800, 600);
        w.model.setSelectedCodec(u"H.264 (软件编码)"_s);
        const auto list = [&](const QString &set) {
            QList<VideoFile> files;
            for (int i = 0; i < 8; ++i)
                files << probed(copyTo(clip(Clip::Plain),
                                       m_dir.filePath(u"follow/%1%2.mp4"_s.arg(set).arg(i))));
            w.model.appendVideoFiles(files);
        };
        list(u"a"_s);
        FileGridView &grid = w.window.findChild<FileListPanel *>()->grid();
        QScrollBar *scroll = grid.verticalScrollBar();
        QTRY_VERIFY(scroll->maximum() > 0);
        QTest::mouseClick(w.child<QPushButton>(u"startButton"_s), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(w.shows(u"completionPanel"_s), 60000);
        QVERIFY(grid.viewport()->rect().intersects(
            grid.visualRect(grid.model()->index(grid.model()->rowCount() - 1, 0))));

        // Scrolled back by the user while the first file converts, it stays where it was put.
        list(u"b"_s);
        writeFile(tools.filePath(u"hang"_s), "");
        QTest::mouseClick(w.child<QPushButton>(u"startButton"_s), Qt::LeftButton);
        QTRY_VERIFY(QFile::exists(tools.filePath(u"pid"_s)));
        scroll->triggerAction(QAbstractSlider::SliderToMinimum);
        QFile::remove(tools.filePath(u"hang"_s));
        ::kill(contents(tools.filePath(u"pid"_s)).trimmed().toInt(), SIGKILL);
        QTRY_VERIFY_WITH_TIMEOUT(w.shows(u"completionPanel"_s), 60000);
        QCOMPARE(scroll->value(), 0);
    }

    // The preset the settings match is marked, until one of them differs.
    void theActivePresetIsMarked()
    {
        Window w;
        const QList<QPushButton *> presets =
            w.child<QWidget>(u"presetBar"_s)->findChildren<QPushButton *>();
        const auto marked = [&] {
            QStringList names;
            for (QPushButton *button : presets) {
                if (button->property("active").toBool() && button->text().startsWith(u"✓ "_s))
                    names << button->text();
            }
            return names;
        };
        QCOMPARE(marked(), QStringList{u"✓ 常规H264"_s}); // what the settings start as
        QTest::mouseClick(presets.at(0), Qt::LeftButton);
        QCOMPARE(marked(), QStringList{u"✓ H264代理"_s});
        w.child<QComboBox>(u"frameRatePicker"_s)->setCurrentText(u"25"_s);
        QCOMPARE(marked(), QStringList());
        w.child<QComboBox>(u"frameRatePicker"_s)->setCurrentText(u"原始帧率"_s);
        QCOMPARE(marked(), QStringList{u"✓ H264代理"_s});
    }

    // HEVC with alpha, where this ffmpeg cannot make it, is marked before it is chosen.
    void whatThisFFmpegCannotDoIsMarked_data()
    {
        QTest::addColumn<bool>("hevcAlpha");
        QTest::newRow("Debian's ffmpeg") << false;
        QTest::newRow("an x265 with alpha") << true;
    }

    void whatThisFFmpegCannotDoIsMarked()
    {
        QFETCH(bool, hevcAlpha);
        QTemporaryDir tools;
        fakeFFmpeg(tools.path());
        if (hevcAlpha) {
            writeFile(tools.filePath(u"x265_help"_s),
                      "Supported pixel formats: yuv420p yuva420p\n");
            writeFile(tools.filePath(u"encoders_ok"_s), "libx265\n");
        }
        Window w(tools.path());
        QPushButton *preset = w.child<QWidget>(u"presetBar"_s)->findChildren<QPushButton *>().at(1);
        QCOMPARE(preset->text(), u"HEVC透明"_s);
        QVERIFY(preset->isEnabled()); // nothing known yet
        w.model.askEncoderSupport();
        QTRY_COMPARE(w.model.hevcAlphaAvailable(), std::optional(hevcAlpha));
        QCOMPARE(preset->isEnabled(), hevcAlpha);
        QCOMPARE(preset->toolTip().contains(u"ProRes 4444透明"_s), !hevcAlpha);

        w.model.setSelectedCodec(u"HEVC (软件编码)"_s);
        auto *alpha = w.child<QWidget>(u"alphaSwitch"_s);
        QCOMPARE(alpha->isEnabled(), hevcAlpha);
        QCOMPARE(alpha->toolTip().contains(u"ProRes 4444透明"_s), !hevcAlpha);
        // Turned on by other means, it says so and can be turned off.
        w.model.setEnableAlpha(true);
        QVERIFY(alpha->isEnabled());
        QCOMPARE(w.shows(u"unavailableNotice"_s), !hevcAlpha);
        w.model.setSelectedCodec(u"ProRes (软件编码)"_s);
        QVERIFY(!w.shows(u"unavailableNotice"_s));
    }

    void theNotificationSaysHowTheRunEnded_data()
    {
        QTest::addColumn<RunOutcome>("outcome");
        QTest::addColumn<int>("done");
        QTest::addColumn<int>("failed");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("body");
        const QString why = u"找不到 ffmpeg"_s;
        QTest::newRow("all converted") << RunOutcome::Completed << 3 << 0 << u"转码完成"_s
                                       << u"已转码 3 个，失败 0 个，跳过 1 个"_s;
        QTest::newRow("two failed") << RunOutcome::Completed << 1 << 2 << u"转码完成，2 个失败"_s
                                    << u"已转码 1 个，失败 2 个，跳过 1 个"_s;
        QTest::newRow("stopped") << RunOutcome::Cancelled << 1 << 0 << u"转码已取消"_s
                                 << u"已转码 1 个，失败 0 个，跳过 1 个"_s;
        QTest::newRow("refused") << RunOutcome::Failed << 0 << 0 << u"转码失败"_s << why;
    }

    void theNotificationSaysHowTheRunEnded()
    {
        QFETCH(RunOutcome, outcome);
        QFETCH(int, done);
        QFETCH(int, failed);
        JobQueue::Counts outcomes;
        outcomes.done = done;
        outcomes.failed = failed;
        outcomes.skipped = 1;
        QFETCH(QString, summary);
        QFETCH(QString, body);
        QCOMPARE(runNotification(outcome, outcomes, u"找不到 ffmpeg"_s),
                 (RunNotification{summary, body}));
    }

    void theWindowRemembersItsSettings()
    {
        QTemporaryDir config;
        const EnvironmentGuard home("XDG_CONFIG_HOME", config.path().toUtf8());
        {
            Window w;
            SettingsMemory memory(w.model, w.window);
            w.model.setSelectedCodec(u"ProRes (软件编码)"_s);
            w.model.setSelectedProResProfile(u"4444"_s);
            w.model.setEnableAlpha(true);
            w.model.setOverwriteOriginal(true); // a decision for each session
            w.window.resize(900, 700);
            memory.rememberWindow();
        }
        QSettings().setValue(u"settings/frameRate"_s, u"119.88"_s); // not one of the choices

        Window w;
        SettingsMemory memory(w.model, w.window);
        memory.restore();
        QCOMPARE(w.model.settings(),
                 (TranscodeSettings{u"ProRes (软件编码)"_s, u"mov"_s, u"4444"_s, OriginalResolution,
                                    OriginalFrameRate, 10.0, true, false}));
        QCOMPARE(w.window.size(), QSize(900, 700));
    }

    void intakeSaysWhatItCouldNotAdd()
    {
        const QString plain = clip(Clip::Plain);
        Window w;
        w.window.openPaths(
            {plain, plain, m_dir.filePath(u"nothing.mp4"_s), m_dir.filePath(u"notes.txt"_s)});
        QTRY_VERIFY_WITH_TIMEOUT(!w.model.isTakingIn(), 30000);
        QVERIFY(w.shows(u"intakeNotice"_s));
        QVERIFY2(w.text(u"intakeNotice"_s).startsWith(u"2 个文件无法添加，1 个文件已在列表中："_s),
                 qPrintable(w.text(u"intakeNotice"_s)));
        QCOMPARE(w.child<QLabel>(u"intakeNotice"_s)->toolTip().count(u'\n'), 2);
    }

    // A terminal without a display still gets the usage and the version; a file of such a
    // name comes after "--".
    void helpAndVersionNeedNoDisplay_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("start");
        QTest::newRow("--help") << u"--help"_s << u"Usage: quillmere [--] [PATH]...\n"_s;
        QTest::newRow("-h") << u"-h"_s << u"Usage: quillmere [--] [PATH]...\n"_s;
        QTest::newRow("--version") << u"--version"_s << u"quillmere "_s;
    }

    void helpAndVersionNeedNoDisplay()
    {
        QFETCH(QString, argument);
        QFETCH(QString, start);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        QProcess window;
        window.setProcessEnvironment(environment);
        window.start(QStringLiteral(QUILLMERE_WINDOW_PATH), {argument});
        QVERIFY(window.waitForFinished(10000));
        QCOMPARE(window.exitStatus(), QProcess::NormalExit);
        QCOMPARE(window.exitCode(), 0);
        QVERIFY(QString::fromUtf8(window.readAllStandardOutput()).startsWith(start));
        QCOMPARE(window.readAllStandardError(), QByteArray());
    }

    // The program ends on SIGTERM, SIGINT and SIGHUP as when the window is closed.
    void signalsEndTheProgram()
    {
        QTemporaryDir config;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_CONFIG_HOME"_s, config.path());
        for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
            QProcess window;
            window.setProcessEnvironment(environment);
            window.setProcessChannelMode(QProcess::ForwardedErrorChannel);

            window.start(QStringLiteral(QUILLMERE_WINDOW_PATH), {clip(Clip::Plain)});
            QVERIFY(window.waitForStarted());
            QTest::qWait(500);
            ::kill(static_cast<pid_t>(window.processId()), signal);
            QVERIFY(window.waitForFinished(10000));
            QCOMPARE(window.exitStatus(), QProcess::NormalExit);
            QCOMPARE(window.exitCode(), 130);
        }
    }

    void aRefusedRunSaysWhy()

    {
        Window w;
        w.model.setSelectedCodec(u"HEVC (软件编码)"_s);
        w.model.setEnableAlpha(true);
        w.model.appendVideoFiles(
            {probed(copyTo(clip(Clip::Plain), m_dir.filePath(u"refused/a.mp4"_s)))});
        QTest::mouseClick(w.child<QPushButton>(u"startButton"_s), Qt::LeftButton);
        QTRY_VERIFY(w.shows(u"errorLabel"_s));
        QVERIFY(w.text(u"errorLabel"_s).startsWith(u"转码失败: "_s));
        QVERIFY(w.text(u"errorLabel"_s).contains(u"ProRes 4444"_s));
        QVERIFY(w.child<QPushButton>(u"startButton"_s)->isEnabled());
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
