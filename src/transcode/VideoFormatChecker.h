#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The media knowledge of the HEVC-with-alpha route, as ffprobe and ffmpeg invocations.
namespace VideoFormatChecker {

// ffprobe's arguments for a description of the first video stream of `path`.
QStringList probeArguments(const QString &path);

// Whether that description shows ProRes 4444: the codec tag "ap4h" and a format name holding
// "4444", the format name being the stream's "encoder" tag or, without one, its "profile".
bool isProRes4444(const QByteArray &ffprobeJson);

// ffmpeg's arguments for the ProRes 4444 stage of the conversion.
QStringList proRes4444Arguments(const QString &input, const QString &output);

// ffmpeg's arguments for the intermediate pass that gives any source an alpha-capable ProRes.
QStringList intermediatePassArguments(const QString &input, const QString &output);

// ffmpeg's arguments for the export: the first video stream only, HEVC with alpha at high
// constant quality, into a QuickTime file, with progress on standard output.
QStringList hevcAlphaExportArguments(const QString &input, const QString &output);

} // namespace VideoFormatChecker
