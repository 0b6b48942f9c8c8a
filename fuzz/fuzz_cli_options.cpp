// quillmere-cli's command line, from parsing to the settings part of the ffmpeg command.

#include "cli/CliOptions.h"
#include "session/TranscodeViewModel.h"

#include <QByteArrayList>
#include <QStringList>

#include <cstddef>
#include <cstdint>

// Arguments are separated by NUL bytes, as in /proc/<pid>/cmdline.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QStringList arguments;
    if (!input.isEmpty()) {
        for (const QByteArray &argument : input.split('\0'))
            arguments << QString::fromUtf8(argument);
    }
    const Result<CliOptions> parsed = parseCliArguments(arguments);
    if (!parsed)
        return 0;
    // What a valid command line leads to: the settings applied, then the arguments built.
    TranscodeViewModel model;
    applyCliSettings(model, *parsed);
    model.buildFFmpegArguments();
    return 0;
}
