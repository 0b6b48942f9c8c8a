#pragma once

#include <QStringView>

#include <optional>

// Reads ffmpeg's "-progress" key=value lines and keeps the latest figures of the file being
// converted.
class ProgressParser
{
public:
    // Updates the figures from one line; returns the fraction of the file done, when known,
    // measured against `totalDuration` seconds.
    std::optional<double> parseProgressLine(QStringView line, double totalDuration);

    // A new file starts from nothing, so its first lines are not measured against the last one.
    void reset() { *this = ProgressParser(); }

    double totalDuration = 0;
    double currentTime = 0; // seconds written so far
    qint64 frame = 0;
    double fps = 0;
    double bitrate = 0; // Mbit/s
    double speed = 0;   // times real time

private:
    std::optional<double> fractionDone(double totalDuration) const;
    void readOutTime(QStringView value);
};
