#pragma once

#include <QList>
#include <QMetaType>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <optional>

struct JobRecord;
struct VideoFile;

// One of the probed properties a card lists under the file's name.
struct CardItem
{
    enum class Tone { Secondary, Blue };

    QString text;
    Tone tone = Tone::Secondary;

    friend bool operator==(const CardItem &, const CardItem &) = default;
};

// The codec's short name: what comes before " (", or all of it.
QString shortCodecName(const QString &codec);

// The properties in the order the card shows them: size as shown, frame rate, codec, bitrate,
// bit depth and pixel format, alpha, audio tracks. Always CardItemCount of them.
inline constexpr int CardItemCount = 7;
QList<CardItem> cardItems(const VideoFile &file);
// The card's last line: how long the video lasts and how large the file is.
QString cardFooter(const VideoFile &file);
// What the card has no room for: the path, the codec's long name, the turn of the picture.
QString cardToolTip(const VideoFile &file);

// Items of these widths laid out in lines of `width`, `gap` apart, in order, each whole: where
// each one goes (x, and the line as y). An item wider than a line has one to itself.
QList<QPoint> flowItems(const QList<int> &widths, int width, int gap);
int flowLineCount(const QList<int> &widths, int width, int gap);

// Where the file stands in a run, in words that need no colour to be read.
struct CardStatus
{
    enum class Tone { Neutral, Busy, Good, Bad };

    QString text;
    Tone tone = Tone::Neutral;
    std::optional<double> progress; // while it converts

    friend bool operator==(const CardStatus &, const CardStatus &) = default;
};
// Nothing for a file that no run has taken, or that waits outside the run under way.
std::optional<CardStatus> cardStatus(const JobRecord &job, bool inRun);

Q_DECLARE_METATYPE(CardStatus)
