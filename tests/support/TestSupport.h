#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

class TranscodeViewModel;

// Helpers shared by the test suites: media made with the real ffmpeg, fake tools for what the
// real ones cannot be made to do, and a capture of the trace.
namespace TestSupport {

// Runs the real ffmpeg with `arguments` (quiet, overwriting) and fails the process loudly if
// it does not succeed, so a broken fixture is never mistaken for a broken program.
void runFFmpeg(const QStringList &arguments);

// A short test-pattern clip: `extra` goes between the input and the output path.
QString makeClip(const QString &path, const QStringList &extra = {},
                 const QString &size = QStringLiteral("160x120"),
                 const QString &rate = QStringLiteral("25"), double seconds = 0.2);

// Writes an executable shell script `name` into `dir` and returns its path.
QString writeTool(const QDir &dir, const QString &name, const QByteArray &body);

// Writes `bytes` to `path`, creating folders as needed.
void writeFile(const QString &path, const QByteArray &bytes);

// Collects the model's trace instead of printing it.
class TraceCapture
{
public:
    explicit TraceCapture(TranscodeViewModel &model);
    const QStringList &lines() const { return m_lines; }
    QString text() const { return m_lines.join(u'\n'); }
    int count(const QString &line) const { return static_cast<int>(m_lines.count(line)); }
    void clear() { m_lines.clear(); }

private:
    QStringList m_lines;
};

} // namespace TestSupport
