#pragma once

#include <QString>
#include <QStringList>

#include <optional>

#include "domain/Error.h"
#include "domain/TranscodeSettings.h"

// "0" to "5" for the six ProRes profiles, "2" for anything else.
QString proResProfileNumber(const QString &profile);

// Mbps as whole kbit/s with a "k", truncated toward zero; nothing for a bitrate the settings
// rules do not take (under 1 kbit/s, not finite, or beyond a signed 64-bit integer).
std::optional<QString> bitrateArgument(double mbps);

// The settings part of the command line, as the settings give it: encoder and its options,
// bitrate, scale and rate. Fails only when the codec needs a bitrate and the bitrate cannot be
// written. The run's plan adapts it to the machine and to each file.
Result<QStringList> buildFFmpegArguments(const TranscodeSettings &settings);
