#pragma once

#include <QHash>
#include <QString>
#include <QUuid>

#include <optional>

// A named bundle of settings behind one preset button. Equal and hashed by id alone.
struct TranscodePreset
{
    QUuid id;
    QString name;
    QString codec;
    QString container;
    QString colorFormat;
    double bitrate = 0;
    QString resolution;
    QString frameRate;
    QString proResProfile;
    bool useHardwareAcceleration = false;
    bool enableAlpha = false;
    // What the preset does to 覆盖原文件, when it does anything.
    std::optional<bool> overwriteOriginal;

    friend bool operator==(const TranscodePreset &a, const TranscodePreset &b)
    {
        return a.id == b.id;
    }
    friend size_t qHash(const TranscodePreset &preset, size_t seed = 0) noexcept
    {
        return qHash(preset.id, seed);
    }
};

template <> struct std::hash<TranscodePreset>
{
    size_t operator()(const TranscodePreset &preset) const noexcept { return qHash(preset.id); }
};
