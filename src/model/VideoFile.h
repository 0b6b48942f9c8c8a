#pragma once

#include <QMetaType>
#include <QString>
#include <QUrl>
#include <QUuid>

// One listed input video. Only the probe creates it; its texts are display texts.
struct VideoFile
{
    QUuid id;
    QUrl url;
    QString name;
    QString resolution;
    QString frameRate;
    QString bitrate;
    QString codec;
    QString colorFormat;
    QString bitDepth;
    bool hasAlpha = false;
    double duration = 0;
    qint64 size = 0;

    friend bool operator==(const VideoFile &, const VideoFile &) = default;
};

Q_DECLARE_METATYPE(VideoFile)
