// Takes a folder of small clips in through the model, as a drop would, and prints how fast that
// went and the longest the event loop had to wait meanwhile.
#include "StallMeter.h"
#include "intake/IntakeUrls.h"
#include "session/TranscodeViewModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? QByteArray(argv[1]).toInt() : 200;

    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("clip.mp4"));
    QProcess::execute(QStringLiteral("ffmpeg"),
                      {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
                       QStringLiteral("lavfi"), QStringLiteral("-i"),
                       QStringLiteral("testsrc2=size=64x48:rate=25"), QStringLiteral("-t"),
                       QStringLiteral("0.1"), clip});
    const QString folder = dir.filePath(QStringLiteral("clips"));
    QDir().mkpath(folder);
    for (int i = 0; i < files; ++i)
        QFile::copy(clip, QStringLiteral("%1/clip%2.mp4").arg(folder).arg(i));

    RunContext quiet;
    quiet.trace = [](const QString &) {};
    TranscodeViewModel model(quiet);
    StallMeter stalls;
    QElapsedTimer clock;
    QObject::connect(&model, &TranscodeViewModel::intakeFinished, &app, &QCoreApplication::quit);
    stalls.start();
    clock.start();
    model.processSelectedFiles({intakeUrlFromPath(folder)});
    app.exec();
    stalls.stop();

    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    std::printf("intake: %lld of %d files listed in %.2f s (%.1f files/s, %.1f ms per file)\n",
                static_cast<long long>(model.videoFiles().size()), files, seconds, files / seconds,
                1000 * seconds / files);
    std::printf("responsiveness: longest event-loop stall during intake %.2f ms\n",
                stalls.worstMilliseconds());
    return model.videoFiles().size() == files ? 0 : 1;
}
