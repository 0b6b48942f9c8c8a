// quillmere-probe: describes media files the way `ffprobe -v quiet -print_format json
// -show_format -show_streams FILE` does, for many files in one process.
//
// Each line on standard input names one file, its bytes percent-encoded so that any name fits
// on a line. Each gets one line back: a JSON document, compact, with the fields of ffprobe's
// that Quillmere reads, computed the way ffprobe computes them. A file that cannot be opened
// gets "{}", as ffprobe prints then. Standard input ending ends the program.
#include "ProbeJson.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The raw bytes of a request line; nothing for a broken escape or a NUL, which no path holds.
std::optional<std::string> percentDecoded(const char *text, size_t length)
{
    std::string bytes;
    bytes.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        if (text[i] != '%') {
            bytes += text[i];
            continue;
        }
        if (i + 2 >= length)
            return std::nullopt;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
    }
    if (bytes.find('\0') != std::string::npos)
        return std::nullopt;
    return bytes;
}

} // namespace

int main()
{
    av_log_set_level(AV_LOG_QUIET);
    char *line = nullptr;
    size_t capacity = 0;
    ssize_t length = 0;
    while ((length = ::getline(&line, &capacity, stdin)) >= 0) {
        if (length > 0 && line[length - 1] == '\n')
            --length;
        const std::optional<std::string> path = percentDecoded(line, static_cast<size_t>(length));
        std::string answer = path ? describeMedia(*path) : std::string("{}");
        answer += '\n';
        if (std::fwrite(answer.data(), 1, answer.size(), stdout) != answer.size() ||
            std::fflush(stdout) != 0)
            break; // nobody listens any more
    }
    std::free(line);
    return 0;
}
