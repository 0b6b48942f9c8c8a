#pragma once

#include <QStringView>

#include <optional>

#include "domain/ProgressFigures.h"

// Reads ffmpeg's "-progress" key=value lines and keeps the latest figures of the file being
// converted.
class ProgressParser
{
public:
    // Updates the figures from one line; returns the fraction of the file done, when known,
    // measured against `totalDuration` seconds.
    std::optional<double> parseProgressLine(QStringView line, double totalDuration);

    ProgressFigures figures() const { return {frame, fps, bitrate, speed, currentTime}; }

    double currentTime = 0; // seconds written so far
    qint64 frame = 0;
    double fps = 0;
    double bitrate = 0; // Mbit/s
    double speed = 0;   // times real time

private:
    std::optional<double> fractionDone(double totalDuration) const;
    void readOutTime(QStringView value);
};
