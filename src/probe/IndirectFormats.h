#pragma once

#include <array>
#include <string_view>

// Demuxers whose files only point at other files or streams: playlists, manifests, concat
// lists, session descriptions, image sequences. A file found to be one is not a video; opening
// it would pull the files it names into a conversion. Shared with quillmere-probe, which has
// no Qt.
inline constexpr std::array<std::string_view, 11> IndirectFormats{
    "hls",  "applehttp",         "dash", "concat", "imf", "image2", "sdp", "sap", "rtp",
    "rtsp", "webm_dash_manifest"};

// Whether ffmpeg's format name, a comma-separated list of names, is one of them.
constexpr bool isIndirectFormat(std::string_view formatName)
{
    while (!formatName.empty()) {
        const size_t comma = formatName.find(',');
        const std::string_view name = formatName.substr(0, comma);
        for (const std::string_view format : IndirectFormats) {
            if (name == format)
                return true;
        }
        if (comma == std::string_view::npos)
            break;
        formatName.remove_prefix(comma + 1);
    }
    return false;
}
