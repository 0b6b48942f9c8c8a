// The window with a long list: memory each 1,000 listed files add, the time a paint of the
// visible part of the file grid takes, the time the list takes to save, and a folder of as
// many tiny clips taken in through intake while the window shows them and keeps saving the
// list: the total time and the longest the event loop waited.
#include "IntakeTiming.h"
#include "session/QueueMemory.h"
#include "ui/FileListPanel.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

double residentMegabytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    statm.open(QIODevice::ReadOnly);
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return static_cast<double>(fields.value(1).toLongLong()) * ::sysconf(_SC_PAGESIZE) / 1e6;
}

VideoFile sampleFile(int n)
{
    VideoFile file;
    file.id = QUuid::createUuid();
    file.name = QStringLiteral("旅行记录_%1_final_cut.mp4").arg(n, 5, 10, QLatin1Char('0'));
    file.url = QUrl::fromLocalFile(QStringLiteral("/home/user/Videos/2026/") + file.name);
    file.resolution = QStringLiteral("1920x1080");
    file.frameRate = QStringLiteral("29.97");
    file.bitrate = QStringLiteral("12Mbps");
    file.codec = QStringLiteral("h264 (H.264 / AVC / MPEG-4 AVC / MPEG-4 part 10)");
    file.colorFormat = QStringLiteral("yuv420p");
    file.bitDepth = QStringLiteral("8bit");
    file.duration = 62.5;
    file.size = 123456789;
    return file;
}

// The window on a model of its own, shown at a size with a few rows of cards.
struct ShownWindow
{
    TranscodeViewModel model{quietContext()};
    MainWindow window{model};

    ShownWindow()
    {
        window.resize(1200, 900);
        window.show();
    }
};

// Takes `count` clips in through intake while a window shows them, and prints the figures.
bool listThroughIntake(int count)
{
    QTemporaryDir dir;
    const QString folder = tinyClipFolder(dir, count);
    ShownWindow shown;
    QueueMemory memory(shown.model, dir.filePath(QStringLiteral("state/queue.json")));
    QCoreApplication::processEvents();
    const IntakeTiming timing = timeIntake(shown.model, folder);
    const qsizetype listed = shown.model.videoFiles().size();
    std::printf("long list through intake: %lld of %d files listed in %.2f s, longest "
                "event-loop stall %.2f ms\n",
                static_cast<long long>(listed), count, timing.seconds,
                timing.worstStallMilliseconds);
    return listed == count;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int files = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;

    ShownWindow shown;
    TranscodeViewModel &model = shown.model;
    // One file first, so that what the first row brings (fonts, the grid) is not counted.
    model.appendVideoFiles({sampleFile(0)});
    app.processEvents();
    const double before = residentMegabytes();
    for (int n = 1; n < files; ++n)
        model.appendVideoFiles({sampleFile(n)});
    // Let the window lay itself out for the longer list.
    for (int i = 0; i < 5; ++i)
        app.processEvents();
    const double after = residentMegabytes();

    FileGridView *grid = shown.window.findChild<FileGridView *>();
    QList<double> paints;
    for (int i = 0; i < 50; ++i) {
        QElapsedTimer clock;
        clock.start();
        const QPixmap picture = grid->viewport()->grab();
        paints << static_cast<double>(clock.nsecsElapsed()) / 1e6;
    }
    std::sort(paints.begin(), paints.end());
    std::printf("long list: %d files, %.2f MB resident per 1,000 files\n", files,
                (after - before) * 1000.0 / (files - 1));
    std::printf("long list: painting the visible grid takes %.2f ms (median of 50, %dx%d)\n",
                paints.at(paints.size() / 2), grid->viewport()->width(),
                grid->viewport()->height());
    QTemporaryDir state;
    QueueMemory memory(model, state.filePath(QStringLiteral("queue.json")));
    QElapsedTimer saving;
    saving.start();
    memory.saveNow();
    std::printf(
        "long list: saving it whole takes %.2f ms (%lld bytes), off the event loop\n",
        static_cast<double>(saving.nsecsElapsed()) / 1e6,
        static_cast<long long>(QFileInfo(state.filePath(QStringLiteral("queue.json"))).size()));
    return listThroughIntake(files) ? 0 : 1;
}
