#include "UiTestSupport.h"
#include "model/TranscodeViewModel.h"
#include "ui/CardText.h"
#include "ui/FileCardDelegate.h"
#include "ui/FileListPanel.h"
#include "ui/MainWindow.h"

#include <QLabel>
#include <QScrollBar>
#include <QSignalSpy>

using namespace Qt::StringLiterals;
using namespace UiTestSupport;

namespace {

void clickRemoveButton(FileGridView &grid, int row)
{
    const QRect cell = grid.visualRect(grid.model()->index(row, 0));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {},
                      FileCardDelegate::removeButtonRect(cell).center());
}

} // namespace

class TestFileList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cardShowsTheProbedProperties()
    {
        VideoFile file = listedFile(u"a.mov"_s, true);
        file.resolution = u"3840x2160"_s;
        file.frameRate = u"59.94"_s;
        file.codec = u"prores (ProRes)"_s;
        file.bitrate = u"未知"_s;
        file.bitDepth = u"10bit"_s;
        file.colorFormat = u"yuva444p10le"_s;
        const CardItem dot{u"•"_s};
        const QList<CardItem> expected{{u"3840x2160"_s},
                                       dot,
                                       {u"59.94 fps"_s},
                                       dot,
                                       {u"prores"_s},
                                       dot,
                                       {u"未知"_s},
                                       dot,
                                       {u"10bityuva444p10le"_s},
                                       dot,
                                       {u"Alpha"_s, CardItem::Tone::Blue}};
        QCOMPARE(cardItems(file), expected);
        file.hasAlpha = false;
        QCOMPARE(cardItems(file).last(), CardItem{u"无Alpha"_s});
    }

    void codecIsShownUpToTheParenthesis_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("shown");
        QTest::newRow("long name") << u"h264 (H.264 / AVC)"_s << u"h264"_s;
        QTest::newRow("unknown") << u"未知 (未知)"_s << u"未知"_s;
        QTest::newRow("no parenthesis") << u"vp9"_s << u"vp9"_s;
        QTest::newRow("parenthesis without space") << u"a(b) (c)"_s << u"a(b)"_s;
    }

    void codecIsShownUpToTheParenthesis()
    {
        QFETCH(QString, codec);
        QFETCH(QString, shown);
        VideoFile file = listedFile(u"a.mp4"_s);
        file.codec = codec;
        QCOMPARE(cardItems(file).at(4).text, shown);
    }

    void narrowCardCutsThePixelFormatFirst()
    {
        VideoFile file = listedFile(u"a.mov"_s, true);
        file.colorFormat = u"yuva444p12le"_s;
        const QList<CardItem> items = cardItems(file);
        const QFontMetrics metrics(QFont{});
        constexpr int spacing = 8;
        const QStringList whole = fitCardItems(items, metrics, 5000, spacing);
        QCOMPARE(whole.last(), u"Alpha"_s);
        QCOMPARE(whole.at(8), u"8bityuva444p12le"_s);
        int wholeWidth = spacing * 10;
        for (const QString &text : whole)
            wholeWidth += metrics.horizontalAdvance(text);

        const int narrow = wholeWidth - metrics.horizontalAdvance(u"yuva444p12le"_s);
        const QStringList cut = fitCardItems(items, metrics, narrow, spacing);
        QVERIFY(cut.at(8).endsWith(u"…"_s));
        QCOMPARE(cut.mid(0, 8), whole.mid(0, 8));
        QCOMPARE(cut.mid(9), whole.mid(9));
        int cutWidth = spacing * 10;
        for (const QString &text : cut)
            cutWidth += metrics.horizontalAdvance(text);
        QVERIFY(cutWidth <= narrow);
    }

    void regionFollowsTheList()
    {
        MainWindow window;
        QVERIFY(!shows(window, u"fileList"_s));
        const VideoFile first = listedFile(u"a.mp4"_s);
        window.model().appendVideoFile(first);
        QVERIFY(shows(window, u"fileList"_s));
        QCOMPARE(child<QLabel>(window, u"fileListHeader"_s)->text(), u"已选择 1 个视频"_s);
        window.model().appendVideoFile(listedFile(u"b.mp4"_s));
        window.model().appendVideoFile(listedFile(u"c.mp4"_s));
        QCOMPARE(child<QLabel>(window, u"fileListHeader"_s)->text(), u"已选择 3 个视频"_s);
        window.model().clearAll();
        QVERIFY(!shows(window, u"fileList"_s));
    }

    void removeButtonRemovesEveryEntryWithItsId()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        TranscodeViewModel &model = window.model();
        const VideoFile twin = listedFile(u"a.mp4"_s);
        VideoFile sameId = listedFile(u"a-copy.mp4"_s);
        sameId.id = twin.id;
        model.appendVideoFile(listedFile(u"first.mp4"_s));
        model.appendVideoFile(twin);
        model.appendVideoFile(sameId);
        model.appendVideoFile(listedFile(u"last.mp4"_s));
        auto *grid = child<FileGridView>(window, u"fileGrid"_s);
        QSignalSpy removed(grid->model(), &QAbstractItemModel::rowsRemoved);
        QSignalSpy reset(grid->model(), &QAbstractItemModel::modelReset);

        clickRemoveButton(*grid, 1);
        QTRY_COMPARE(listedNames(model), (QStringList{u"first.mp4"_s, u"last.mp4"_s}));
        QCOMPARE(grid->model()->rowCount(), 2);
        QCOMPARE(removed.size(), 1);
        QCOMPARE(reset.size(), 0);
    }

    void pressElsewhereOnTheCardRemovesNothing()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.model().appendVideoFile(listedFile(u"a.mp4"_s));
        auto *grid = child<FileGridView>(window, u"fileGrid"_s);
        const QRect cell = grid->visualRect(grid->model()->index(0, 0));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.topLeft() + QPoint(30, 30));
        // Pressed on the button but let go off it, as when changing one's mind.
        const QPoint button = FileCardDelegate::removeButtonRect(cell).center();
        QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, button);
        QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, cell.topLeft() + QPoint(30, 30));
        settle();
        QCOMPARE(window.model().videoFiles().size(), 1);
    }

    void deleteKeyRemovesTheCardInFocus()
    {
        MainWindow window;
        window.model().appendVideoFile(listedFile(u"a.mp4"_s));
        window.model().appendVideoFile(listedFile(u"b.mp4"_s));
        auto *grid = child<FileGridView>(window, u"fileGrid"_s);
        grid->setCurrentIndex(grid->model()->index(1, 0));
        QTest::keyClick(grid, Qt::Key_Delete);
        QTRY_COMPARE(listedNames(window.model()), QStringList{u"a.mp4"_s});
    }

    void columnsAdaptToTheWidth_data()
    {
        QTest::addColumn<int>("windowWidth");
        QTest::addColumn<int>("columns");
        QTest::newRow("smallest window") << 800 << 1;
        QTest::newRow("two fit") << 900 << 2;
        QTest::newRow("wide") << 1400 << 3;
    }

    void columnsAdaptToTheWidth()
    {
        QFETCH(int, windowWidth);
        QFETCH(int, columns);
        MainWindow window;
        for (const QString &name : {u"a.mp4"_s, u"b.mp4"_s, u"c.mp4"_s, u"d.mp4"_s})
            window.model().appendVideoFile(listedFile(name));
        window.resize(windowWidth, 900);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *grid = child<FileGridView>(window, u"fileGrid"_s);
        QTRY_COMPARE(grid->columnCount(), columns);
        QAbstractItemModel *rows = grid->model();
        QTRY_COMPARE(grid->visualRect(rows->index(columns - 1, 0)).y(),
                     grid->visualRect(rows->index(0, 0)).y());
        QVERIFY(grid->visualRect(rows->index(columns, 0)).y() >
                grid->visualRect(rows->index(0, 0)).y());
        QVERIFY(grid->visualRect(rows->index(0, 0)).width() >=
                FileCardDelegate::MinimumColumnWidth);
    }

    void regionStopsAt400AndScrolls()
    {
        MainWindow window;
        for (int i = 0; i < 30; ++i)
            window.model().appendVideoFile(listedFile(u"clip%1.mp4"_s.arg(i)));
        window.resize(900, 1400);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *region = child<QWidget>(window, u"fileList"_s);
        auto *grid = child<FileGridView>(window, u"fileGrid"_s);
        QTRY_VERIFY(grid->verticalScrollBar()->maximum() > 0);
        QVERIFY(region->height() <= FileListPanel::MaximumHeight);
    }

    void tenThousandFilesAreRowsNotWidgets()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *grid = child<FileGridView>(window, u"fileGrid"_s);
        QSignalSpy inserted(grid->model(), &QAbstractItemModel::rowsInserted);
        QSignalSpy reset(grid->model(), &QAbstractItemModel::modelReset);
        window.model().appendVideoFile(listedFile(u"first.mp4"_s));
        settle();
        const auto widgetsBefore = window.findChildren<QWidget *>().size();

        for (int i = 1; i < 10000; ++i)
            window.model().appendVideoFile(listedFile(u"clip%1.mp4"_s.arg(i)));
        settle();
        QCOMPARE(grid->model()->rowCount(), 10000);
        QCOMPARE(inserted.size(), 10000);
        QCOMPARE(reset.size(), 0);
        QCOMPARE(window.findChildren<QWidget *>().size(), widgetsBefore);
        grid->scrollToBottom();
        const QModelIndex last = grid->model()->index(9999, 0);
        QTRY_VERIFY(grid->viewport()->rect().intersects(grid->visualRect(last)));
        QCOMPARE(last.data().toString(), u"clip9999.mp4"_s);
    }
};

QTEST_MAIN(TestFileList)
#include "tst_filelist.moc"
