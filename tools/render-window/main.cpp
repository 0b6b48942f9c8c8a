// render-window STATE OUTPUT.png FILE...
// Opens the window off screen, takes the files in as the command line would, and saves a
// picture of it in one of three states:
//   listed     the files listed, nothing run
//   running    a run under way, half through its second file
//   finished   a run that converted every file but one, whose name holds "损坏"
// The runs use a stand-in for ffmpeg, so the pictures are the same on every machine.

#include "session/TranscodeViewModel.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// Reports half of a second file, or finishes a file by copying its source; fails on "损坏".
// Files handed over open are matched by the names they have now.
const QByteArray StandIn = R"SH(#!/bin/sh
words= previous=
for last; do
    named=$last
    case $last in /proc/self/fd/*) named=$(readlink "$last") ;; esac
    [ "$previous" = -i ] && source=$last
    words="$words $named" previous=$last
done
case "$words" in
*"-f null -"*|*"-h encoder="*) exit 1 ;;
*损坏*) echo "[libx264 @ 0x55d0] height not divisible by 2 (720x405)" >&2; exit 1 ;;
esac
printf 'frame=%s\nfps=59.8\nbitrate=8123.4kbits/s\nspeed=2.41x\nout_time=00:00:00.500000\n' 30
if [ "$RENDER_STATE" = running ] && [ -e "$(dirname "$0")/first-done" ]; then exec sleep 60; fi
touch "$(dirname "$0")/first-done"
cat "$source" > "$last"
)SH";

} // namespace

int main(int argc, char *argv[])
{
    // Off screen, in the plain style and light colours, so the picture does not depend on the
    // desktop it is made on.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    const QStringList states{u"listed"_s, u"running"_s, u"finished"_s};
    // Without a file intake never starts, and nothing would end the program.
    if (arguments.size() < 3 || !states.contains(arguments[0]) ||

        !arguments[1].endsWith(u".png"_s)) {
        std::fputs("usage: render-window listed|running|finished OUTPUT.png FILE...\n", stderr);
        return 2;
    }
    const QString state = arguments[0];
    qputenv("RENDER_STATE", state.toUtf8());
    QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));
    QApplication::setPalette(QApplication::style()->standardPalette());

    QTemporaryDir tools;
    QFile standIn(tools.filePath(u"ffmpeg"_s));
    if (!standIn.open(QIODevice::WriteOnly) || standIn.write(StandIn) != StandIn.size())
        return 1;
    standIn.close();
    standIn.setPermissions(standIn.permissions() | QFileDevice::ExeOwner);
    RunContext quiet{ToolLocator(tools.path()), [](const QString &) {}};
    TranscodeViewModel model(quiet);
    MainWindow window(model);
    window.setConfirmer([](QWidget *, const QString &) { return true; });
    window.resize(1280, state == u"listed" ? 640 : 800);
    window.show();
    // As at every start: what this ffmpeg cannot make is marked.
    model.askEncoderSupport();

    const QString output = arguments[1];
    int status = 0;
    const auto save = [&] {
        if (!window.grab().save(output)) {
            std::fprintf(stderr, "render-window: cannot write %s\n", qPrintable(output));
            status = 1;
        }
        app.quit();
    };
    // A moment for the list's delayed layout and the progress bar's motion to settle.
    const auto saveSoon = [&] { QTimer::singleShot(700, &app, save); };
    QObject::connect(&model, &TranscodeViewModel::intakeFinished, &app, [&] {
        if (model.videoFiles().size() != arguments.size() - 2) {
            std::fputs("render-window: not every file could be listed\n", stderr);
            status = 1;
        }
        if (state == u"listed")
            return saveSoon();
        model.setSelectedCodec(u"H.264 (软件编码)"_s);
        model.startTranscoding();
    });
    QObject::connect(&model, &TranscodeViewModel::currentFileIndexChanged, &app, [&] {
        if (state == u"running" && model.currentFileIndex() == 2)
            QTimer::singleShot(1500, &app, save);
    });
    QObject::connect(&model, &TranscodeViewModel::runFinished, &app, [&] {
        if (state == u"finished")
            saveSoon();
    });
    window.openPaths(arguments.mid(2));
    app.exec();
    return status;
}
