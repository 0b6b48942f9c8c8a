#pragma once

#include <QString>
#include <QStringList>

// The ffmpeg invocations of the HEVC-with-alpha route: any source made an alpha-capable
// ProRes, that made ProRes 4444, and that exported as HEVC with alpha.
namespace VideoFormatChecker {

// The intermediate pass, with `proRes` as the ProRes encoder that works here.
QStringList intermediatePassArguments(const QString &input, const QString &output,
                                      const QString &proRes);

// The ProRes 4444 stage of the conversion.
QStringList proRes4444Arguments(const QString &input, const QString &output, const QString &proRes);

// The export: the first video stream only, HEVC with alpha at high constant quality, into a
// QuickTime file, with progress on standard output.
QStringList hevcAlphaExportArguments(const QString &input, const QString &output);

} // namespace VideoFormatChecker
