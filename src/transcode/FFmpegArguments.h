#pragma once

#include <QList>
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

// One conversion as named fields: what the settings give, adapted by the run's plan to the
// machine and to each file, and written out as arguments once.
struct EncodeCommand
{
    enum class Family { None, H264, Hevc, ProRes, Av1 };

    Family family = Family::None;
    QStringList deviceOptions;  // before the input: the device a hardware encoder needs
    QString encoder;            // "-c:v"; empty for a codec outside the choices
    QStringList formOptions;    // right after the encoder: its hardware form's own
    bool allowSoftware = false; // "-allow_sw 1"
    QString pixelFormat;        // "-pix_fmt"
    QString alphaQuality;       // "-alpha_quality"
    QString bitrate;            // "-b:v", as "5000k"
    QString proResProfile;      // "-profile:v"
    QStringList codecOptions;   // the family's fixed options after the bitrate
    QStringList movFlags;       // "-movflags", joined into one value
    bool strictExperimental = false;
    QString audioCodec;        // "-c:a"
    QStringList filters;       // "-vf", joined with ","
    QString frameRate;         // "-r"
    QString frameTiming;       // "-fps_mode"
    qint64 frameLimit = -1;    // "-frames:v"
    QString colorRange;        // "-color_range"
    QStringList maps;          // "-map" each
    bool keepMetadata = false; // "-map_metadata 0": global tags, creation date included
    QStringList clearedTags;   // "-metadata KEY=" each: source tags that would misdescribe it
    // "-ch_layout:a:N": the layout an audio track is written with, where the encoder's own
    // choice would not keep it.
    QList<std::pair<int, QString>> audioLayouts;
    // "-b:a:N": an audio track's bitrate, where the encoder's own would be more than allowed.
    QList<std::pair<int, QString>> audioBitrates;

    // The settings part of the command line exactly as the settings give it; the H.264 family
    // names its audio codec among its video options there.
    QStringList settingsArguments() const;
    // The whole command for one file: each option once, the audio codec after the format.
    QStringList conversionArguments(const QString &input, const QString &format,
                                    const QString &output) const;

    friend bool operator==(const EncodeCommand &, const EncodeCommand &) = default;

private:
    QStringList videoArguments(bool audioAmongVideo) const;
};

// The command as the settings give it: encoder and its options, bitrate, scale and rate. Fails
// only when the codec needs a bitrate and the bitrate cannot be written.
Result<EncodeCommand> encodeCommandFor(const TranscodeSettings &settings);

// The settings part of the command line, as the settings give it. The run's plan adapts the
// command behind it to the machine and to each file.
Result<QStringList> buildFFmpegArguments(const TranscodeSettings &settings);
