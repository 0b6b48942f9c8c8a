#pragma once

#include <QString>
#include <QStringList>

// What the run knows of the video encoders it may name: which hardware encoders can stand
// for a "(硬件加速)" choice, in which order they are tried, and the form each one's command
// line takes.
namespace Encoders {

enum class Form {
    Software,     // options on the command line, frames in system memory
    VideoToolbox, // Apple's, named by the settings
    Nvenc,        // NVIDIA's: a quality-leaning preset
    Vaapi,        // a render node, frames uploaded after a format filter
    QuickSync,    // Intel's: its device initialised, frames uploaded likewise
};

// The hardware encoders to try for the one the settings name, in order; empty when the name
// is no hardware encoder.
QStringList candidatesFor(const QString &named);
// Those of them an ffmpeg on this system can have: Apple's come only with ffmpeg for macOS, and
// testing them elsewhere only costs time.
QStringList candidatesHere(const QString &named);
// The software encoder of the family ("libx264" for every H.264 encoder).
QString softwareStandIn(const QString &encoder);
Form formOf(const QString &encoder);
bool isHevc(const QString &encoder);
// Encoders that refuse a picture with an odd width or height.
bool needsEvenSize(const QString &encoder);
// Encoders whose streams say that a picture is full range, so that players read it so. ProRes
// has no such flag: its pictures are video range. The hardware encoders are left to convert.
bool keepsFullRange(const QString &encoder);

// Options that go before the input: the device a hardware form needs.
QStringList deviceOptions(Form form, const QString &renderNode);
// The filters that hand frames to the device, after any scaling: nothing for forms that take
// frames from memory.
QString uploadFilters(Form form, bool tenBit);
// Options that follow "-c:v encoder" for the encoder's form.
QStringList formOptions(Form form);
// The pixel format the encoder is given for 8-bit or 10-bit 4:2:0 output.
QString pixelFormat420(Form form, bool tenBit);

// A one-frame encode that succeeds only where `encoder` works here, with the same device,
// upload and options as a real run.
QStringList testEncodeArguments(const QString &encoder, const QString &renderNode);

// The first render node a VAAPI encoder can open, or the usual first one when none is seen.
QString renderNode();

} // namespace Encoders
