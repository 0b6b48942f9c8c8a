#pragma once

#include <QString>
#include <QStringList>

#include <optional>

#include "domain/Error.h"
#include "transcode/RunPlan.h"

class TranscodeViewModel;

// What the command line asks for, checked against the option tables.
struct CliOptions
{
    enum class Mode { Convert, PrintArguments, Probe, DryRun, Help };

    Mode mode = Mode::Convert;
    std::optional<QString> preset;
    std::optional<QString> codec;
    std::optional<QString> container;
    std::optional<QString> proResProfile;
    std::optional<QString> resolution;
    std::optional<QString> frameRate;
    std::optional<double> bitrate;
    std::optional<bool> enableAlpha;
    std::optional<bool> overwriteOriginal;
    int jobs = 1; // 0: one per core
    std::optional<Shard> shard;
    bool skipExisting = false;
    bool json = false;
    QStringList paths;
};

// `arguments` without the program name. A usage error carries the message to print.
Result<CliOptions> parseCliArguments(const QStringList &arguments);

QString cliUsage();

// Applies the settings in a fixed order, each with the rules that follow from it, as the
// window applies them, so the window and the CLI reach the same settings from the same choices.
void applyCliSettings(TranscodeViewModel &model, const CliOptions &options);
