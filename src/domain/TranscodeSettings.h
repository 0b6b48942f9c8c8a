#pragma once

#include <QString>

#include "domain/Choices.h"

// The output settings of one run, taken once when it starts: a later change in the window
// does not reach a run under way.
struct TranscodeSettings
{
    QString codec = Codec::H264Hardware;
    QString container = QStringLiteral("mp4");
    QString proResProfile = QStringLiteral("422");
    QString resolution = OriginalResolution;
    QString frameRate = OriginalFrameRate;
    double bitrate = 10.0; // Mbps
    bool enableAlpha = false;
    bool overwriteOriginal = false;

    friend bool operator==(const TranscodeSettings &, const TranscodeSettings &) = default;
};
