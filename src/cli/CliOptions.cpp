#include "cli/CliOptions.h"

#include "domain/Choices.h"
#include "domain/SettingsRules.h"
#include "session/TranscodeViewModel.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <algorithm>

namespace {

Error usageError(const QString &message)
{
    return Error{QStringLiteral("Usage"), 2, message};
}

// A choice as a shell word a reader can copy: bare when plain ASCII, else in double quotes.
QString shownText(const QString &text)
{
    const bool plain = !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return (c.unicode() < 0x80 && c.isLetterOrNumber()) || c == u'.' || c == u'-';
    });
    return plain ? text : QLatin1Char('"') + text + QLatin1Char('"');
}

QStringList presetTexts()
{
    QStringList names;
    for (const TranscodePreset &preset : Choices::makePresets())
        names << preset.name;
    return names;
}

// The last value given for the option, by any of its spellings; it is kept as the text.
std::optional<Error> takeChoice(const QCommandLineParser &parser, const CliChoiceOption &choice,
                                CliOptions &options)
{
    if (!parser.isSet(choice.option))
        return std::nullopt;
    const QString value = parser.values(choice.option).constLast();
    std::optional<QString> text;
    if (choice.texts.contains(value))
        text = value;
    for (const ChoiceName &name : choice.names) {
        if (name.name == value)
            text = name.text;
    }
    if (!text) {
        return usageError(
            QStringLiteral("invalid value for --%1: \"%2\"\nvalid choices: %3")
                .arg(choice.option, value, choice.shownChoices().join(QStringLiteral(", "))));
    }
    options.*choice.target = *text;
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

QStringList CliChoiceOption::shownChoices() const
{
    QStringList shown;
    for (const QString &text : texts) {
        QStringList spellings;
        for (const ChoiceName &name : names) {
            if (name.text == text)
                spellings << name.name;
        }
        spellings << shownText(text);
        shown << spellings.join(QStringLiteral(" or "));
    }
    return shown;
}

const QList<CliChoiceOption> &cliChoiceOptions()
{
    static const QList<CliChoiceOption> options{
        {QStringLiteral("preset"), QStringLiteral("Presets"), presetTexts(), Choices::presetNames(),
         &CliOptions::preset},
        {QStringLiteral("codec"), QStringLiteral("Codecs"), Choices::codecs(),
         Choices::codecNames(), &CliOptions::codec},
        {QStringLiteral("container"),
         QStringLiteral("Containers"),
         Choices::containers(),
         {},
         &CliOptions::container},
        {QStringLiteral("prores-profile"), QStringLiteral("ProRes profiles"),
         Choices::proResProfiles(), Choices::proResProfileNames(), &CliOptions::proResProfile},
        {QStringLiteral("resolution"), QStringLiteral("Resolutions"), Choices::resolutions(),
         Choices::resolutionNames(), &CliOptions::resolution},
        {QStringLiteral("frame-rate"), QStringLiteral("Frame rates"), Choices::frameRates(),
         Choices::frameRateNames(), &CliOptions::frameRate},
    };
    return options;
}

QString cliVersion()
{
    return QStringLiteral("quillmere-cli " QUILLMERE_VERSION);
}

QString cliUsage()
{
    QString choices;
    for (const CliChoiceOption &option : cliChoiceOptions()) {
        choices += QStringLiteral("%1 (--%2):\n").arg(option.title, option.option);
        for (const QString &choice : option.shownChoices())
            choices += QStringLiteral("  ") + choice + QLatin1Char('\n');
    }
    return QStringLiteral(
               "Usage: quillmere-cli [OPTION]... [PATH]...\n"
               "Converts video files, or the videos found in folders, with ffmpeg.\n"
               "\n"
               "Settings, applied in this order whatever their order on the command line:\n"
               "  --preset NAME          apply one of the presets\n"
               "  --codec NAME           the video codec and its encoder\n"
               "  --container NAME       the file format of the results\n"
               "  --prores-profile NAME  the ProRes profile\n"
               "  --resolution NAME      the picture size, or the source's\n"
               "  --frame-rate NAME      the frame rate, or the source's\n"
               "  --bitrate MBPS         the video bitrate in Mbps, a decimal number with a point\n"
               "  --alpha, --no-alpha    keep an alpha channel where the codec allows it\n"
               "  --overwrite, --no-overwrite\n"
               "                         replace each source by its converted result\n"
               "\n"
               "Modes, at most one; without one the files are converted:\n"
               "  --print-arguments      print the settings part of the ffmpeg command line,\n"
               "                         one argument per line, and exit\n"
               "  --probe                take the PATHs in and list the videos found\n"
               "  --dry-run              print for each file the ffmpeg commands the run would\n"
               "                         execute, shell-quoted, without running or creating\n"
               "                         anything; exit 1 where the run would be refused\n"
               "\n"
               "Running:\n"
               "  --jobs N               convert up to N files at once (0: one per core)\n"
               "  --shard INDEX/COUNT    take only the files of shard INDEX of COUNT, each\n"
               "                         file's shard fixed by its path below the named folder;\n"
               "                         outputs are named over the whole listing, so COUNT\n"
               "                         shards make what one run would\n"
               "  --skip-existing        skip a file whose output is already there and whole;\n"
               "                         without it an output there is kept and the new one\n"
               "                         gets \" (2)\"\n"
               "  --json                 JSON Lines events on standard output\n"
               "  --verbose              also the diagnostic trace, on standard error\n"
               "  --quiet                only failures and the summary on standard error\n"
               "  --version              print the version and exit\n"
               "  --help                 show the options and every choice, and exit\n"
               "\n"
               "Each choice goes by an ASCII name or by the text the window shows:\n"
               "%1"
               "\n"
               "Standard output carries only data: the plan, the listing, the arguments or the\n"
               "JSON Lines. Progress, notices, failures and the summary go to standard error.\n"
               "Put \"--\" before PATHs that begin with a dash.\n"
               "\n"
               "Exit status: 0 every named PATH taken in and every file converted (or skipped);\n"
               "1 a file failed, a named PATH could not be taken in (missing, unreadable, not a\n"
               "video), the run was refused, or nothing could be listed; 2 usage error;\n"
               "130 interrupted (Ctrl-C, SIGTERM or SIGHUP: the run is cancelled cleanly).\n")
        .arg(choices);
}

Result<CliOptions> parseCliArguments(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const CliChoiceOption &choice : cliChoiceOptions())
        parser.addOption(QCommandLineOption(choice.option, QString(), QStringLiteral("value")));
    for (const char *name : {"bitrate", "jobs", "shard"})
        parser.addOption(
            QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
    for (const char *name :
         {"alpha", "no-alpha", "overwrite", "no-overwrite", "print-arguments", "probe", "dry-run",
          "skip-existing", "json", "verbose", "quiet", "version", "help"})
        parser.addOption(QCommandLineOption(QString::fromLatin1(name)));

    // QCommandLineParser wants the program name first.
    if (!parser.parse(QStringList{QStringLiteral("quillmere-cli")} + arguments))
        return usageError(parser.errorText());

    CliOptions options;
    if (parser.isSet(QStringLiteral("help"))) {
        options.mode = CliOptions::Mode::Help;
        return options;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        options.mode = CliOptions::Mode::Version;
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

    for (const CliChoiceOption &choice : cliChoiceOptions()) {
        if (const std::optional<Error> problem = takeChoice(parser, choice, options))
            return *problem;
    }
    std::optional<bool> verbose;
    const std::optional<Error> problems[] = {
        takeSwitch(parser, QStringLiteral("alpha"), QStringLiteral("no-alpha"),
                   options.enableAlpha),
        takeSwitch(parser, QStringLiteral("overwrite"), QStringLiteral("no-overwrite"),
                   options.overwriteOriginal),
        takeSwitch(parser, QStringLiteral("verbose"), QStringLiteral("quiet"), verbose),
    };
    for (const std::optional<Error> &problem : problems) {
        if (problem)
            return *problem;
    }
    if (verbose)
        options.verbosity =
            *verbose ? CliOptions::Verbosity::Verbose : CliOptions::Verbosity::Quiet;

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
        if (!SettingsRules::bitrateKbps(mbps))
            return usageError(QStringLiteral("--bitrate %1 cannot be passed to ffmpeg: it must "
                                             "be at least 0.001 (1 kbit/s) and not too large")
                                  .arg(text));
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
    const auto step = [](const auto &value, auto apply) {
        if (value)
            apply(*value);
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
