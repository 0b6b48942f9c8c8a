#include "TestSupport.h"
#include "session/TranscodeViewModel.h"
#include "ui/CardText.h"
#include "ui/DropZone.h"
#include "ui/FileCardDelegate.h"
#include "ui/FileListPanel.h"
#include "ui/MainWindow.h"
#include "ui/RunFigures.h"
#include "ui/SettingsMemory.h"
#include "ui/SettingsPanel.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

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

    void cardsShowTheFileAndRemoveIt()
    {
        VideoFile file = listedFile(u"a.mov"_s, true);
        file.codec = u"prores (ProRes)"_s;
        file.bitDepth = u"10bit"_s;
        file.colorFormat = u"yuva444p10le"_s;
        file.bitsPerSecond = 700000;
        file.duration = 75;
        file.size = 12345678;
        QStringList texts;
        for (const CardItem &item : cardItems(file))
            texts << item.text;
        QCOMPARE(texts.join(u' '),
                 u"1920x1080 • 29.97 fps • prores • 0.7Mbps • 10bityuva444p10le • Alpha"_s);
        QCOMPARE(cardFooter(file), u"1:15 • 12.3 MB"_s);
        QCOMPARE(cardItems(file).last().tone, CardItem::Tone::Blue);
        // A little too narrow: only the pixel format gives way.
        const QFontMetrics metrics(QApplication::font());
        int full = 0;
        for (const QString &text : std::as_const(texts))
            full += metrics.horizontalAdvance(text);
        const QStringList narrow = fitCardItems(cardItems(file), metrics, full - 30, 0);
        QCOMPARE(narrow.mid(0, 8) << narrow.last(), texts.mid(0, 8) << texts.last());
        QVERIFY(narrow.at(8).endsWith(u"…"_s));

        QCOMPARE(shortCodecName(u"未知 (未知)"_s), u"未知"_s);
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

        Window w;
        const VideoFile twin = listedFile(u"b.mp4"_s);
        w.model.appendVideoFiles(
            {file, twin, twin, listedFile(u"c.mp4"_s), listedFile(u"d.mp4"_s)});
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
        QVERIFY(w.child<QWidget>(u"fileList"_s)->height() <= FileListPanel::MaximumHeight);
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
        QTRY_VERIFY(w->text(u"timeLine"_s).startsWith(u"已用 0:0"_s) &&
                    w->text(u"timeLine"_s).contains(u"剩余约"_s));
        QTRY_VERIFY(w->shows(u"completionPanel"_s));
        QVERIFY(!w->shows(u"progressPanel"_s) && w->shows(u"newRunButton"_s));
        QCOMPARE(w->text(u"summaryLine"_s), u"已转码 1 个，失败 1 个，跳过 0 个"_s);
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
        QTest::mouseClick(w->child<QPushButton>(u"newRunButton"_s), Qt::LeftButton);
        QVERIFY(!w->shows(u"fileList"_s) && !w->shows(u"completionPanel"_s));

        // Stopped with Esc, after a question: nothing left, the sources whole.
        writeFile(tools.filePath(u"hang"_s), "");
        w->model.appendVideoFiles({probed(source)});
        QTest::mouseClick(w->child<QPushButton>(u"startButton"_s), Qt::LeftButton);
        QTRY_VERIFY(QFile::exists(tools.filePath(u"pid"_s)));
        QTest::keyClick(&w->window, Qt::Key_Escape);
        QCOMPARE(w->questions.last(), u"确定停止转码吗？"_s);
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
