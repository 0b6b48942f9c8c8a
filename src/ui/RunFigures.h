#pragma once

#include <QString>

// The figures of a run as the progress panel writes them: C-style, with a point as the
// decimal separator whatever the locale.
namespace RunFigures {

// Whole percent, cut toward zero and kept within 0 to 100.
int percent(double progress);
QString percentText(double progress);
QString counter(int index, int total);
QString frames(qint64 frame);
QString fps(double fps);
QString bitrate(double mbps);
QString speed(double factor);

} // namespace RunFigures
