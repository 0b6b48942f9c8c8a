#pragma once

// What the intake benchmarks share: a folder of tiny clips, a model that traces nowhere, and
// one intake of a folder timed, with the longest the event loop waited meanwhile.
#include "StallMeter.h"
#include "intake/IntakeUrls.h"
#include "session/TranscodeViewModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

// A folder in `dir` of `count` copies of one tiny clip.
inline QString tinyClipFolder(const QTemporaryDir &dir, int count)
{
    const QString clip = dir.filePath(QStringLiteral("clip.mp4"));
    QProcess::execute(QStringLiteral("ffmpeg"),
                      {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
                       QStringLiteral("lavfi"), QStringLiteral("-i"),
                       QStringLiteral("testsrc2=size=64x48:rate=25"), QStringLiteral("-t"),
                       QStringLiteral("0.1"), clip});
    const QString folder = dir.filePath(QStringLiteral("clips"));
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i)
        QFile::copy(clip, QStringLiteral("%1/clip%2.mp4").arg(folder).arg(i));
    return folder;
}

inline RunContext quietContext()
{
    RunContext quiet;
    quiet.trace = [](const QString &) {};
    return quiet;
}

struct IntakeTiming
{
    double seconds = 0;
    double worstStallMilliseconds = 0;
};

// Takes `folder` in through `model`, as a selection would, and waits until it is done.
inline IntakeTiming timeIntake(TranscodeViewModel &model, const QString &folder)
{
    StallMeter stalls;
    QElapsedTimer clock;
    const QMetaObject::Connection done =
        QObject::connect(&model, &TranscodeViewModel::intakeFinished, QCoreApplication::instance(),
                         &QCoreApplication::quit);
    stalls.start();
    clock.start();
    model.processSelectedFiles({intakeUrlFromPath(folder)});
    QCoreApplication::exec();
    stalls.stop();
    QObject::disconnect(done);
    return {static_cast<double>(clock.nsecsElapsed()) / 1e9, stalls.worstMilliseconds()};
}
