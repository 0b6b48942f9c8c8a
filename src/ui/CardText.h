#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QFontMetrics;

struct VideoFile;

// What a file's card says under its name: the probed properties as stored, separated by dots.
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

// The items' texts shortened to fit `width` with `spacing` between them, the least telling
// first.
QStringList fitCardItems(const QList<CardItem> &items, const QFontMetrics &metrics, int width,
                         int spacing);
