#pragma once

#include <QString>
#include <QStringList>

#include <optional>

#include "domain/Choices.h"
#include "domain/Error.h"
#include "transcode/RunPlan.h"

class TranscodeViewModel;

// What the command line asks for, checked against the option tables.
struct CliOptions
{
    enum class Mode { Convert, PrintArguments, Probe, DryRun, Help, Version };
    // What goes to standard error besides failures and the summary.
    enum class Verbosity { Quiet, Normal, Verbose };

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
    Verbosity verbosity = Verbosity::Normal;
    QStringList paths;
};

// An option that takes one of a fixed set of choices, with every spelling it accepts: the
// ASCII names and the texts.
struct CliChoiceOption
{
    QString option; // without the dashes
    QString title;
    QStringList texts;
    QList<ChoiceName> names;
    std::optional<QString> CliOptions::*target;

    // Each text with its other names, "h264-hw or "H.264 (硬件加速)"", as --help shows them.
    QStringList shownChoices() const;
};
const QList<CliChoiceOption> &cliChoiceOptions();

// `arguments` without the program name. A usage error carries the message to print.
Result<CliOptions> parseCliArguments(const QStringList &arguments);

QString cliUsage();
// "quillmere-cli 0.1.0"
QString cliVersion();

// Applies the settings in a fixed order, each with the rules that follow from it, as the
// window applies them, so the window and the CLI reach the same settings from the same choices.
void applyCliSettings(TranscodeViewModel &model, const CliOptions &options);
