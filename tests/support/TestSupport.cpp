#include "TestSupport.h"

#include "model/TranscodeViewModel.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace TestSupport {

void runFFmpeg(const QStringList &arguments)
{
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 QStringList{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                             QStringLiteral("-nostdin")} +
                     arguments);
    if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitStatus() != QProcess::NormalExit ||
        ffmpeg.exitCode() != 0)
        qFatal("test fixture: ffmpeg %s failed", qPrintable(arguments.join(u' ')));
}

QString makeClip(const QString &path, const QStringList &extra, const QString &size,
                 const QString &rate, double seconds)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    runFFmpeg(QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                          QStringLiteral("testsrc2=size=%1:rate=%2").arg(size, rate),
                          QStringLiteral("-t"), QString::number(seconds)} +
              extra + QStringList{path});
    return path;
}

QString writeTool(const QDir &dir, const QString &name, const QByteArray &body)
{
    const QString path = dir.filePath(name);
    writeFile(path, "#!/bin/sh\n" + body);
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
    return path;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("test fixture: cannot write %s", qPrintable(path));
}

TraceCapture::TraceCapture(TranscodeViewModel &model)
{
    model.setTraceWriter([this](const QString &line) { m_lines << line; });
}

} // namespace TestSupport
