#include "TestSupport.h"
#include "cli/CliOptions.h"
#include "cli/TerminalLine.h"
#include "process/CommandText.h"
#include "session/TranscodeViewModel.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {

struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

CliRun runCli(const QStringList &arguments,
              const QString &program = QStringLiteral(QUILLMERE_CLI_PATH),
              const QString &workingDirectory = QString())
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        qFatal("quillmere-cli did not finish");
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// A copy of the CLI in `dir`, so that tools in "resources" beside it are the ones it uses.
QString installCopy(const QTemporaryDir &dir)
{
    const QString cli = dir.filePath(u"quillmere-cli"_s);
    QFile::copy(QStringLiteral(QUILLMERE_CLI_PATH), cli);
    QFile::setPermissions(cli, QFile::permissions(cli) | QFileDevice::ExeOwner);
    return cli;
}

QList<QJsonObject> jsonLines(const QString &out)
{
    QList<QJsonObject> events;
    for (const QString &line : out.split(u'\n', Qt::SkipEmptyParts)) {
        const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8());
        if (!document.isObject())
            qFatal("not a JSON object: %s", qPrintable(line));
        events << document.object();
    }
    return events;
}

// What bash completion offers for the words after "quillmere-cli", the last being the one
// under the cursor.
QStringList completions(const QStringList &words)
{
    QString script =
        u"source "_s +
        shellQuoted(QStringLiteral(QUILLMERE_SOURCE_DIR "/data/completion/quillmere-cli")) +
        u"\nCOMP_WORDS=(quillmere-cli"_s;
    for (const QString &word : words)
        script += u' ' + shellQuoted(word);
    script += u")\nCOMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n_quillmere_cli\n"
              "printf '%s\\n' \"${COMPREPLY[@]}\"\n"_s;
    QProcess bash;
    bash.start(u"bash"_s, {u"--norc"_s, u"--noprofile"_s, u"-c"_s, script});
    if (!bash.waitForFinished(10000) || bash.exitCode() != 0)
        qFatal("bash: %s", bash.readAllStandardError().constData());
    QStringList offered =
        QString::fromUtf8(bash.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    offered.sort();
    return offered;
}

QSet<QString> optionsIn(const QString &text)
{
    static const QRegularExpression option(u"--[a-z][a-z-]*"_s);
    QSet<QString> found;
    for (const QRegularExpressionMatch &match : option.globalMatch(text))
        found << match.captured();
    return found;
}

// One line of a manual page as it reads: the words of a font macro, escapes undone.
QString manualLine(const QString &line)
{
    QString text = line;
    static const QRegularExpression fontMacro(u"^\\.(BI|BR|IB|IR|RB|RI|B|I)\\s+(.*)$"_s);
    if (const QRegularExpressionMatch macro = fontMacro.match(line); macro.hasMatch()) {
        // Words in quotes or not; the alternating macros set them side by side.
        static const QRegularExpression word(u"\"([^\"]*)\"|(\\S+)"_s);
        QStringList words;
        for (const QRegularExpressionMatch &found : word.globalMatch(macro.captured(2)))
            words << (found.hasCaptured(1) ? found.captured(1) : found.captured(2));
        text = words.join(macro.captured(1).size() == 1 ? u" "_s : QString());
    } else if (line.startsWith(u'.')) {
        return {};
    }
    static const QRegularExpression font(u"\\\\f[BIRP]|\\\\&"_s);
    return text.remove(font).replace(u"\\-"_s, u"-"_s).replace(u"\\ "_s, u" "_s);
}

// Lower case, one space between words: how a text is compared across line breaks.
QString plain(const QString &text)
{
    return text.simplified().toLower();
}

// Each option's description in --help, by the line that names it ("--jobs N").
QMap<QString, QString> helpEntries(const QString &help)
{
    static const QRegularExpression entry(u"^  (--\\S.*?)(?:  +(\\S.*))?$"_s);
    static const QRegularExpression more(u"^ {25}(\\S.*)$"_s);
    QMap<QString, QString> entries;
    QString current;
    for (const QString &line : help.split(u'\n')) {
        if (const QRegularExpressionMatch found = entry.match(line); found.hasMatch()) {
            current = found.captured(1);
            entries[current] = found.captured(2);
        } else if (const QRegularExpressionMatch next = more.match(line);
                   next.hasMatch() && !current.isEmpty()) {
            entries[current] += u' ' + next.captured(1);
        } else {
            current.clear();
        }
    }
    return entries;
}

// Each option's entry in the manual page, by its tag, as a reader sees it.
QMap<QString, QString> manualEntries(const QString &page)
{
    QMap<QString, QString> entries;
    const QStringList lines = page.split(u'\n');
    for (int at = 0; at + 1 < lines.size(); ++at) {
        if (lines.at(at) != u".TP"_s)
            continue;
        const QString tag = manualLine(lines.at(++at));
        if (!tag.startsWith(u"--"_s))
            continue;
        QString body;
        static const QRegularExpression end(u"^\\.(TP|SS|SH|PP)\\b"_s);
        while (at + 1 < lines.size() && !end.match(lines.at(at + 1)).hasMatch())
            body += u' ' + manualLine(lines.at(++at));
        entries.insert(tag, body);
    }
    return entries;
}

QStringList settingsAfter(const QStringList &options)
{
    const Result<CliOptions> parsed =
        parseCliArguments(QStringList{u"--print-arguments"_s} + options);
    if (!parsed)
        return {parsed.error().description()};
    TranscodeViewModel model;
    applyCliSettings(model, *parsed);
    return *model.buildFFmpegArguments();
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    // Settings apply in a fixed order whatever the order given, each followed by its rules.
    void optionsApplyInAFixedOrder_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("arguments");
        QTest::newRow("codec after preset")
            << QStringList{u"--codec"_s, u"HEVC (软件编码)"_s, u"--preset"_s, u"ProRes代理"_s}
            << u"-c:v libx265 -b:v 10000k -tag:v hvc1 -vf scale=1280x720"_s;
        QTest::newRow("profile after codec") << QStringList{u"--prores-profile"_s, u"4444 XQ"_s,
                                                            u"--codec"_s, u"ProRes (软件编码)"_s}
                                             << u"-c:v prores_ks -profile:v 5"_s;
        QTest::newRow("leaving prores keeps alpha")
            << QStringList{u"--preset"_s, u"ProRes 4444透明"_s, u"--prores-profile"_s,
                           u"422 HQ"_s,   u"--codec"_s,         u"HEVC (硬件加速)"_s}
            << u"-c:v hevc_videotoolbox -allow_sw 1 -pix_fmt bgra -alpha_quality 0.9 -b:v 10000k "
               "-tag:v hvc1"_s;
        QTest::newRow("last value wins, equals form")
            << QStringList{u"--frame-rate"_s, u"24"_s, u"--frame-rate=23.98"_s,
                           u"--codec=AV1 (软件编码)"_s, u"--bitrate=2.5"_s}
            << u"-c:v libsvtav1 -b:v 2500k -preset 8 -svtav1-params tune=0:fast-decode=1 -pix_fmt "
               "yuv420p -strict experimental -r 23.98"_s;
    }

    void optionsApplyInAFixedOrder()
    {
        QFETCH(QStringList, options);
        QTEST(settingsAfter(options).join(u' '), "arguments");
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown codec")
            << QStringList{u"--codec"_s, u"H.264"_s, u"a"_s}
            << u"h264-hw or \"H.264 (硬件加速)\", hevc-hw or \"HEVC (硬件加速)\""_s;
        QTest::newRow("unknown preset") << QStringList{u"--preset"_s, u"h264代理"_s, u"a"_s}
                                        << u"h264-proxy or \"H264代理\", hevc-alpha"_s;
        QTest::newRow("names are exact")
            << QStringList{u"--resolution"_s, u"1080P"_s, u"a"_s} << u"1080p or 1920x1080"_s;
        QTest::newRow("frame rate 119.9")
            << QStringList{u"--frame-rate"_s, u"119.9"_s, u"a"_s} << u"119.88 or 119.98"_s;
        QTest::newRow("verbose and quiet")
            << QStringList{u"--verbose"_s, u"--quiet"_s, u"a"_s} << u"contradict"_s;
        QTest::newRow("decimal comma")
            << QStringList{u"--bitrate"_s, u"2,5"_s, u"a"_s} << u"--bitrate"_s;
        QTest::newRow("zero bitrate")
            << QStringList{u"--bitrate"_s, u"0"_s, u"a"_s} << u"greater than zero"_s;
        QTest::newRow("negative bitrate")
            << QStringList{u"--bitrate"_s, u"-2.5"_s, u"a"_s} << u"greater than zero"_s;
        QTest::newRow("too large")
            << QStringList{u"--bitrate"_s, u"99999999999999999999.0"_s, u"a"_s} << u"too large"_s;
        QTest::newRow("empty path") << QStringList{u"--overwrite"_s, u""_s} << u"empty PATH"_s;
        QTest::newRow("no path") << QStringList{u"--probe"_s} << u"no PATH"_s;
        QTest::newRow("two modes")
            << QStringList{u"--probe"_s, u"--dry-run"_s, u"a"_s} << u"at most one"_s;
        QTest::newRow("both ways")
            << QStringList{u"--alpha"_s, u"--no-alpha"_s, u"a"_s} << u"--alpha and --no-alpha"_s;
        QTest::newRow("shard beyond count")
            << QStringList{u"--shard"_s, u"2/2"_s, u"a"_s} << u"--shard"_s;
        QTest::newRow("jobs not a number")
            << QStringList{u"--jobs"_s, u"two"_s, u"a"_s} << u"--jobs"_s;
        QTest::newRow("unknown option") << QStringList{u"--fast"_s, u"a"_s} << u"fast"_s;
    }

    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const Result<CliOptions> parsed = parseCliArguments(arguments);
        QVERIFY(!parsed);
        QVERIFY2(parsed.error().description().contains(message),
                 qPrintable(parsed.error().description()));
    }

    void pathsAfterDoubleDashAreNotOptions()
    {
        const Result<CliOptions> parsed = parseCliArguments(
            {u"--jobs"_s, u"0"_s, u"--shard"_s, u"1/3"_s, u"--"_s, u"--codec"_s, u"-x.mp4"_s});
        QCOMPARE(parsed->paths, (QStringList{u"--codec"_s, u"-x.mp4"_s}));
        QCOMPARE((QList<int>{parsed->jobs, parsed->shard->index, parsed->shard->count}),
                 (QList<int>{0, 1, 3}));
    }

    // The same choices made in the window, with the event loop running between them.
    void windowAndCliAgree()
    {
        const QStringList options{u"--preset"_s,          u"H264代理"_s,         u"--codec"_s,
                                  u"ProRes (硬件加速)"_s, u"--prores-profile"_s, u"4444"_s,
                                  u"--alpha"_s,           u"--bitrate"_s,        u"7.25"_s};
        const Result<CliOptions> parsed =
            parseCliArguments(QStringList{u"--print-arguments"_s} + options);
        TranscodeViewModel viaCli, viaWindow;
        applyCliSettings(viaCli, *parsed);
        for (const TranscodePreset &preset : viaWindow.presets()) {
            if (preset.name == u"H264代理")
                viaWindow.applyPreset(preset);
        }
        const std::function<void()> clicks[] = {
            [&] { viaWindow.setSelectedCodec(u"ProRes (硬件加速)"_s); },
            [&] { viaWindow.setSelectedProResProfile(u"4444"_s); },
            [&] { viaWindow.setSelectedBitrate(7.25); }, [&] { viaWindow.setEnableAlpha(true); }};
        for (const auto &click : clicks) {
            QTest::qWait(5);
            click();
        }
        QTest::qWait(5);
        QCOMPARE(viaCli.settings(), viaWindow.settings());
    }

    // Every ASCII name stands for one choice of its option, and every text a shell would need
    // quoted has a name.
    void everyChoiceHasAnAsciiName()
    {
        const QRegularExpression name(u"^[a-z0-9][a-z0-9.-]*$"_s);
        const QRegularExpression plain(u"^[A-Za-z0-9.-]+$"_s);
        for (const CliChoiceOption &option : cliChoiceOptions()) {
            QStringList spellings = option.texts;
            for (const ChoiceName &alias : option.names) {
                QVERIFY2(name.match(alias.name).hasMatch(), qPrintable(alias.name));
                QVERIFY2(option.texts.contains(alias.text), qPrintable(alias.text));
                QVERIFY2(!spellings.contains(alias.name), qPrintable(alias.name));
                spellings << alias.name;
            }
            for (const QString &text : option.texts) {
                const bool named = std::any_of(option.names.begin(), option.names.end(),
                                               [&](const ChoiceName &n) { return n.text == text; });
                QVERIFY2(named || plain.match(text).hasMatch(), qPrintable(text));
            }
        }
    }

    // The two spellings make the same plan, end to end.
    void asciiNamesGiveTheSamePlan_data()
    {
        QTest::addColumn<QStringList>("ascii");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("planned");
        QTest::newRow("prores") << QStringList{u"prores-proxy"_s, u"prores-sw"_s, u"hq"_s,
                                               u"1080p"_s, u"23.976"_s}
                                << QStringList{u"ProRes代理"_s, u"ProRes (软件编码)"_s, u"422 HQ"_s,
                                               u"1920x1080"_s, u"23.98"_s}
                                << u"-profile:v 3"_s;
        QTest::newRow("av1") << QStringList{u"av1-small"_s, u"av1-sw"_s, u"4444xq"_s, u"source"_s,
                                            u"119.88"_s}
                             << QStringList{u"AV1极致压缩"_s, u"AV1 (软件编码)"_s, u"4444 XQ"_s,
                                            u"原始分辨率"_s, u"119.98"_s}
                             << u"-r 120000/1001"_s;
        QTest::newRow("hardware") << QStringList{u"h264-proxy"_s, u"hevc-hw"_s, u"standard"_s,
                                                 u"720p"_s, u"source"_s}
                                  << QStringList{u"H264代理"_s, u"HEVC (硬件加速)"_s, u"422"_s,
                                                 u"1280x720"_s, u"原始帧率"_s}
                                  << u"-c:v libx265 "_s;
    }

    void asciiNamesGiveTheSamePlan()
    {
        QFETCH(QStringList, ascii);
        QFETCH(QStringList, texts);
        QFETCH(QString, planned);
        const QString video = copyTo(clip(Clip::Plain), m_dir.filePath(u"spelt/a.mp4"_s));
        const QStringList options{u"--preset"_s, u"--codec"_s, u"--prores-profile"_s,
                                  u"--resolution"_s, u"--frame-rate"_s};
        QStringList byName{u"--dry-run"_s}, byText{u"--dry-run"_s};
        for (int i = 0; i < options.size(); ++i) {
            byName << options[i] + u'=' + ascii[i];
            byText << options[i] << texts[i];
        }
        const CliRun named = runCli(byName << video);
        QCOMPARE(named.exitCode, 0);
        QVERIFY2(named.out.contains(planned), qPrintable(named.out));
        QCOMPARE(named.out, runCli(byText << video).out);
    }

    // The manual and the completion know every option --help shows, and every choice in both
    // spellings.
    void manualAndCompletionKeepUpWithHelp()
    {
        const QString help = runCli({u"--help"_s}).out;
        const QString page = QString::fromUtf8(
            contents(QStringLiteral(QUILLMERE_SOURCE_DIR "/docs/quillmere-cli.1")));
        QStringList read;
        for (const QString &line : page.split(u'\n'))
            read << manualLine(line);
        const QString manual = read.join(u'\n');
        QSet<QString> options = optionsIn(help);
        QCOMPARE(optionsIn(manual), options);
        // Each option's entry in the manual says at least what --help says of it.
        const QMap<QString, QString> helped = helpEntries(help);
        const QMap<QString, QString> described = manualEntries(page);
        QCOMPARE(described.keys(), helped.keys());
        for (auto entry = helped.cbegin(); entry != helped.cend(); ++entry)
            QVERIFY2(plain(described.value(entry.key())).contains(plain(entry.value())),
                     qPrintable(entry.key() + u": "_s + entry.value()));
        options << u"--"_s;
        const QStringList offered = completions({u"-"_s});
        QCOMPARE(QSet<QString>(offered.begin(), offered.end()), options);

        for (const CliChoiceOption &option : cliChoiceOptions()) {
            QStringList spellings = option.texts;
            for (const ChoiceName &name : option.names)
                spellings << name.name;
            for (const QString &spelling : std::as_const(spellings)) {
                QVERIFY2(manual.contains(spelling), qPrintable(spelling));
                QVERIFY2(help.contains(spelling), qPrintable(spelling));
            }
            spellings.sort();
            QCOMPARE(completions({u"--"_s + option.option, u""_s}), spellings);
        }
    }

    // Choices come back whole whatever quoting was begun, spaces and Chinese included.
    void completionOfChoices_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("--codec H") << QStringList{u"--codec"_s, u"H"_s}
                                   << QStringList{u"H.264 (硬件加速)"_s, u"H.264 (软件编码)"_s,
                                                  u"HEVC (硬件加速)"_s, u"HEVC (软件编码)"_s};
        QTest::newRow("--codec=h")
            << QStringList{u"--codec"_s, u"="_s, u"h"_s}
            << QStringList{u"h264-hw"_s, u"h264-sw"_s, u"hevc-hw"_s, u"hevc-sw"_s};
        QTest::newRow("open quote")
            << QStringList{u"--preset"_s, u"\"ProRes 4"_s} << QStringList{u"ProRes 4444透明"_s};
        QTest::newRow("escaped space")
            << QStringList{u"--prores-profile"_s, u"422\\ H"_s} << QStringList{u"422 HQ"_s};
        QTest::newRow("Chinese") << QStringList{u"--frame-rate"_s, u"原"_s}
                                 << QStringList{u"原始帧率"_s};
        QTest::newRow("a number") << QStringList{u"--jobs"_s, u""_s} << QStringList{};
        QTest::newRow("after --") << QStringList{u"--"_s, u"--codec"_s, u""_s} << QStringList{};
    }

    void completionOfChoices()
    {
        QFETCH(QStringList, words);
        QTEST(completions(words), "offered");
    }

    // Exit statuses, the summary, JSON Lines and the plan, through the program itself.
    void aRunFromTheCommandLine()
    {
        const QString folder = m_dir.filePath(u"run"_s);
        copyTo(clip(Clip::Plain), folder + u"/a.mp4"_s);
        copyTo(clip(Clip::Truncated), folder + u"/b.mp4"_s);
        copyTo(clip(Clip::Odd), folder + u"/c d.mpg"_s);
        const QStringList settings{u"--codec"_s, u"H.264 (硬件加速)"_s};

        const CliRun dry = runCli(QStringList{u"--dry-run"_s} + settings + QStringList{folder});
        QCOMPARE(dry.exitCode, 0);
        QVERIFY(dry.err.contains(u"已改用软件编码器 libx264"_s));
        const QStringList planned =
            dry.out.split(u'\n', Qt::SkipEmptyParts).filter(u" -progress pipe:1 "_s);
        QCOMPARE(planned.size(), 3);
        // The odd picture made even: its size, as a comment the shell skips, before its command.
        QCOMPARE(dry.out.split(u'\n', Qt::SkipEmptyParts).filter(u"#"_s),
                 QStringList{u"# 160x90"_s});
        QVERIFY(dry.out.contains(u"# 160x90\n"_s + planned.last()));
        QCOMPARE(filesBelow(folder).size(), 3); // nothing made
        // A picture smaller than a chosen box keeps its size, which the plan says.
        const QStringList proxy{u"--dry-run"_s, u"--preset"_s, u"h264-proxy"_s,
                                folder + u"/a.mp4"_s};
        QVERIFY(runCli(proxy).out.startsWith(u"# 160x120\n"_s));
        QCOMPARE(
            jsonLines(runCli(QStringList{u"--json"_s} + proxy).out).first().value(u"output_size"_s),
            u"160x120"_s);

        const CliRun run = runCli(settings + QStringList{u"--json"_s, u"--verbose"_s, u"--jobs"_s,
                                                         u"2"_s, u"--"_s, folder});
        QCOMPARE(run.exitCode, 1);
        const QList<QJsonObject> events = jsonLines(run.out);
        QCOMPARE(events.first().value(u"event"_s), u"run-start"_s);
        QCOMPARE(events.first().value(u"settings"_s).toObject().value(u"codec"_s),
                 u"H.264 (硬件加速)"_s);
        QCOMPARE(events.last().value(u"event"_s), u"summary"_s);
        QCOMPARE(events.last().value(u"converted"_s).toInt(), 2);
        QCOMPARE(events.last().value(u"failed"_s).toInt(), 1);
        QStringList ends;
        for (const QJsonObject &event : events) {
            if (event.value(u"event"_s) == u"file-failed"_s)
                QVERIFY(event.value(u"reason"_s).toString().contains(u"4.00 秒"_s));
            if (event.value(u"event"_s).toString().startsWith(u"file-d"_s))
                QCOMPARE(event.value(u"encoder"_s), u"libx264"_s);
            if (event.value(u"event"_s).toString().startsWith(u"file-"_s) &&
                event.value(u"event"_s) != u"file-start"_s)
                ends << event.value(u"event"_s).toString();
        }
        QCOMPARE(ends.size(), 3);
        QVERIFY2(run.err.contains(u"失败 b.mp4: 转码结果时长"_s), qPrintable(run.err));
        // The run's commands, written in its trace (here on standard error), are the plan's.
        for (const QString &command : planned)
            QVERIFY2(run.err.contains(u'\n' + command + u'\n'), qPrintable(command));
    }

    // In a terminal, files at work at once each have their own entry on the progress line,
    // namesakes from two folders included.
    void namesakesAtWorkShowTheirOwnProgress()
    {
        QTemporaryDir install;
        const QString cli = installCopy(install);
        const QString resources = install.filePath(u"resources"_s);
        writeFile(resources + u"/result"_s, contents(clip(Clip::Plain)));
        // Both wait for each other, so both are at work when they report.
        writeTool(resources, u"ffmpeg"_s,
                  "dir=$(dirname \"$0\"); for last; do :; done\n"
                  "echo started >> \"$dir/started\"\n"
                  "while [ \"$(wc -l < \"$dir/started\")\" -lt 2 ]; do sleep 0.1; done\n"
                  "for t in 1 2 3; do printf 'out_time=00:00:00.%s00000\\nprogress=continue\\n' $t;"
                  " sleep 0.3; done\n"
                  "cat \"$dir/result\" > \"$last\"\n");
        const QString root = m_dir.filePath(u"namesakes"_s);
        copyTo(clip(Clip::Plain), root + u"/A/x.mp4"_s);
        copyTo(clip(Clip::Plain), root + u"/B/x.mp4"_s);
        const QString command =
            QStringList{cli, u"--jobs"_s, u"2"_s, u"--codec"_s, u"'H.264 (软件编码)'"_s, root}.join(
                u' ');
        const CliRun terminal = runCli({u"-qfec"_s, command, u"/dev/null"_s}, u"script"_s);
        QCOMPARE(terminal.exitCode, 0);
        const QStringList lines = terminal.out.split(u'\r');
        QVERIFY2(std::any_of(lines.begin(), lines.end(),
                             [](const QString &line) {
                                 return line.contains(u"A/x.mp4 "_s) &&
                                        line.contains(u"B/x.mp4 "_s);
                             }),
                 qPrintable(terminal.out));
    }

    // The live line keeps to one row of the terminal: East Asian characters take two columns;
    // the file names give way first, then the figures from the last, never the counters.
    void theLiveLineFitsItsRow_data()
    {
        QTest::addColumn<int>("columns");
        QTest::addColumn<QString>("line");
        const QString counters = u"[12/300] 42%"_s;
        const QString times = u"已用 1:02 剩余约 0:12"_s; // 21 columns
        const QString figures = counters + u"  "_s + times + u"  25.0 fps  1.2x"_s;
        QTest::newRow("room for all")
            << 200 << figures + u"  一个很长的名字_第一部分.mp4 42% · clip.mov 7%"_s;
        QTest::newRow("names shortened")
            << 90 << figures + u"  一个很长…分.mp4 42% · clip.mov 7%"_s;
        QTest::newRow("names left out") << 60 << figures;
        QTest::newRow("figures from the last") << 40 << counters + u"  "_s + times;
        QTest::newRow("the counters stay") << 20 << counters;
        QTest::newRow("cut only where nothing else is left") << 9 << u"[12/300]"_s;
    }

    void theLiveLineFitsItsRow()
    {
        QFETCH(int, columns);
        QFETCH(QString, line);
        const QString fitted = fitLiveLine(
            {u"[12/300] 42%"_s, u"已用 1:02 剩余约 0:12"_s, u"25.0 fps"_s, u"1.2x"_s},
            {{u"一个很长的名字_第一部分.mp4"_s, u"42%"_s}, {u"clip.mov"_s, u"7%"_s}}, columns);
        QCOMPARE(fitted, line);
        QVERIFY(terminalColumns(fitted) < columns);
        QCOMPARE(terminalColumns(u"剩余约 0:12"_s), 11);
        QCOMPARE(terminalColumns(u"e\u0301"_s), 1);
    }

    // In a terminal 60 columns wide the live line never wraps (a wrapped one leaves a row
    // behind at every update), and what is said meanwhile gets a row of its own.
    void aNarrowTerminal()
    {
        const QString folder = m_dir.filePath(u"narrow"_s);
        copyTo(clip(Clip::Plain), folder + u"/一个名字很长很长的视频文件_第一部分_最终版本.mp4"_s);
        copyTo(clip(Clip::Plain), folder + u"/another rather long file name, second part.mp4"_s);
        const QString command = u"stty cols 60; "_s +
                                shellQuoted(QStringLiteral(QUILLMERE_CLI_PATH)) +
                                u" --codec h264-hw "_s + shellQuoted(folder);
        const CliRun terminal = runCli({u"-qfec"_s, command, u"/dev/null"_s}, u"script"_s);
        QCOMPARE(terminal.exitCode, 0);
        static const QRegularExpression rowEnd(u"\r\x1b\\[K|\r|\n"_s);
        const QStringList rows = terminal.out.split(rowEnd, Qt::SkipEmptyParts);
        QVERIFY2(!rows.filter(u"[0/2] 0%"_s).isEmpty(), qPrintable(terminal.out));
        QVERIFY2(!rows.filter(u"quillmere-cli: 没有可用的硬件编码器"_s).isEmpty(),
                 qPrintable(terminal.out));
        for (const QString &row : rows) {
            if (row.startsWith(u'['))
                QVERIFY2(terminalColumns(row) < 60, qPrintable(row));
            QVERIFY2(!row.contains(u"quillmere-cli: "_s) || row.startsWith(u"quillmere-cli: "_s),
                     qPrintable(row));
        }
    }

    // A reader that goes away (`| head`) costs the trace, not the run.
    void aClosedOutputDoesNotStopTheRun()
    {
        const QString video = copyTo(clip(Clip::Plain), m_dir.filePath(u"piped/a.mp4"_s));
        // The pipeline's status is the CLI's, not head's.
        const CliRun piped =
            runCli({u"-c"_s,
                    u"\"$0\" --json --codec h264-sw \"$1\" | head -c 1 >/dev/null; "
                    "exit \"${PIPESTATUS[0]}\""_s,
                    QStringLiteral(QUILLMERE_CLI_PATH), video},
                   u"bash"_s);
        QCOMPARE(piped.exitCode, 0);
        QVERIFY(QFile::exists(m_dir.filePath(u"piped/已转码_H.264 (软件编码)/a.mp4"_s)));
    }

    void refusalsAndMissingPaths()

    {
        const QString video = copyTo(clip(Clip::Plain), m_dir.filePath(u"refused/a.mp4"_s));
        const CliRun alpha = runCli({u"--dry-run"_s, u"--preset"_s, u"HEVC透明"_s, video});
        QCOMPARE(alpha.exitCode, 1);
        QVERIFY2(alpha.err.contains(u"转码会被拒绝: "_s) && !alpha.err.contains(u"转码失败"_s),
                 qPrintable(alpha.err));
        QVERIFY(alpha.err.contains(u"ProRes 4444透明"_s));
        const CliRun missing = runCli({u"--probe"_s, video, m_dir.filePath(u"nowhere.mp4"_s)});
        QCOMPARE(missing.exitCode, 1);
        QVERIFY(missing.err.contains(u"无法添加 "_s + m_dir.filePath(u"nowhere.mp4"_s) +
                                     u": 文件不存在"_s));
        QVERIFY(missing.err.contains(u"已列出 1 个视频，1 个无法添加"_s));
        QCOMPARE(runCli({u"--probe"_s, m_dir.filePath(u"nowhere.mp4"_s)}).exitCode, 1);
        QCOMPARE(runCli({u"--overwrite"_s, u""_s}).exitCode, 2);
        QCOMPARE(filesBelow(m_dir.filePath(u"refused"_s)), QStringList{u"a.mp4"_s});
    }

    // A saved plan must not promise a run into someone else's link.
    void aDryRunIntoAnotherUsersLinkIsRefused()
    {
        if (::geteuid() != 0)
            QSKIP("giving a link away needs root");
        const QString video = copyTo(clip(Clip::Plain), m_dir.filePath(u"linked/a.mp4"_s));
        const QString link = m_dir.filePath(u"linked/已转码_H.264 (软件编码)"_s);
        QVERIFY(QFile::link(m_dir.filePath(u"linked-elsewhere"_s), link));
        QVERIFY(::lchown(QFile::encodeName(link).constData(), 4321, 4321) == 0);
        const CliRun dry = runCli({u"--dry-run"_s, u"--codec"_s, u"h264-sw"_s, video});
        QCOMPARE(dry.exitCode, 1);
        QVERIFY2(dry.err.contains(u"转码会被拒绝: "_s) && dry.err.contains(u"其他用户建立的链接"_s),
                 qPrintable(dry.err));
        QVERIFY(dry.out.isEmpty());
    }

    // Standard output carries data only; standard error the progress, notices, failures and
    // the summary, less with --quiet, the trace too with --verbose.
    void whatGoesWhere()
    {
        const QString video = copyTo(clip(Clip::Plain), m_dir.filePath(u"where/a.mp4"_s));
        const QString missing = m_dir.filePath(u"where/gone.mp4"_s);
        const QStringList run{u"--codec"_s, u"h264-hw"_s, video, missing};
        const auto lines = [](const QString &text) {
            return text.split(u'\n', Qt::SkipEmptyParts);
        };

        const CliRun normal = runCli(run);
        QCOMPARE(normal.out, QString());
        QVERIFY2(!normal.err.contains(u"[DEBUG]"_s), qPrintable(normal.err));
        for (const QString &said : {u"无法添加 "_s, u"已改用软件编码器"_s, u"[1/1] a.mp4"_s,
                                    u"转码完成: 已转码 1 个，失败 0 个，跳过 0 个，1 个无法添加"_s})
            QVERIFY2(normal.err.contains(said), qPrintable(said));

        const CliRun quiet = runCli(QStringList{u"--quiet"_s} + run);
        QCOMPARE(quiet.out, QString());
        const QStringList quietLines = lines(quiet.err);
        QCOMPARE(quietLines.size(), 3);
        QVERIFY(quietLines[0].contains(u"无法添加 "_s + missing));
        QVERIFY(quietLines[1].contains(u"转码完成"_s));
        QVERIFY(quietLines[2].contains(u"输出文件夹"_s));

        const CliRun verbose = runCli(QStringList{u"--verbose"_s} + run);
        QCOMPARE(verbose.out, QString());
        QVERIFY(verbose.err.contains(u"🔍 [DEBUG] 正在处理: "_s + video));
        QCOMPARE(normal.exitCode, 1);
        QCOMPARE(quiet.exitCode, 1);
        QCOMPARE(verbose.exitCode, 1);

        const CliRun version = runCli({u"--version"_s});
        QVERIFY2(QRegularExpression(u"^quillmere-cli \\d+\\.\\d+\\.\\d+\n$"_s)
                     .match(version.out)
                     .hasMatch(),
                 qPrintable(version.out));
        const CliRun listing = runCli({u"--probe"_s, video});
        QCOMPARE(lines(listing.out).size(), 1);
        QVERIFY2(listing.out.startsWith(video + u"\t160x120\t"_s), qPrintable(listing.out));
    }

    // A named PATH that is not taken in fails the run, in every mode, and is counted.
    void everyNamedPathCounts_data()
    {
        QTest::addColumn<QString>("other");
        QTest::addColumn<int>("rejected");
        QTest::newRow("all taken in") << u"empty folder/"_s << 0;
        QTest::newRow("missing") << u"gone.mp4"_s << 1;
        QTest::newRow("not a video type") << u"notes.txt"_s << 1;
        QTest::newRow("not a video inside") << u"junk.mp4"_s << 1;
        QTest::newRow("not a file") << u"pipe.mp4"_s << 1;
        QTest::newRow("unreadable") << u"locked.mp4"_s << 1;
    }

    void everyNamedPathCounts()
    {
        QFETCH(QString, other);
        QFETCH(int, rejected);
        const QString folder = m_dir.filePath(u"named/"_s + QLatin1String(QTest::currentDataTag()));
        const QString video = copyTo(clip(Clip::Plain), folder + u"/a.mp4"_s);
        const QString path = folder + u'/' + other;
        if (other.endsWith(u'/'))
            QDir().mkpath(path);
        else if (other == u"notes.txt"_s || other == u"junk.mp4"_s)
            writeFile(path, "not a video\n");
        else if (other == u"pipe.mp4"_s)
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        if (other == u"locked.mp4"_s) {
            if (::geteuid() == 0)
                QSKIP("root reads any file");
            copyTo(clip(Clip::Plain), path);
            QFile::setPermissions(path, {});
        }
        const int exitCode = rejected > 0 ? 1 : 0;
        for (const QString &mode : {u"--probe"_s, u"--dry-run"_s, u"--skip-existing"_s}) {
            const CliRun run = runCli({u"--json"_s, u"--codec"_s, u"h264-sw"_s, mode, video, path});
            QVERIFY2(run.exitCode == exitCode, qPrintable(mode + u": "_s + run.err));
            const QList<QJsonObject> events = jsonLines(run.out);
            QCOMPARE(events.last().value(u"event"_s), u"summary"_s);
            QCOMPARE(events.last().value(u"rejected"_s).toInt(-1), rejected);
            if (mode == u"--skip-existing"_s)
                QCOMPARE(events.last().value(u"converted"_s).toInt(), 1);
        }
    }

    // A saved plan runs the planned commands and nothing else, whatever the names and the
    // metadata hold; with --verbose the trace stays out of it.
    void aSavedPlanRunsOnlyThePlan()
    {
        QTemporaryDir install;
        const QString cli = installCopy(install);
        // Notes each call's arguments exactly, NUL-separated, a file per call.
        writeTool(install.filePath(u"resources"_s), u"ffmpeg"_s,
                  "call=$(mktemp \"$(dirname \"$0\")/call.XXXXXX\")\n"
                  "for argument; do printf '%s\\0' \"$argument\"; done > \"$call\"\n");
        const QString folder = m_dir.filePath(u"hostile"_s);
        for (const QString &name : {u"a $(touch pwned1).mp4"_s, u"b `touch pwned2`.mp4"_s,
                                    u"c ' \" \\ ; & |.mp4"_s, u"d\n$(touch pwned3)\n.mp4"_s,
                                    u"e $'x' ${HOME} %s *.mp4"_s, u"-f.mp4"_s, u"h$PWD`pwd`.mp4"_s})
            copyTo(clip(Clip::Plain), folder + u'/' + name);
        runFFmpeg({u"-i"_s, clip(Clip::Plain), u"-c"_s, u"copy"_s, u"-metadata"_s,
                   u"title=$(touch pwned4)\n`touch pwned5`'\""_s, folder + u"/g.mp4"_s});
        QTemporaryDir cwd;
        const QStringList settings{u"--codec"_s, u"h264-sw"_s, folder};

        const CliRun plan =
            runCli(QStringList{u"--verbose"_s, u"--dry-run"_s} + settings, cli, cwd.path());
        QCOMPARE(plan.exitCode, 0);
        QVERIFY(plan.err.contains(u"[DEBUG]"_s));
        QList<QStringList> planned;
        for (const QJsonObject &event :
             jsonLines(runCli(QStringList{u"--json"_s, u"--dry-run"_s} + settings, cli).out)) {
            for (const QJsonValue &command : event.value(u"commands"_s).toArray()) {
                QStringList words = command.toVariant().toStringList();
                words.removeFirst(); // the program, which is the fake
                planned << words;
            }
        }
        QCOMPARE(planned.size(), 8);

        QDir resources(install.filePath(u"resources"_s));
        for (const QString &call : resources.entryList({u"call.*"_s}))
            resources.remove(call); // any the planning made
        writeFile(cwd.filePath(u"plan.sh"_s), plan.out.toUtf8());
        QProcess sh;
        sh.setWorkingDirectory(cwd.path());
        sh.start(u"sh"_s, {u"plan.sh"_s});
        QVERIFY(sh.waitForFinished(30000));
        QCOMPARE(sh.exitCode(), 0);
        QList<QStringList> ran;
        for (const QString &call : resources.entryList({u"call.*"_s})) {
            QStringList words;
            for (const QByteArray &word : contents(resources.filePath(call)).split('\0'))
                words << QString::fromUtf8(word);
            words.removeLast(); // after the last NUL
            ran << words;
        }
        std::sort(planned.begin(), planned.end());
        std::sort(ran.begin(), ran.end());
        QCOMPARE(ran, planned);
        QCOMPARE(filesBelow(cwd.path()), QStringList{u"plan.sh"_s});
        QCOMPARE(filesBelow(folder).size(), 8);
    }

    // SIGTERM, SIGHUP and SIGINT cancel cleanly; kill -9 leaves no ffmpeg behind either, even
    // one started by a wrapper; a daemon that left the wrapper's group and environment is
    // ended when the command ends.
    void signalsCancelCleanly_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QByteArray>("start"); // how the wrapper starts what it leaves running
        QTest::newRow("TERM") << SIGTERM << QByteArray();
        QTest::newRow("HUP") << SIGHUP << QByteArray();
        QTest::newRow("KILL") << SIGKILL << QByteArray();
        QTest::newRow("TERM, a daemon") << SIGTERM << QByteArray("setsid env -i");
    }

    void signalsCancelCleanly()
    {
        QFETCH(int, signal);
        QFETCH(QByteArray, start);
        QTemporaryDir install;
        const QString cli = installCopy(install);
        writeTool(install.filePath(u"resources"_s), u"ffmpeg"_s,
                  "for last; do :; done\nprintf partial > \"$last\"\n" + start +
                      " sleep 60 &\necho $! > \"$(dirname \"$0\")/grandchild\"\nexec sleep 60\n");
        const QString folder = m_dir.filePath(u"signal"_s + QString::number(signal));
        const QString video = copyTo(clip(Clip::Plain), folder + u"/a.mp4"_s);
        QProcess process;
        process.start(cli, {u"--codec"_s, u"AV1 (软件编码)"_s, u"--overwrite"_s, video});
        const QString grandchild = install.filePath(u"resources/grandchild"_s);
        QTRY_VERIFY_WITH_TIMEOUT(!contents(grandchild).isEmpty(), 20000);
        ::kill(static_cast<pid_t>(process.processId()), signal);
        QVERIFY(process.waitForFinished(20000));
        if (signal != SIGKILL) {
            QCOMPARE(process.exitCode(), 130);
            QVERIFY(QString::fromUtf8(process.readAllStandardError()).contains(u"转码已取消\n"_s));
            QCOMPARE(process.readAllStandardOutput(), QByteArray());
            QCOMPARE(filesBelow(folder), QStringList{u"a.mp4"_s});
        }
        const pid_t pid = contents(grandchild).trimmed().toInt();
        QTRY_VERIFY_WITH_TIMEOUT(
            ::kill(pid, 0) != 0 || contents(u"/proc/%1/stat"_s.arg(pid)).contains(") Z "), 5000);
        QCOMPARE(contents(video), contents(clip(Clip::Plain)));
    }

    // A signal before there is a plan still ends with the summary a script waits for.
    void aSignalBeforeThePlanStillSummarises()
    {
        QTemporaryDir install;
        const QString cli = installCopy(install);
        writeTool(install.filePath(u"resources"_s), u"ffmpeg"_s,
                  "echo $$ > \"$(dirname \"$0\")/testing\"\nexec sleep 60\n");
        const QString video = copyTo(clip(Clip::Plain), m_dir.filePath(u"early/a.mp4"_s));
        QProcess process;
        process.start(cli, {u"--json"_s, u"--dry-run"_s, u"--codec"_s, u"h264-hw"_s, video});
        QTRY_VERIFY_WITH_TIMEOUT(!contents(install.filePath(u"resources/testing"_s)).isEmpty(),
                                 20000);
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), 130);
        const QList<QJsonObject> events =
            jsonLines(QString::fromUtf8(process.readAllStandardOutput()));
        QVERIFY(!events.isEmpty());
        QCOMPARE(events.last().value(u"event"_s).toString(), u"summary"_s);
        QCOMPARE(events.last().value(u"outcome"_s).toString(), u"cancelled"_s);
    }

    // Another user's files, converted as that user: a source only they may read but not
    // write converts, one they may not read is named as such.
    void asAnotherUser()
    {
        const QString setpriv = QStandardPaths::findExecutable(u"setpriv"_s);
        if (::geteuid() != 0 || setpriv.isEmpty())
            QSKIP("needs root and setpriv");
        const QStringList asNobody{u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s};
        if (QProcess::execute(setpriv, asNobody + QStringList{u"test"_s, u"-x"_s,
                                                              QStringLiteral(QUILLMERE_CLI_PATH)}))
            QSKIP("the build is not open to other users");
        QTemporaryDir top;
        QFile::setPermissions(top.path(), QFile::permissions(top.path()) | QFileDevice::ExeOther);
        const QString folder = top.filePath(u"theirs"_s);
        const QString readOnly = copyTo(clip(Clip::Plain), folder + u"/read only.mp4"_s);
        const QString locked = copyTo(clip(Clip::Plain), folder + u"/locked.mp4"_s);
        QVERIFY(QProcess::execute(u"chown"_s, {u"-R"_s, u"65534:65534"_s, folder}) == 0);
        ::chmod(QFile::encodeName(readOnly).constData(), 0444);
        ::chmod(QFile::encodeName(locked).constData(), 0);
        const CliRun run = runCli(asNobody + QStringList{u"env"_s, u"HOME="_s + folder,
                                                         QStringLiteral(QUILLMERE_CLI_PATH),
                                                         u"--codec"_s, u"h264-sw"_s, folder},
                                  setpriv);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(u"无法添加 "_s + locked + u": 无法读取（没有读取权限）"_s),
                 qPrintable(run.err));
        const QString output = folder + u"/已转码_H.264 (软件编码)/read only.mp4"_s;
        QVERIFY2(QFileInfo::exists(output), qPrintable(run.err));
        struct stat made;
        QVERIFY(::stat(QFile::encodeName(output).constData(), &made) == 0);
        QCOMPARE(made.st_mode & 07777, 0444u); // read-only as its source
    }

    // COUNT shards side by side under GNU parallel make what one run makes, name clashes
    // included; a run killed midway resumes with --skip-existing.
    void shardsAndResume()
    {
        const auto tree = [this](const QString &name) {
            const QString root = m_dir.filePath(name);
            copyTo(clip(Clip::Plain), root + u"/A/x.mov"_s);
            copyTo(clip(Clip::Plain), root + u"/B/x.mp4"_s);
            copyTo(clip(Clip::Odd), root + u"/B/y.mpg"_s);
            copyTo(clip(Clip::Plain), root + u"/C/x.mkv"_s);
            return root;
        };
        const QStringList settings{u"--codec"_s, u"H.264 (软件编码)"_s};
        const QString single = tree(u"single"_s);
        QCOMPARE(runCli(settings + QStringList{single}).exitCode, 0);
        const QString sharded = tree(u"sharded"_s);
        QProcess parallel;
        parallel.start(u"parallel"_s, QStringList{u"-q"_s, QStringLiteral(QUILLMERE_CLI_PATH),
                                                  u"--shard"_s, u"{}/3"_s} +
                                          settings +
                                          QStringList{sharded, u":::"_s, u"0"_s, u"1"_s, u"2"_s});
        QVERIFY(parallel.waitForFinished(60000));
        QCOMPARE(parallel.exitCode(), 0);
        QCOMPARE(filesBelow(sharded), filesBelow(single));
        QCOMPARE(filesBelow(single).filter(u"已转码"_s).size(), 4); // x.mp4, x (2), x (3), y

        QTemporaryDir install;
        const QString cli = installCopy(install);
        const QByteArray ffmpeg = QStandardPaths::findExecutable(u"ffmpeg"_s).toUtf8();
        writeTool(install.filePath(u"resources"_s), u"ffmpeg"_s,
                  "case \"$*\" in *C/x.mkv*) sleep 30;; esac\nexec '" + ffmpeg + "' \"$@\"\n");
        const QString resumed = tree(u"resumed"_s);
        QProcess killed;
        killed.start(cli, settings + QStringList{resumed});
        // Killed while the last file is at work, the first three done.
        QTRY_VERIFY_WITH_TIMEOUT(!filesBelow(resumed).filter(u".x (3).mp4.partial"_s).isEmpty(),
                                 30000);
        killed.kill();
        QVERIFY(killed.waitForFinished(10000));
        const CliRun again =
            runCli(settings + QStringList{u"--skip-existing"_s, u"--json"_s, resumed});
        QCOMPARE(again.exitCode, 0);
        QVERIFY(again.out.contains(u"\"converted\":1"_s) && again.out.contains(u"\"skipped\":3"_s));
        QCOMPARE(filesBelow(resumed), filesBelow(single));
    }

    // A file's shard follows from its path below the named folder: the same tree at another
    // place, with a file added, puts every file that was there in the same shard.
    void shardsFollowTheFileNotItsPlace()
    {
        const QStringList names{u"a.mp4"_s, u"b/c.mp4"_s, u"d.mp4"_s, u"e/f.mp4"_s, u"g.mp4"_s};
        QList<QHash<QString, int>> shardOf;
        for (const QString &root : {m_dir.filePath(u"here"_s), m_dir.filePath(u"there/deep"_s)}) {
            for (const QString &name : names)
                copyTo(clip(Clip::Plain), root + u'/' + name);
            if (!shardOf.isEmpty())
                copyTo(clip(Clip::Plain), root + u"/added.mp4"_s);
            QHash<QString, int> shards;
            for (int index = 0; index < 2; ++index) {
                const CliRun dry =
                    runCli({u"--dry-run"_s, u"--shard"_s, u"%1/2"_s.arg(index), root});
                for (const QString &line : dry.out.split(u'\n').filter(u" -progress pipe:1 "_s))
                    shards.insert(
                        line.section(u" -i "_s, 1).section(u" -y "_s, 0, 0).mid(root.size() + 1),
                        index);
            }
            shards.remove(u"added.mp4"_s);
            QCOMPARE(shards.size(), names.size());
            shardOf << shards;
        }
        QCOMPARE(shardOf.first(), shardOf.last());
    }

    void twoRunsOnOneFile()
    {
        QTemporaryDir install;
        const QString cli = installCopy(install);
        // An ffmpeg slow enough for the second run to meet the first at work.
        writeTool(install.filePath(u"resources"_s), u"ffmpeg"_s,
                  "for last; do :; done\nsleep 2\ncat '" + clip(Clip::Plain).toUtf8() +
                      "' > \"$last\"\n");
        const QString video = copyTo(clip(Clip::TenBit), m_dir.filePath(u"twice/a.mkv"_s));
        const EnvironmentGuard trash("XDG_DATA_HOME", m_dir.filePath(u"data"_s).toUtf8());
        QProcess first, second;
        const QStringList arguments{u"--overwrite"_s, u"--codec"_s, u"HEVC (软件编码)"_s,
                                    u"--container"_s, u"mov"_s,     video};
        first.start(cli, arguments);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_dir.filePath(u"twice/.a.mov.partial"_s)), 20000);
        second.start(cli, arguments);
        QVERIFY(first.waitForFinished(60000) && second.waitForFinished(60000));
        QCOMPARE(first.exitCode(), 0);
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(QString::fromUtf8(second.readAllStandardError())
                    .contains(u"正在被另一个转码任务使用"_s));
        QCOMPARE(filesBelow(m_dir.filePath(u"twice"_s)), QStringList{u"a.mov"_s});
        QCOMPARE(contents(m_dir.filePath(u"twice/a.mov"_s)), contents(clip(Clip::Plain)));
    }

    // Installed under a prefix off PATH, the programs find their helper beside them: intake
    // never falls back to one ffprobe per file.
    void anInstallFindsItsHelper()
    {
        QTemporaryDir prefix;
        QProcess cmake;
        cmake.start(
            QStringLiteral(QUILLMERE_CMAKE),
            {u"--install"_s, QStringLiteral(QUILLMERE_BUILD_DIR), u"--prefix"_s, prefix.path()});
        QVERIFY(cmake.waitForFinished(60000));
        QVERIFY2(cmake.exitCode() == 0, cmake.readAllStandardError().constData());
        for (const QString &file :
             {u"lib/quillmere/quillmere-probe"_s, u"share/man/man1/quillmere-cli.1.gz"_s,
              u"share/man/man1/quillmere.1.gz"_s,
              u"share/bash-completion/completions/quillmere-cli"_s,
              u"share/applications/quillmere.desktop"_s,
              u"share/metainfo/io.github.quillmere.Quillmere.metainfo.xml"_s})
            QVERIFY2(QFile::exists(prefix.filePath(file)), qPrintable(file));
        QVERIFY(!QFile::exists(prefix.filePath(u"bin/quillmere-probe"_s)));

        QTemporaryDir path;
        writeTool(path.path(), u"ffprobe"_s, "touch \"$(dirname \"$0\")/called\"\nexit 1\n");
        const EnvironmentGuard onlyThese("PATH", path.path().toUtf8() + ":/usr/bin:/bin");
        const QString video = copyTo(clip(Clip::Plain), m_dir.filePath(u"installed/a.mp4"_s));
        const CliRun probe =
            runCli({u"--verbose"_s, u"--probe"_s, video}, prefix.filePath(u"bin/quillmere-cli"_s));
        QCOMPARE(probe.exitCode, 0);
        QVERIFY2(probe.err.contains(u"ffprobe 路径: "_s +
                                    prefix.filePath(u"lib/quillmere/quillmere-probe"_s) + u'\n'),
                 qPrintable(probe.err));
        QVERIFY(!QFile::exists(path.filePath(u"called"_s)));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
