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
    void clear() { m_lines.clear(); }
    // The most specific line, without the "[libx264 @ 0x…] " it may start with; empty when
    // ffmpeg said nothing.
    QString reason() const;

private:
    QStringList m_lines;
};
