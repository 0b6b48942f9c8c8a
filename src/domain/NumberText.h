#pragma once

#include <QString>

#include <optional>

// Numbers read from external programs' text: the whole text must be the number, with no blanks
// and nothing after it.

// A signed decimal integer that fits 64 bits.
std::optional<qint64> parseWholeInteger(QStringView text);
// A finite decimal number, optionally with an exponent.
std::optional<double> parseWholeNumber(QStringView text);
