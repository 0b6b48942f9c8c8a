// Takes a folder of small clips in through the model, as a drop would, and prints how fast that
// went and the longest the event loop had to wait meanwhile.
#include "IntakeTiming.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? QByteArray(argv[1]).toInt() : 200;

    QTemporaryDir dir;
    const QString folder = tinyClipFolder(dir, files);
    TranscodeViewModel model(quietContext());
    const IntakeTiming timing = timeIntake(model, folder);

    std::printf("intake: %lld of %d files listed in %.2f s (%.1f files/s, %.1f ms per file)\n",
                static_cast<long long>(model.videoFiles().size()), files, timing.seconds,
                files / timing.seconds, 1000 * timing.seconds / files);
    std::printf("responsiveness: longest event-loop stall during intake %.2f ms\n",
                timing.worstStallMilliseconds);
    return model.videoFiles().size() == files ? 0 : 1;
}
