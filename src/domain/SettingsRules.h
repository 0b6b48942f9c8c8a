#pragma once

#include <QString>

#include <optional>

#include "domain/TranscodePreset.h"
#include "domain/TranscodeSettings.h"

// How the settings change: each function takes the settings, makes one change and applies at
// once every rule that follows from it, so the settings are never seen half way. The window,
// the command line and a restored session all change the settings through these.
namespace SettingsRules {

// A ProRes codec chooses the QuickTime container; then the codec rules.
TranscodeSettings withCodec(TranscodeSettings settings, const QString &codec);
// No rule undoes a container chosen by hand until the codec changes again.
TranscodeSettings withContainer(TranscodeSettings settings, const QString &container);
TranscodeSettings withProResProfile(TranscodeSettings settings, const QString &profile);
TranscodeSettings withResolution(TranscodeSettings settings, const QString &resolution);
TranscodeSettings withFrameRate(TranscodeSettings settings, const QString &frameRate);
// A bitrate that cannot be given to ffmpeg leaves the last valid one.
TranscodeSettings withBitrate(TranscodeSettings settings, double mbps);
TranscodeSettings withAlpha(TranscodeSettings settings, bool enableAlpha);
TranscodeSettings withOverwrite(TranscodeSettings settings, bool overwriteOriginal);
// Every field the preset holds; a preset without a bitrate (ProRes) keeps the one there is.
TranscodeSettings withPreset(TranscodeSettings settings, const TranscodePreset &preset);

// The codec rules alone: the profile falls back to "422" outside ProRes, and hardware ProRes
// keeps alpha only with a 4444 profile.
TranscodeSettings applyCodecRules(TranscodeSettings settings);

// The one bitrate rule: a bitrate is valid when it is a whole number of kbit/s of at least 1
// that fits a signed 64-bit integer. Gives that number, truncated toward zero.
std::optional<qint64> bitrateKbps(double mbps);

bool supportsBitrate(const QString &codec);
bool supportsAlpha(const QString &codec, const QString &proResProfile);

} // namespace SettingsRules
