#include "ui/CardText.h"

#include "domain/JobRecord.h"
#include "domain/VideoFile.h"
#include "session/RunClock.h"
#include "ui/RunFigures.h"

#include <QFontMetrics>
#include <QLocale>

using namespace Qt::StringLiterals;

namespace {

// Whole megabits as the probe writes them, but a tenth where that would read "0".
QString bitrateText(const VideoFile &file)
{
    if (file.bitsPerSecond > 0 && file.bitsPerSecond < 1000000)
        return QString::asprintf("%.1fMbps", static_cast<double>(file.bitsPerSecond) / 1e6);
    return file.bitrate;
}

QString sizeText(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

} // namespace

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
            {bitrateText(file)},
            dot,
            {file.bitDepth + file.colorFormat},
            dot,
            alpha};
}

QString cardFooter(const VideoFile &file)
{
    return clockText(file.duration) + u" • "_s + sizeText(file.size);
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

std::optional<CardStatus> cardStatus(const JobRecord &job, bool inRun)
{
    switch (job.status) {
    case JobRecord::Status::Waiting:
        if (!inRun)
            return std::nullopt;
        return CardStatus{u"等待中"_s, CardStatus::Tone::Neutral, std::nullopt};
    case JobRecord::Status::Converting:
        return CardStatus{u"转码中 "_s + RunFigures::percentText(job.fraction),
                          CardStatus::Tone::Busy, job.fraction};
    case JobRecord::Status::Checking:
        return CardStatus{u"检查结果…"_s, CardStatus::Tone::Busy, job.fraction};
    case JobRecord::Status::Done:
        return CardStatus{u"✓ 已完成 · "_s + sizeText(job.outcome.outputSize),
                          CardStatus::Tone::Good, std::nullopt};
    case JobRecord::Status::Failed:
        return CardStatus{u"✗ 失败"_s, CardStatus::Tone::Bad, std::nullopt};
    case JobRecord::Status::Skipped:
        return CardStatus{u"已跳过"_s, CardStatus::Tone::Neutral, std::nullopt};
    case JobRecord::Status::Cancelled:
        return CardStatus{u"已取消"_s, CardStatus::Tone::Neutral, std::nullopt};
    }
    return std::nullopt;
}
