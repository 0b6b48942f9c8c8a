#include "ProbeJson.h"

#include "probe/IndirectFormats.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avstring.h>
#include <libavutil/avutil.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace {

// Writes compact JSON, escaping strings as ffprobe's JSON writer does.
class JsonWriter
{
public:
    void open(const char *key, char bracket)
    {
        name(key);
        m_text += bracket;
        m_first = true;
    }
    void close(char bracket)
    {
        m_text += bracket;
        m_first = false;
    }
    void string(const char *key, const char *value)
    {
        name(key);
        quoted(value);
    }
    void integer(const char *key, long long value)
    {
        name(key);
        m_text += std::to_string(value);
    }
    std::string take() { return std::move(m_text); }

private:
    // A key inside an object, or nothing for an element of an array.
    void name(const char *key)
    {
        if (!m_first)
            m_text += ',';
        m_first = false;
        if (key) {
            quoted(key);
            m_text += ':';
        }
    }
    void quoted(const char *text)
    {
        static constexpr std::string_view special = "\"\\\b\f\n\r\t";
        static constexpr std::string_view written = "\"\\bfnrt";
        m_text += '"';
        for (const char *p = text; *p; ++p) {
            const auto c = static_cast<unsigned char>(*p);
            if (const size_t which = special.find(*p); which != std::string_view::npos) {
                m_text += '\\';
                m_text += written[which];
            } else if (c < 32) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u00%02x", c);
                m_text += escaped;
            } else {
                m_text += *p;
            }
        }
        m_text += '"';
    }

    std::string m_text;
    bool m_first = true;
};

// Tags may hold any bytes; like ffprobe, put U+FFFD for each sequence that is not UTF-8.
std::string validUtf8(const char *text)
{
    std::string valid;
    const auto *p = reinterpret_cast<const uint8_t *>(text);
    const uint8_t *end = p + std::strlen(text);
    while (*p) {
        const uint8_t *start = p;
        int32_t code = 0;
        if (av_utf8_decode(&code, &p, end, 0) >= 0)
            valid.append(reinterpret_cast<const char *>(start), static_cast<size_t>(p - start));
        else
            valid += "\xEF\xBF\xBD";
    }
    return valid;
}

// ffprobe prints the display matrix's angle as an integer, converted the way x86 converts a
// double: what does not fit (NaN included) becomes the smallest integer.
long long degreesAsInteger(double degrees)
{
    if (!(degrees > -9223372036854775808.0 && degrees < 9223372036854775808.0))
        return INT64_MIN;
    return static_cast<long long>(degrees);
}

std::string rational(AVRational q, char separator = '/')
{
    return std::to_string(q.num) + separator + std::to_string(q.den);
}

// Seconds as ffprobe writes a time: "%f"; nothing where the time is not known.
void seconds(JsonWriter &json, const char *key, int64_t ts, AVRational timeBase)
{
    if (ts == AV_NOPTS_VALUE)
        return;
    char text[128];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(ts) * av_q2d(timeBase));
    json.string(key, text);
}

void optionalName(JsonWriter &json, const char *key, const char *name, bool unspecified)
{
    if (name && !unspecified)
        json.string(key, name);
}

void tags(JsonWriter &json, const AVDictionary *metadata)
{
    if (!metadata)
        return;
    json.open("tags", '{');
    const AVDictionaryEntry *tag = nullptr;
    while ((tag = av_dict_get(metadata, "", tag, AV_DICT_IGNORE_SUFFIX)))
        json.string(validUtf8(tag->key).c_str(), validUtf8(tag->value).c_str());
    json.close('}');
}

// Every demuxer but those that only point at other files, for "format_whitelist".
const std::string &mediaDemuxers()
{
    static const std::string names = [] {
        std::string list;
        void *state = nullptr;
        while (const AVInputFormat *demuxer = av_demuxer_iterate(&state)) {
            if (isIndirectFormat(demuxer->name))
                continue;
            if (!list.empty())
                list += ',';
            list += demuxer->name;
        }
        return list;
    }();
    return names;
}

// The demuxer that would read `path`, when it is one that only points at other files.
const char *indirectFormatOf(const char *path)
{
    AVIOContext *io = nullptr;
    if (avio_open(&io, path, AVIO_FLAG_READ) < 0)
        return nullptr;
    const AVInputFormat *format = nullptr;
    const int probed = av_probe_input_buffer2(io, &format, path, nullptr, 0, 0);
    avio_closep(&io);
    return probed >= 0 && format && isIndirectFormat(format->name) ? format->name : nullptr;
}

struct FormatCloser
{
    void operator()(AVFormatContext *format) const { avformat_close_input(&format); }
};
struct DecoderFreer
{
    void operator()(AVCodecContext *decoder) const { avcodec_free_context(&decoder); }
};
using Format = std::unique_ptr<AVFormatContext, FormatCloser>;
using Decoder = std::unique_ptr<AVCodecContext, DecoderFreer>;

// The decoder ffprobe binds to a stream, whose bit depth it prints; none where it has none.
// False where ffprobe would give up on the whole file.
bool openDecoder(const AVStream *stream, Decoder &decoder)
{
    if (stream->codecpar->codec_id == AV_CODEC_ID_PROBE)
        return true;
    const AVCodec *codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec)
        return true;
    decoder.reset(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0)
        return false;
    decoder->pkt_timebase = stream->time_base;
    return avcodec_open2(decoder.get(), codec, nullptr) >= 0;
}

void writeStream(JsonWriter &json, AVFormatContext *format, AVStream *stream,
                 const AVCodecContext *decoder)
{
    const AVCodecParameters *codec = stream->codecpar;
    json.open(nullptr, '{');
    json.integer("index", stream->index);
    if (const AVCodecDescriptor *descriptor = avcodec_descriptor_get(codec->codec_id)) {
        json.string("codec_name", descriptor->name);
        json.string("codec_long_name", descriptor->long_name ? descriptor->long_name : "unknown");
    }
    if (const char *profile = avcodec_profile_name(codec->codec_id, codec->profile))
        json.string("profile", profile);
    else if (codec->profile != FF_PROFILE_UNKNOWN)
        json.string("profile", std::to_string(codec->profile).c_str());
    if (const char *type = av_get_media_type_string(codec->codec_type))
        json.string("codec_type", type);
    char tag[AV_FOURCC_MAX_STRING_SIZE] = {};
    json.string("codec_tag_string", av_fourcc_make_string(tag, codec->codec_tag));
    if (codec->codec_type == AVMEDIA_TYPE_VIDEO) {
        json.integer("width", codec->width);
        json.integer("height", codec->height);
        if (const AVRational sar = av_guess_sample_aspect_ratio(format, stream, nullptr); sar.num)
            json.string("sample_aspect_ratio", rational(sar, ':').c_str());
        if (const char *pixels = av_get_pix_fmt_name(static_cast<AVPixelFormat>(codec->format)))
            json.string("pix_fmt", pixels);
        optionalName(json, "color_range", av_color_range_name(codec->color_range),
                     codec->color_range == AVCOL_RANGE_UNSPECIFIED);
        optionalName(json, "color_space", av_color_space_name(codec->color_space),
                     codec->color_space == AVCOL_SPC_UNSPECIFIED);
        optionalName(json, "color_transfer", av_color_transfer_name(codec->color_trc),
                     codec->color_trc == AVCOL_TRC_UNSPECIFIED);
        optionalName(json, "color_primaries", av_color_primaries_name(codec->color_primaries),
                     codec->color_primaries == AVCOL_PRI_UNSPECIFIED);
    }
    if (codec->codec_type == AVMEDIA_TYPE_AUDIO) {
        json.integer("channels", codec->ch_layout.nb_channels);
        if (codec->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC) {
            char layout[128];
            av_channel_layout_describe(&codec->ch_layout, layout, sizeof layout);
            json.string("channel_layout", layout);
        }
    }
    json.string("r_frame_rate", rational(stream->r_frame_rate).c_str());
    json.string("avg_frame_rate", rational(stream->avg_frame_rate).c_str());
    seconds(json, "start_time", stream->start_time, stream->time_base);
    seconds(json, "duration", stream->duration, stream->time_base);
    if (codec->bit_rate > 0)
        json.string("bit_rate", std::to_string(codec->bit_rate).c_str());
    if (stream->nb_frames)
        json.string("nb_frames", std::to_string(stream->nb_frames).c_str());
    if (decoder && decoder->bits_per_raw_sample > 0)
        json.string("bits_per_raw_sample", std::to_string(decoder->bits_per_raw_sample).c_str());
    tags(json, stream->metadata);
    if (stream->nb_side_data > 0) {
        json.open("side_data_list", '[');
        for (int i = 0; i < stream->nb_side_data; ++i) {
            const AVPacketSideData &data = stream->side_data[i];
            const char *name = av_packet_side_data_name(data.type);
            json.open(nullptr, '{');
            json.string("side_data_type", name ? name : "unknown");
            if (data.type == AV_PKT_DATA_DISPLAYMATRIX && data.size >= 9 * 4) {
                const double degrees =
                    av_display_rotation_get(reinterpret_cast<const int32_t *>(data.data));
                json.integer("rotation", degreesAsInteger(degrees));
            }
            json.close('}');
        }
        json.close(']');
    }
    json.close('}');
}

void writeFormat(JsonWriter &json, const AVFormatContext *format)
{
    json.open("format", '{');
    json.integer("nb_streams", format->nb_streams);
    json.string("format_name", format->iformat->name);
    seconds(json, "start_time", format->start_time, AV_TIME_BASE_Q);
    if (format->duration != AV_NOPTS_VALUE) {
        char seconds[128];
        std::snprintf(seconds, sizeof seconds, "%f",
                      static_cast<double>(format->duration) * av_q2d(AV_TIME_BASE_Q));
        json.string("duration", seconds);
    }
    if (format->bit_rate > 0)
        json.string("bit_rate", std::to_string(format->bit_rate).c_str());
    tags(json, format->metadata);
    json.close('}');
}

} // namespace

std::string describeMedia(const std::string &path)
{
    AVFormatContext *opened = nullptr;
    AVDictionary *options = nullptr;
    av_dict_set(&options, "scan_all_pmts", "1", AV_DICT_DONT_OVERWRITE);
    // A playlist is never opened, so the files it names are never read.
    av_dict_set(&options, "format_whitelist", mediaDemuxers().c_str(), 0);
    const int status = avformat_open_input(&opened, path.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (status < 0) {
        if (const char *refused = indirectFormatOf(path.c_str())) {
            JsonWriter json;
            json.open(nullptr, '{');
            json.open("format", '{');
            json.string("format_name", refused);
            json.close('}');
            json.close('}');
            return json.take();
        }
        return "{}";
    }
    const Format format(opened);
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        return "{}";

    std::vector<Decoder> decoders(format->nb_streams);
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        // ffprobe stops there, having printed only the opening brace.
        if (!openDecoder(format->streams[i], decoders[i]))
            return "{";
    }

    JsonWriter json;
    json.open(nullptr, '{');
    json.open("streams", '[');
    for (unsigned i = 0; i < format->nb_streams; ++i)
        writeStream(json, format.get(), format->streams[i], decoders[i].get());
    json.close(']');
    writeFormat(json, format.get());
    json.close('}');
    return json.take();
}
