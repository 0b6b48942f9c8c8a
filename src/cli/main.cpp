#include "cli/CliOptions.h"
#include "cli/CliSession.h"
#include "domain/Trace.h"
#include "intake/ExactNames.h"
#include "session/TranscodeViewModel.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    // Not app.arguments(): it decodes names that are not UTF-8 into other names.
    const Result<CliOptions> parsed = parseCliArguments(ExactNames::arguments(argc, argv));
    if (!parsed) {
        writeLineToStandardError(QStringLiteral("quillmere-cli: ") + parsed.error().description());
        return 2;
    }
    const CliOptions &options = *parsed;
    if (options.mode == CliOptions::Mode::Help) {
        const QByteArray usage = cliUsage().toUtf8();
        std::fwrite(usage.constData(), 1, static_cast<size_t>(usage.size()), stdout);
        return 0;
    }

    // With JSON events on standard output, the trace goes with the other human text.
    RunContext context;
    context.trace = options.json ? writeLineToStandardError : writeTraceToStandardOutput;
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
            writeTraceToStandardOutput(argument);
        return 0;
    }
    CliSession session(model, options);
    QObject::connect(&session, &CliSession::done, &app, &QCoreApplication::exit);
    session.start();
    return app.exec();
}
