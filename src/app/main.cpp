#include "intake/ExactNames.h"
#include "process/TerminationSignals.h"
#include "session/QueueMemory.h"
#include "session/TranscodeViewModel.h"
#include "ui/DesktopIntegration.h"
#include "ui/MainWindow.h"
#include "ui/SettingsMemory.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdio>
#include <cstring>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    // Answered before anything needs a display; a file of such a name comes after "--".
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("quillmere " QUILLMERE_VERSION);
        return 0;
    }
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs("Usage: quillmere [--] [PATH]...\n"
                   "       quillmere --version | --help\n"
                   "Opens the window that converts many video files in one go with ffmpeg.\n"
                   "Each PATH, a video file or a folder, is listed as if dropped on the window.\n"
                   "Put \"--\" before PATHs that begin with a dash.\n"
                   "The same conversions without a window: quillmere-cli --help.\n",
                   stdout);
        return 0;
    }
    QApplication app(argc, argv);
    app.setApplicationName(u"Quillmere"_s);
    app.setApplicationVersion(QStringLiteral(QUILLMERE_VERSION));
    app.setOrganizationName(u"Quillmere"_s);

    app.setDesktopFileName(u"quillmere"_s);
    app.setWindowIcon(QIcon::fromTheme(u"quillmere"_s));

    // The window speaks Chinese; Qt's own dialogs and buttons should too.
    QTranslator qtTexts;
    if (qtTexts.load(u"qtbase_zh_CN"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtTexts);

    // Every argument is a file or folder to take in, as "Open with" hands them over.
    // Not app.arguments(): it decodes names that are not UTF-8 into other names.
    QStringList paths = ExactNames::arguments(argc, argv);
    if (!paths.isEmpty() && paths.first() == u"--"_s)
        paths.removeFirst();

    // The model outlives the window that shows it.
    TranscodeViewModel model;
    MainWindow window(model);
    SettingsMemory memory(model, window);
    memory.restore();
    // The list and each file's outcome survive a crash; the user decides whether to take the
    // last one back.
    QueueMemory queueMemory(model);
    window.offerRestore(queueMemory);
    // Goes before the window and the model, letting go of what a run still holds.
    DesktopIntegration desktop(model, [&window] { return window.isActiveWindow(); });

    // A signal ends the program as closing the window does: a run is cancelled cleanly first.
    TerminationSignals terminations;
    QObject::connect(&terminations, &TerminationSignals::received, &app, [&model] {
        if (!model.isTranscoding())
            return QApplication::exit(130);
        QObject::connect(&model, &TranscodeViewModel::runFinished, qApp,
                         [] { QApplication::exit(130); });
        model.cancelTranscoding();
    });

    window.show();
    // What this ffmpeg can never do is marked in the window once it has answered.
    model.askEncoderSupport();
    window.openPaths(paths);
    const int status = app.exec();
    memory.rememberWindow();
    return status;
}
