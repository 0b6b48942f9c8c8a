#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "domain/TranscodePreset.h"

// The settings are held as their display texts; these are the texts the rules and the
// argument builder compare against.
namespace Codec {
inline const QString H264Hardware = QStringLiteral("H.264 (硬件加速)");
inline const QString HevcHardware = QStringLiteral("HEVC (硬件加速)");
inline const QString ProResHardware = QStringLiteral("ProRes (硬件加速)");
inline const QString H264Software = QStringLiteral("H.264 (软件编码)");
inline const QString HevcSoftware = QStringLiteral("HEVC (软件编码)");
inline const QString ProResSoftware = QStringLiteral("ProRes (软件编码)");
inline const QString Av1Software = QStringLiteral("AV1 (软件编码)");
} // namespace Codec

inline const QString OriginalResolution = QStringLiteral("原始分辨率");
inline const QString OriginalFrameRate = QStringLiteral("原始帧率");
// A run's results go into a folder named this and the codec, beside the first file.
inline const QString OutputFolderPrefix = QStringLiteral("已转码_");

// Another name a choice goes by on the command line: plain ASCII, easy to type in a shell or a
// scheduler's job file. The text stays what the settings hold and what the window stores.
struct ChoiceName
{
    QString name;
    QString text;
};

// The fixed option tables, in the order the settings panel lists them.
namespace Choices {
const QStringList &codecs();
const QStringList &resolutions();
const QStringList &frameRates();
const QStringList &proResProfiles();
const QStringList &containers();
const QStringList &videoExtensions();
// The six presets, each with a fresh random id.
QList<TranscodePreset> makePresets();

// The ASCII names, in the order of the tables. Texts that are plain ASCII already need none; a
// frame rate may also be spelt to three places.
const QList<ChoiceName> &presetNames();
const QList<ChoiceName> &codecNames();
const QList<ChoiceName> &proResProfileNames();
const QList<ChoiceName> &resolutionNames();
const QList<ChoiceName> &frameRateNames();
} // namespace Choices
