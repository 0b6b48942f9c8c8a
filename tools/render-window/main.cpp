// render-window OUTPUT.png FILE...
// Opens the window off screen, takes the files in as the command line would, and saves a
// picture of it once they are all listed.

#include "session/TranscodeViewModel.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    // Off screen, in the plain style and light colours, so the picture does not depend on the
    // desktop it is made on.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.isEmpty() || !arguments.first().endsWith(u".png"_s)) {
        std::fputs("usage: render-window OUTPUT.png FILE...\n", stderr);
        return 2;
    }
    QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));
    QApplication::setPalette(QApplication::style()->standardPalette());

    RunContext quiet;
    quiet.trace = [](const QString &) {};
    TranscodeViewModel model(quiet);
    MainWindow window(model);
    window.resize(1000, 820);
    window.show();

    const QString output = arguments.first();
    int status = 0;
    const auto save = [&] {
        if (window.model().videoFiles().size() != arguments.size() - 1) {
            std::fputs("render-window: not every file could be listed\n", stderr);
            status = 1;
        }
        if (!window.grab().save(output)) {
            std::fprintf(stderr, "render-window: cannot write %s\n", qPrintable(output));
            status = 1;
        }
        app.quit();
    };
    QObject::connect(&window.model(), &TranscodeViewModel::intakeFinished, &app, [&] {
        // A moment for the list's delayed layout to settle its scroll bar.
        QTimer::singleShot(500, &app, save);
    });
    window.openPaths(arguments.mid(1));
    if (!window.model().isTakingIn())
        QTimer::singleShot(0, &app, save);
    app.exec();
    return status;
}
