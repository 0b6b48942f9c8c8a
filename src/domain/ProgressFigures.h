#pragma once

#include <QtGlobal>

// ffmpeg's latest figures for a file being converted.
struct ProgressFigures
{
    qint64 frame = 0;
    double fps = 0;
    double bitrate = 0;     // Mbit/s
    double speed = 0;       // times real time
    double currentTime = 0; // seconds written so far

    friend bool operator==(const ProgressFigures &, const ProgressFigures &) = default;
};
