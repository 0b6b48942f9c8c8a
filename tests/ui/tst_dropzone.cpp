#include "TestSupport.h"
#include "UiTestSupport.h"
#include "model/TranscodeViewModel.h"
#include "ui/DropZone.h"
#include "ui/MainWindow.h"
#include "ui/VideoFileDialog.h"

#include <QApplication>
#include <QListView>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using namespace TestSupport;
using namespace UiTestSupport;

namespace {

const QString DropLines[] = {u"🔍 [DEBUG] DropZoneView: onDrop 被触发"_s,
                             u"🔍 [DEBUG] DropZoneView: 提供者数量: "_s,
                             u"🔍 [DEBUG] DropZoneView: isDropTargeted: "_s};

QStringList sortedNames(const TranscodeViewModel &model)
{
    QStringList names = listedNames(model);
    names.sort();
    return names;
}

std::unique_ptr<QMimeData> urlData(const QList<QUrl> &urls)
{
    auto data = std::make_unique<QMimeData>();
    data->setUrls(urls);
    return data;
}

// What a file manager sends when something is dragged in, proposing a move; the action the
// zone settles on, or nothing when it refuses the drag.
std::optional<Qt::DropAction> dragInto(DropZone &zone, const QMimeData &data,
                                       Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction)
{
    QDragEnterEvent enter(zone.rect().center(), actions, &data, Qt::LeftButton, {});
    enter.setDropAction(Qt::MoveAction);
    QCoreApplication::sendEvent(&zone, &enter);
    if (!enter.isAccepted())
        return std::nullopt;
    return enter.dropAction();
}

void dropOnto(DropZone &zone, const QMimeData &data)
{
    QDropEvent drop(zone.rect().center(), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                    {});
    drop.setDropAction(Qt::MoveAction);
    QCoreApplication::sendEvent(&zone, &drop);
    QVERIFY(drop.isAccepted());
    QCOMPARE(drop.dropAction(), Qt::CopyAction);
}

} // namespace

class TestDropZone : public QObject
{
    Q_OBJECT

    QTemporaryDir m_media;
    QString m_clipA;
    QString m_clipB;
    QString m_folder;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_media.isValid());
        m_clipA = makeClip(m_media.filePath(u"a.mp4"_s));
        m_clipB = makeClip(m_media.filePath(u"b.mov"_s), {u"-c:v"_s, u"prores_ks"_s});
        m_folder = m_media.filePath(u"folder"_s);
        makeClip(m_folder + u"/c.mkv"_s);
        makeClip(m_folder + u"/inner/d.mp4"_s);
    }

    void fileDragHighlightsUntilItLeaves()
    {
        MainWindow window;
        DropZone &zone = window.dropZone();
        QVERIFY(!zone.isDropTargeted());
        QCOMPARE(dragInto(zone, *urlData({QUrl::fromLocalFile(m_clipA)})), Qt::CopyAction);
        QVERIFY(zone.isDropTargeted());
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(&zone, &leave);
        QVERIFY(!zone.isDropTargeted());
    }

    void dragsWithoutLocalFilesAreRefused_data()
    {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("copyAllowed");
        QTest::newRow("web link") << QList<QUrl>{QUrl(u"https://example.com/a.mp4"_s)} << QString()
                                  << true;
        QTest::newRow("plain text") << QList<QUrl>{} << u"a.mp4"_s << true;
        QTest::newRow("move only")
            << QList<QUrl>{QUrl::fromLocalFile(m_clipA)} << QString() << false;
    }

    void dragsWithoutLocalFilesAreRefused()
    {
        QFETCH(QList<QUrl>, urls);
        QFETCH(QString, text);
        QFETCH(bool, copyAllowed);
        MainWindow window;
        auto data = urlData(urls);
        if (!text.isEmpty())
            data->setText(text);
        QCOMPARE(dragInto(window.dropZone(), *data,
                          copyAllowed ? Qt::CopyAction | Qt::MoveAction : Qt::MoveAction),
                 std::nullopt);
        QVERIFY(!window.dropZone().isDropTargeted());
    }

    void dropPrintsItsLinesAndTakesTheFilesIn()
    {
        MainWindow window;
        TraceCapture trace(window.model());
        DropZone &zone = window.dropZone();
        const auto data = urlData({QUrl::fromLocalFile(m_clipA), QUrl::fromLocalFile(m_clipB)});
        QCOMPARE(dragInto(zone, *data), Qt::CopyAction);
        dropOnto(zone, *data);
        QCOMPARE(trace.lines().mid(0, 3),
                 (QStringList{DropLines[0], DropLines[1] + u"2"_s, DropLines[2] + u"true"_s}));
        QVERIFY(!zone.isDropTargeted());
        QTRY_COMPARE(window.model().videoFiles().size(), 2);
        waitForIntake(window.model());
        QCOMPARE(sortedNames(window.model()), (QStringList{u"a.mp4"_s, u"b.mov"_s}));
    }

    void droppedFolderIsSearched()
    {
        MainWindow window;
        TraceCapture trace(window.model());
        const auto data = urlData({QUrl::fromLocalFile(m_folder)});
        QCOMPARE(dragInto(window.dropZone(), *data), Qt::CopyAction);
        dropOnto(window.dropZone(), *data);
        QCOMPARE(trace.lines().mid(0, 3),
                 (QStringList{DropLines[0], DropLines[1] + u"1"_s, DropLines[2] + u"true"_s}));
        QTRY_COMPARE(window.model().videoFiles().size(), 2);
        waitForIntake(window.model());
        QCOMPARE(sortedNames(window.model()), (QStringList{u"c.mkv"_s, u"d.mp4"_s}));
    }

    void webLinkAmongFilesIsLeftToIntake()
    {
        MainWindow window;
        TraceCapture trace(window.model());
        const auto data =
            urlData({QUrl(u"https://example.com/x.mp4"_s), QUrl::fromLocalFile(m_clipA)});
        QCOMPARE(dragInto(window.dropZone(), *data), Qt::CopyAction);
        dropOnto(window.dropZone(), *data);
        QCOMPARE(trace.lines().at(1), DropLines[1] + u"2"_s);
        QTRY_COMPARE(window.model().videoFiles().size(), 1);
        QCOMPARE(trace.count(u"⚠️ [WARNING] 提供者不支持文件URL类型"_s), 1);
    }

    void clickAsksForFilesAndCancelChangesNothing()
    {
        MainWindow window;
        TraceCapture trace(window.model());
        int asked = 0;
        window.dropZone().setChooser([&asked](QWidget *, auto) { ++asked; });
        QTest::mouseClick(&window.dropZone(), Qt::LeftButton);
        QCOMPARE(asked, 1);
        settle();
        QVERIFY(trace.lines().isEmpty());
        QVERIFY(window.model().videoFiles().isEmpty());
        QVERIFY(!window.model().isTakingIn());
    }

    void controlOAsksForFilesToo()
    {
        MainWindow window;
        int asked = 0;
        window.dropZone().setChooser([&asked](QWidget *, auto) { ++asked; });
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(asked, 1);
    }

    void chosenFilesAndFoldersAreOneSelection()
    {
        MainWindow window;
        TraceCapture trace(window.model());
        const QList<QUrl> chosen{QUrl::fromLocalFile(m_clipB), QUrl::fromLocalFile(m_folder)};
        window.dropZone().setChooser([&chosen](QWidget *, auto done) { done(chosen); });
        QTest::mouseClick(&window.dropZone(), Qt::LeftButton);
        QTRY_COMPARE(window.model().videoFiles().size(), 3);
        waitForIntake(window.model());
        QCOMPARE(trace.count(u"开始处理选择的文件..."_s), 1);
        // In the order chosen: the file, then what the folder holds.
        QCOMPARE(window.model().videoFiles().first().name, u"b.mov"_s);
        QCOMPARE(sortedNames(window.model()), (QStringList{u"b.mov"_s, u"c.mkv"_s, u"d.mp4"_s}));
    }

    void commandLinePathsAreOneSelection()
    {
        MainWindow window;
        TraceCapture trace(window.model());
        window.openPaths({m_clipA, m_folder});
        QTRY_COMPARE(window.model().videoFiles().size(), 3);
        waitForIntake(window.model());
        QCOMPARE(trace.count(u"开始处理选择的文件..."_s), 1);
        QCOMPARE(window.model().videoFiles().first().name, u"a.mp4"_s);
    }

    void fileDialogOffersTheVideoTypes()
    {
        TranscodeViewModel model;
        const QString filter = VideoFileDialog::nameFilter(model.supportedVideoExtensions());
        QVERIFY(filter.startsWith(u"视频文件 (*.mp4 *.mov *.m4v "_s));
        QVERIFY(filter.endsWith(u" *.dat *.dvr-ms)"_s));
        QCOMPARE(filter.count(u"*."_s), 36);
    }

    void fileDialogTakesFilesAndFoldersTogether()
    {
        TranscodeViewModel model;
        VideoFileDialog dialog(model.supportedVideoExtensions());
        dialog.setDirectory(m_media.path());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto *list = dialog.findChild<QListView *>(u"listView"_s);
        QVERIFY(list);
        // The dialog reads the folder in the background.
        QTRY_COMPARE(list->model()->rowCount(list->rootIndex()), 3);
        QSignalSpy chosen(&dialog, &VideoFileDialog::videosChosen);
        QItemSelection selection;
        for (int row = 0; row < 3; ++row) {
            const QModelIndex index = list->model()->index(row, 0, list->rootIndex());
            if (index.data().toString() != u"a.mp4"_s)
                selection.select(index, index);
        }
        list->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect |
                                                      QItemSelectionModel::Rows);
        dialog.accept();
        QCOMPARE(chosen.size(), 1);
        auto urls = chosen.first().first().value<QList<QUrl>>();
        std::sort(urls.begin(), urls.end());
        QCOMPARE(urls, (QList<QUrl>{QUrl::fromLocalFile(m_clipB), QUrl::fromLocalFile(m_folder)}));
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void cancelledFileDialogChoosesNothing()
    {
        MainWindow window;
        TraceCapture trace(window.model());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.dropZone().chooseFiles();
        VideoFileDialog *dialog = nullptr;
        QTRY_VERIFY((dialog = window.findChild<VideoFileDialog *>()));
        QVERIFY(dialog->isVisible());
        QSignalSpy chosen(dialog, &VideoFileDialog::videosChosen);
        dialog->reject();
        QCOMPARE(chosen.size(), 0);
        settle();
        QVERIFY(trace.lines().isEmpty());
        QVERIFY(window.model().videoFiles().isEmpty());
    }
};

QTEST_MAIN(TestDropZone)
#include "tst_dropzone.moc"
