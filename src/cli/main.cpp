#include "cli/CliOptions.h"
#include "cli/CliSession.h"
#include "model/TranscodeViewModel.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

void printTo(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    const Result<CliOptions> parsed = parseCliArguments(app.arguments().mid(1));
    if (!parsed) {
        printTo(stderr, QStringLiteral("quillmere-cli: %1\n").arg(parsed.error().description()));
        return 2;
    }
    const CliOptions &options = *parsed;
    if (options.mode == CliOptions::Mode::Help) {
        printTo(stdout, cliUsage());
        return 0;
    }

    TranscodeViewModel model;
    applyCliSettings(model, options);

    switch (options.mode) {
    case CliOptions::Mode::PrintArguments: {
        const Result<QStringList> arguments = model.buildFFmpegArguments();
        if (!arguments) {
            printTo(stderr,
                    QStringLiteral("quillmere-cli: %1\n").arg(arguments.error().description()));
            return 2;
        }
        for (const QString &argument : *arguments)
            printTo(stdout, argument + QLatin1Char('\n'));
        return 0;
    }
    case CliOptions::Mode::Probe:
    case CliOptions::Mode::DryRun:
    case CliOptions::Mode::Convert: {
        CliSession session(model, options);
        QObject::connect(&session, &CliSession::done, &app, &QCoreApplication::exit);
        session.start();
        return app.exec();
    }
    case CliOptions::Mode::Help:
        break;
    }
    return 0;
}
