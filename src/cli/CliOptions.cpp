#include "cli/CliOptions.h"

#include "domain/Choices.h"
#include "session/TranscodeViewModel.h"
#include "transcode/FFmpegArguments.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace {

Error usageError(const QString &message)
{
    return Error{QStringLiteral("Usage"), 2, message};
}

QString quotedList(const QStringList &choices)
{
    QStringList quoted;
    for (const QString &choice : choices)
        quoted << QLatin1Char('"') + choice + QLatin1Char('"');
    return quoted.join(QStringLiteral(", "));
}

QStringList presetNames()
{
    QStringList names;
    for (const TranscodePreset &preset : Choices::makePresets())
        names << preset.name;
    return names;
}

// The last value given for `option`, which must be one of `choices`.
std::optional<Error> takeChoice(const QCommandLineParser &parser, const QString &option,
                                const QStringList &choices, std::optional<QString> &target)
{
    if (!parser.isSet(option))
        return std::nullopt;
    const QString value = parser.values(option).constLast();
    if (!choices.contains(value)) {
        return usageError(QStringLiteral("invalid value for --%1: \"%2\"\nvalid choices: %3")
                              .arg(option, value, quotedList(choices)));
    }
    target = value;
    return std::nullopt;
}

std::optional<Error> takeSwitch(const QCommandLineParser &parser, const QString &on,
                                const QString &off, std::optional<bool> &target)
{
    const bool isOn = parser.isSet(on);
    const bool isOff = parser.isSet(off);
    if (isOn && isOff)
        return usageError(QStringLiteral("--%1 and --%2 contradict each other").arg(on, off));
    if (isOn || isOff)
        target = isOn;
    return std::nullopt;
}

} // namespace

QString cliUsage()
{
    return QStringLiteral(
               "Usage: quillmere-cli [OPTION]... [PATH]...\n"
               "Converts video files, or the videos found in folders, with ffmpeg.\n"
               "\n"
               "  --preset NAME          apply the preset with exactly this name\n"
               "  --codec TEXT           one of the codec choices, exact text\n"
               "  --container TEXT       one of the container choices\n"
               "  --prores-profile TEXT  one of the ProRes profiles\n"
               "  --resolution TEXT      one of the resolution choices\n"
               "  --frame-rate TEXT      one of the frame-rate choices\n"
               "  --bitrate MBPS         a decimal number with a point\n"
               "  --alpha | --no-alpha   keep an alpha channel where the codec allows it\n"
               "  --overwrite | --no-overwrite\n"
               "                         replace each source by its converted result\n"
               "  --print-arguments      print the settings part of the ffmpeg command line,\n"
               "                         one argument per line, and exit\n"
               "  --probe                take the PATHs through file intake only, then exit\n"
               "  --dry-run              print for each file the ffmpeg command the run would\n"
               "                         execute, shell-quoted, without running or creating\n"
               "                         anything; exit 1 where the run would be refused\n"
               "  --jobs N               convert up to N files at once (0: one per core)\n"
               "  --shard INDEX/COUNT    take only the files of shard INDEX of COUNT, each\n"
               "                         file's shard fixed by its path below the named folder;\n"
               "                         outputs are named over the whole listing, so COUNT\n"
               "                         shards make what one run would\n"
               "  --skip-existing        skip a file whose output is already there and whole;\n"
               "                         without it an output there is kept and the new one\n"
               "                         gets \" (2)\"\n"
               "  --json                 JSON Lines events on standard output; human text and\n"
               "                         the trace on standard error\n"
               "  --help                 show this text\n"
               "\n"
               "Settings are applied in the order above, whatever their order on the command\n"
               "line. Put \"--\" before PATHs that begin with a dash.\n"
               "\n"
               "Presets: %1\n"
               "Codecs: %2\n"
               "Containers: %3\n"
               "ProRes profiles: %4\n"
               "Resolutions: %5\n"
               "Frame rates: %6\n"
               "\n"
               "Exit status: 0 every file converted (or skipped); 1 a file failed, the run was\n"
               "refused, or nothing could be listed; 2 usage error; 130 interrupted (Ctrl-C,\n"
               "SIGTERM or SIGHUP: the run is cancelled cleanly).\n")
        .arg(quotedList(presetNames()), quotedList(Choices::codecs()),
             quotedList(Choices::containers()), quotedList(Choices::proResProfiles()),
             quotedList(Choices::resolutions()), quotedList(Choices::frameRates()));
}

Result<CliOptions> parseCliArguments(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const char *name : {"preset", "codec", "container", "prores-profile", "resolution",
                             "frame-rate", "bitrate", "jobs", "shard"})
        parser.addOption(
            QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
    for (const char *name : {"alpha", "no-alpha", "overwrite", "no-overwrite", "print-arguments",
                             "probe", "dry-run", "skip-existing", "json", "help"})
        parser.addOption(QCommandLineOption(QString::fromLatin1(name)));

    // QCommandLineParser wants the program name first.
    if (!parser.parse(QStringList{QStringLiteral("quillmere-cli")} + arguments))
        return usageError(parser.errorText());

    CliOptions options;
    if (parser.isSet(QStringLiteral("help"))) {
        options.mode = CliOptions::Mode::Help;
        return options;
    }

    int modes = 0;
    for (const auto &[name, mode] : {std::pair{"print-arguments", CliOptions::Mode::PrintArguments},
                                     std::pair{"probe", CliOptions::Mode::Probe},
                                     std::pair{"dry-run", CliOptions::Mode::DryRun}}) {
        if (parser.isSet(QString::fromLatin1(name))) {
            options.mode = mode;
            ++modes;
        }
    }
    if (modes > 1)
        return usageError(
            QStringLiteral("choose at most one of --print-arguments, --probe and --dry-run"));

    const std::optional<Error> problems[] = {
        takeChoice(parser, QStringLiteral("preset"), presetNames(), options.preset),
        takeChoice(parser, QStringLiteral("codec"), Choices::codecs(), options.codec),
        takeChoice(parser, QStringLiteral("container"), Choices::containers(), options.container),
        takeChoice(parser, QStringLiteral("prores-profile"), Choices::proResProfiles(),
                   options.proResProfile),
        takeChoice(parser, QStringLiteral("resolution"), Choices::resolutions(),
                   options.resolution),
        takeChoice(parser, QStringLiteral("frame-rate"), Choices::frameRates(), options.frameRate),
        takeSwitch(parser, QStringLiteral("alpha"), QStringLiteral("no-alpha"),
                   options.enableAlpha),
        takeSwitch(parser, QStringLiteral("overwrite"), QStringLiteral("no-overwrite"),
                   options.overwriteOriginal),
    };
    for (const std::optional<Error> &problem : problems) {
        if (problem)
            return *problem;
    }

    if (parser.isSet(QStringLiteral("bitrate"))) {
        const QString text = parser.values(QStringLiteral("bitrate")).constLast();
        static const QRegularExpression decimal(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)$"));
        if (!decimal.match(text).hasMatch())
            return usageError(
                QStringLiteral("invalid value for --bitrate: \"%1\"\n"
                               "give the bitrate in Mbps as a decimal number with a point, "
                               "e.g. 2.5")
                    .arg(text));
        const double mbps = text.toDouble();
        if (!(mbps > 0))
            return usageError(
                QStringLiteral("--bitrate %1: the bitrate must be greater than zero").arg(text));
        if (!bitrateArgument(mbps))
            return usageError(
                QStringLiteral("--bitrate %1 is too large to pass to ffmpeg").arg(text));
        options.bitrate = mbps;
    }

    if (parser.isSet(QStringLiteral("jobs"))) {
        const QString text = parser.values(QStringLiteral("jobs")).constLast();
        static const QRegularExpression count(QStringLiteral("^\\d{1,4}$"));
        if (!count.match(text).hasMatch())
            return usageError(
                QStringLiteral("invalid value for --jobs: \"%1\"\ngive a whole number of files, "
                               "0 for one per core")
                    .arg(text));
        options.jobs = text.toInt();
    }
    if (parser.isSet(QStringLiteral("shard"))) {
        const QString text = parser.values(QStringLiteral("shard")).constLast();
        static const QRegularExpression shard(QStringLiteral("^(\\d{1,9})/(\\d{1,9})$"));
        const QRegularExpressionMatch match = shard.match(text);
        const int index = match.captured(1).toInt();
        const int count = match.captured(2).toInt();
        if (!match.hasMatch() || count < 1 || index >= count)
            return usageError(QStringLiteral("invalid value for --shard: \"%1\"\ngive INDEX/COUNT "
                                             "with 0 <= INDEX < COUNT, e.g. 0/4")
                                  .arg(text));
        options.shard = Shard{index, count};
    }
    options.skipExisting = parser.isSet(QStringLiteral("skip-existing"));
    options.json = parser.isSet(QStringLiteral("json"));

    options.paths = parser.positionalArguments();
    if (options.paths.contains(QString()))
        return usageError(QStringLiteral("an empty PATH was given (an unset variable?); "
                                         "nothing was done"));
    if (options.mode == CliOptions::Mode::PrintArguments && !options.paths.isEmpty())
        return usageError(QStringLiteral("--print-arguments takes no PATH"));
    if (options.mode != CliOptions::Mode::PrintArguments && options.paths.isEmpty())
        return usageError(QStringLiteral("no PATH given; see --help"));
    return options;
}

void applyCliSettings(TranscodeViewModel &model, const CliOptions &options)
{
    const auto step = [&model](const auto &value, auto apply) {
        if (!value)
            return;
        apply(*value);
        model.settleCodecRules();
    };
    step(options.preset, [&](const QString &name) {
        for (const TranscodePreset &preset : model.presets()) {
            if (preset.name == name)
                model.applyPreset(preset);
        }
    });
    step(options.codec, [&](const QString &v) { model.setSelectedCodec(v); });
    step(options.container, [&](const QString &v) { model.setSelectedContainer(v); });
    step(options.proResProfile, [&](const QString &v) { model.setSelectedProResProfile(v); });
    step(options.resolution, [&](const QString &v) { model.setSelectedResolution(v); });
    step(options.frameRate, [&](const QString &v) { model.setSelectedFrameRate(v); });
    step(options.bitrate, [&](double v) { model.setSelectedBitrate(v); });
    step(options.enableAlpha, [&](bool v) { model.setEnableAlpha(v); });
    step(options.overwriteOriginal, [&](bool v) { model.setOverwriteOriginal(v); });
}
