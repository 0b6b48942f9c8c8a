// Converts one clip through the model and prints the longest the event loop went without
// running meanwhile.
#include "StallMeter.h"
#include "session/TranscodeViewModel.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: conversion_benchmark CLIP\n");
        return 2;
    }
    RunContext quiet;
    quiet.trace = [](const QString &) {};
    TranscodeViewModel model(quiet);
    model.setSelectedCodec(QStringLiteral("H.264 (软件编码)"));
    VideoFile file;
    file.id = QUuid::createUuid();
    file.url = QUrl::fromLocalFile(QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath());
    file.name = file.url.fileName();
    file.duration = argc > 2 ? QByteArray(argv[2]).toDouble() : 0;
    model.appendVideoFiles({file});

    StallMeter stalls;
    QObject::connect(&model, &TranscodeViewModel::runFinished, &app, &QCoreApplication::quit);
    stalls.start();
    model.startTranscoding();
    app.exec();
    stalls.stop();
    std::printf("responsiveness: longest event-loop stall during a conversion %.2f ms (%s)\n",
                stalls.worstMilliseconds(), model.transcodeCompleted() ? "completed" : "failed");
    return model.transcodeCompleted() ? 0 : 1;
}
