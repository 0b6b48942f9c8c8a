#include "ui/CardText.h"

#include "domain/VideoFile.h"

#include <QFontMetrics>

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

QStringList fitCardItems(const QList<CardItem> &items, const QFontMetrics &metrics, int width,
                         int spacing)
{
    QStringList texts;
    int total = spacing * (static_cast<int>(items.size()) - 1);
    for (const CardItem &item : items) {
        texts << item.text;
        total += metrics.horizontalAdvance(item.text);
    }
    // What matters least is cut first: the pixel format, the codec, the bitrate, the frame rate
    // and last the resolution. The dots and the alpha mark stay whole.
    for (const qsizetype item : {8, 4, 6, 2, 0}) {
        if (total <= width || item >= texts.size())
            break;
        const int before = metrics.horizontalAdvance(texts[item]);
        const QString cut =
            metrics.elidedText(texts[item], Qt::ElideRight, before - (total - width));
        // Never cut away altogether: an empty item would leave two dots side by side.
        texts[item] = cut.isEmpty() ? u"…"_s : cut;
        total -= before - metrics.horizontalAdvance(texts[item]);
    }
    return texts;
}
