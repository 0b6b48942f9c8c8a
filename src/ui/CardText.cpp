#include "ui/CardText.h"

#include "model/VideoFile.h"

using namespace Qt::StringLiterals;

QString shortCodecName(const QString &codec)
{
    const qsizetype cut = codec.indexOf(u" ("_s);
    return cut < 0 ? codec : codec.left(cut);
}

QList<CardItem> cardItems(const VideoFile &file)
{
    const CardItem dot{u"•"_s};
    const CardItem alpha =
        file.hasAlpha ? CardItem{u"Alpha"_s, CardItem::Tone::Blue} : CardItem{u"无Alpha"_s};
    return {{file.resolution},
            dot,
            {file.frameRate + u" fps"_s},
            dot,
            {shortCodecName(file.codec)},
            dot,
            {file.bitrate},
            dot,
            {file.bitDepth + file.colorFormat},
            dot,
            alpha};
}
