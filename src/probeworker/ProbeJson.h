#pragma once

#include <string>

// ffprobe's JSON description of the file at `path` (its streams and format), on one line.
std::string describeMedia(const std::string &path);
