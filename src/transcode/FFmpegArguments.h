#pragma once

#include <QString>
#include <QStringList>

#include <optional>

#include "model/Error.h"

// The settings that shape the encoder part of an ffmpeg command line.
struct EncodeSettings
{
    QString codec;
    double bitrate = 0; // Mbps
    QString proResProfile;
    bool enableAlpha = false;
    QString resolution;
    QString frameRate;
};

// "0" to "5" for the six ProRes profiles, "2" for anything else.
QString proResProfileNumber(const QString &profile);

// Mbps as whole kbit/s with a "k", truncated toward zero; nothing when the kbit/s value is not
// finite or does not fit a signed 64-bit integer.
std::optional<QString> bitrateArgument(double mbps);

// The settings part of the command line: encoder and its options, bitrate, scale and rate.
// Fails only when the codec needs a bitrate and the bitrate cannot be written.
Result<QStringList> buildFFmpegArguments(const EncodeSettings &settings);
