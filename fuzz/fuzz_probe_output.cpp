// ffprobe's JSON for one file, read into a record as the probe does it, the plan of a
// conversion of that record, and the record judged as that plan's output.

#include "domain/Choices.h"
#include "probe/ProbeOutput.h"
#include "transcode/OutputCheck.h"
#include "transcode/RunPlan.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstddef>
#include <cstdint>

namespace {

// The size comes from the file system, not from ffprobe, so it is never negative; a hash of the
// input spreads it over every magnitude without taking bytes away from the JSON.
qint64 fileSizeFor(const uint8_t *data, size_t size)
{
    quint64 hash = 14695981039346656037ULL; // FNV-1a
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 1099511628211ULL;
    return static_cast<qint64>((hash >> 1) >> (hash % 63));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray output(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    static const QUrl url = QUrl::fromLocalFile(QStringLiteral("/videos/clip 1.mp4"));
    const quint64 hash = static_cast<quint64>(fileSizeFor(data, size));
    const ProbeOutcome outcome = interpretProbeOutput(output, url, {fileSizeFor(data, size), {}});
    if (outcome.file) {
        // Whatever the record says, a plan comes out of it; the settings follow from the input.
        TranscodeSettings settings;
        settings.codec = Choices::codecs().at(static_cast<qsizetype>(hash % 7));
        settings.proResProfile = Choices::proResProfiles().at(static_cast<qsizetype>(hash / 7 % 6));
        settings.frameRate = Choices::frameRates().at(static_cast<qsizetype>(hash / 42 % 10));
        settings.enableAlpha = hash & 1024;
        settings.overwriteOriginal = hash & 2048;
        EncoderAnswers answers;
        answers.hevcAlphaEncoder = QStringLiteral("libx265");
        answers.encoders.insert(QStringLiteral("h264_videotoolbox"), QStringLiteral("h264_vaapi"));
        PlanEnvironment environment;
        environment.ffmpeg = QStringLiteral("ffmpeg");
        environment.uniqueName = [] { return QStringLiteral("T"); };
        const RunPlan plan = planRun(settings, {*outcome.file}, answers, environment);
        // And the record judged as an output of that plan.
        if (!plan.files.isEmpty())
            OutputCheck::problemWith(*outcome.file, plan.files.first().promise);
    }

    // The record reads only the first video stream; every stream's fields get read here.
    const QJsonDocument document = QJsonDocument::fromJson(output);
    const QJsonArray streams = document.object().value(u"streams").toArray();
    for (const QJsonValue &stream : streams) {
        const QJsonObject fields = stream.toObject();
        formatFrameRate(fields.value(u"r_frame_rate").toString());
        formatFrameRate(fields.value(u"avg_frame_rate").toString());
        bitDepthOf(fields.value(u"bits_per_raw_sample"), fields.value(u"pix_fmt").toString());
    }
    return 0;
}
