#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Keeps the last lines ffmpeg wrote to standard error and tells which says most about a
// failure: "height not divisible by 2 (720x405)" rather than "Conversion failed!".
class FFmpegDiagnosis
{
public:
    void add(const QByteArray &line);
    void clear()
    {
        m_lines.clear();
        m_noSpace = false;
    }
    // The most specific line, without the "[libx264 @ 0x…] " it may start with; empty when
    // ffmpeg said nothing.
    QString reason() const;
    // ffmpeg said, at any point, that the disk was full.
    bool sawNoSpace() const { return m_noSpace; }

    // The longest reason given, in characters: a line of a megabyte is no reason to read.
    static constexpr qsizetype LongestReason = 500;
    static QString shortened(const QString &text);

private:
    QStringList m_lines;
    bool m_noSpace = false;
};
