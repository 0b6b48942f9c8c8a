#include "ui/CardText.h"

#include "domain/JobRecord.h"
#include "domain/VideoFile.h"
#include "session/RunClock.h"
#include "ui/RunFigures.h"

#include <QLocale>
#include <QUrl>

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
    // The size the picture is shown at, with a mark where the player turns it.
    QString size = file.resolution;
    if (file.width > 0 && file.height > 0)
        size = u"%1x%2"_s.arg(file.shownWidth()).arg(file.shownHeight());
    if (file.rotation != 0)
        size += u" ↻"_s;
    // "8bit" as "8 bit", apart from the pixel format.
    QString depth = file.bitDepth;
    if (depth.size() > 3 && depth.endsWith(u"bit"_s) && depth.at(depth.size() - 4).isDigit())
        depth.insert(depth.size() - 3, u' ');
    const CardItem alpha =
        file.hasAlpha ? CardItem{u"Alpha"_s, CardItem::Tone::Blue} : CardItem{u"无Alpha"_s};
    const QString audio =
        file.audioStreams > 0 ? u"%1 条音轨"_s.arg(file.audioStreams) : u"无音频"_s;
    return {{size},
            {file.frameRate + u" fps"_s},
            {shortCodecName(file.codec)},
            {bitrateText(file)},
            {depth + u" · "_s + file.colorFormat},
            alpha,
            {audio}};
}

QString cardFooter(const VideoFile &file)
{
    return clockText(file.duration) + u" • "_s + sizeText(file.size);
}

QString cardToolTip(const VideoFile &file)
{
    QStringList properties;
    for (const CardItem &item : cardItems(file))
        properties << item.text;
    QStringList lines{file.url.toDisplayString(QUrl::PreferLocalFile),
                      properties.join(u" • "_s) + u" • "_s + cardFooter(file),
                      u"编码: "_s + file.codec};
    if (file.rotation != 0)
        lines << u"播放时旋转 %1°，尺寸按显示的方向"_s.arg(file.rotation);
    return lines.join(u'\n');
}

QList<QPoint> flowItems(const QList<int> &widths, int width, int gap)
{
    QList<QPoint> places;
    places.reserve(widths.size());
    int x = 0;
    int line = 0;
    for (const int itemWidth : widths) {
        if (x > 0 && x + gap + itemWidth > width) {
            x = 0;
            ++line;
        }
        if (x > 0)
            x += gap;
        places << QPoint(x, line);
        x += itemWidth;
    }
    return places;
}

int flowLineCount(const QList<int> &widths, int width, int gap)
{
    return widths.isEmpty() ? 0 : flowItems(widths, width, gap).last().y() + 1;
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
    case JobRecord::Status::Done: {
        QString text = u"✓ 已完成 · "_s + sizeText(job.outcome.outputSize);
        // The picture's size where it is not the one chosen: fitted, or never enlarged.
        const VideoFile &result = job.outcome.result;
        const QSize shown(result.shownWidth(), result.shownHeight());
        if (!shown.isEmpty() && !job.chosenSize.isEmpty() && shown != job.chosenSize)
            text += u" · → %1x%2"_s.arg(shown.width()).arg(shown.height());
        return CardStatus{text, CardStatus::Tone::Good, std::nullopt};
    }
    case JobRecord::Status::Failed:
        return CardStatus{u"✗ 失败"_s, CardStatus::Tone::Bad, std::nullopt};
    case JobRecord::Status::Skipped:
        return CardStatus{u"已跳过"_s, CardStatus::Tone::Neutral, std::nullopt};
    case JobRecord::Status::Cancelled:
        return CardStatus{u"已取消"_s, CardStatus::Tone::Neutral, std::nullopt};
    }
    return std::nullopt;
}
