#include "cli/CliOptions.h"
#include "cli/CliSession.h"
#include "cli/StandardOutput.h"
#include "domain/Trace.h"
#include "intake/ExactNames.h"
#include "process/ProcessRunner.h"
#include "session/TranscodeViewModel.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    // Not app.arguments(): it decodes names that are not UTF-8 into other names.
    const Result<CliOptions> parsed = parseCliArguments(ExactNames::arguments(argc, argv));
    if (!parsed) {
        // A line each, the valid choices under the mistake.
        for (const QString &line : parsed.error().description().split(QLatin1Char('\n')))
            writeLineToStandardError(QStringLiteral("quillmere-cli: ") + line);
        return 2;
    }
    const CliOptions &options = *parsed;
    if (options.mode == CliOptions::Mode::Help) {
        writeData(cliUsage().toUtf8());
        return 0;
    }
    if (options.mode == CliOptions::Mode::Version) {
        writeDataLine(cliVersion());
        return 0;
    }

    // The trace is for finding faults, not for reading along: asked for, it goes with the other
    // human text, never into the data on standard output.
    RunContext context;
    context.trace = options.verbosity == CliOptions::Verbosity::Verbose
                        ? TraceWriter(writeLineToStandardError)
                        : TraceWriter([](const QString &) {});
    int status = 0;
    {
        TranscodeViewModel model(context);
        applyCliSettings(model, options);

        if (options.mode == CliOptions::Mode::PrintArguments) {
            const Result<QStringList> arguments = model.buildFFmpegArguments();
            if (!arguments) {
                writeLineToStandardError(QStringLiteral("quillmere-cli: ") +
                                         arguments.error().description());
                return 2;
            }
            for (const QString &argument : *arguments)
                writeDataLine(argument);
            return 0;
        }
        CliSession session(model, options);
        QObject::connect(&session, &CliSession::done, &app, &QCoreApplication::exit);
        session.start();
        status = app.exec();
    }
    // Every program of ours has ended with the model; whatever they started and left running
    // goes too, rather than outlive the command a script waits for.
    ProcessRunner::endLeftBehind();
    return status;
}
