#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <optional>

class QFontMetrics;

struct JobRecord;
struct VideoFile;

// What a file's card says under its name: the probed properties, separated by dots.
struct CardItem
{
    enum class Tone { Secondary, Blue };

    QString text;
    Tone tone = Tone::Secondary;

    friend bool operator==(const CardItem &, const CardItem &) = default;
};

// The codec's short name: what comes before " (", or all of it.
QString shortCodecName(const QString &codec);

QList<CardItem> cardItems(const VideoFile &file);
// The card's last line: how long the video lasts and how large the file is.
QString cardFooter(const VideoFile &file);

// The items' texts shortened to fit `width` with `spacing` between them, the least telling
// first.
QStringList fitCardItems(const QList<CardItem> &items, const QFontMetrics &metrics, int width,
                         int spacing);

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
