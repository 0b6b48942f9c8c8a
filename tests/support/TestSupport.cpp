#include "TestSupport.h"

#include "probe/ProbeOutput.h"
#include "transcode/ResultMark.h"

#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/xattr.h>

namespace TestSupport {

namespace {

QString mediaFolder()
{
    static QTemporaryDir media;
    return media.path();
}

// What a suite replaces goes to a Trash of its own, never to that of whoever runs the tests.
[[maybe_unused]] const bool trashOfOurOwn = [] {
    static QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    return true;
}();

} // namespace

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

QString clip(Clip kind)
{
    static QHash<Clip, QString> made;
    if (made.contains(kind))
        return made.value(kind);
    const QDir dir(mediaFolder());
    const auto source = [](const QString &size, const QString &filters = QString()) {
        return QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                           QStringLiteral("testsrc2=size=%1:rate=25").arg(size) + filters};
    };
    const QStringList sine{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                           QStringLiteral("sine")};
    const QStringList short_{QStringLiteral("-t"), QStringLiteral("0.4")};
    const QStringList h264 = QStringLiteral("-c:v libx264 -pix_fmt yuv420p").split(u' ');
    QString path;
    switch (kind) {
    case Clip::Plain:
        path = dir.filePath(QStringLiteral("plain.mp4"));
        runFFmpeg(source(QStringLiteral("160x120")) + sine + short_ + h264 +
                  QStringList{QStringLiteral("-c:a"), QStringLiteral("aac"), path});
        break;
    case Clip::Odd:
        path = dir.filePath(QStringLiteral("odd.mpg"));
        runFFmpeg(
            source(QStringLiteral("162x92"), QStringLiteral(",format=rgb24,crop=161:91:0:0")) +
                sine + short_ +
                QStringLiteral("-c:v mpeg2video -pix_fmt yuv420p -c:a mp2").split(u' ')
            << path);
        break;
    case Clip::TenBit:
        path = dir.filePath(QStringLiteral("ten bit.mkv"));
        runFFmpeg(
            source(QStringLiteral("160x120")) + sine + short_ +
                QStringLiteral("-c:v libx265 -pix_fmt yuv420p10le -x265-params log-level=none "
                               "-c:a aac")
                    .split(u' ')
            << path);
        break;
    case Clip::Alpha:
        path = dir.filePath(QStringLiteral("alpha.mov"));
        runFFmpeg(source(QStringLiteral("160x120"), QStringLiteral(",format=yuva444p10le")) +
                  short_ +
                  QStringList{QStringLiteral("-c:v"), QStringLiteral("prores_ks"),
                              QStringLiteral("-profile:v"), QStringLiteral("4"),
                              QStringLiteral("-pix_fmt"), QStringLiteral("yuva444p10le"),
                              QStringLiteral("-metadata:s:v:0"),
                              QStringLiteral("encoder=Apple ProRes 4444"), path});
        break;
    case Clip::Yuv444:
        path = dir.filePath(QStringLiteral("444.mp4"));
        runFFmpeg(source(QStringLiteral("160x120")) + short_ +
                      QStringLiteral("-c:v libx264 -pix_fmt yuv444p").split(u' ')
                  << path);
        break;
    case Clip::TwoAudio: {
        path = dir.filePath(QStringLiteral("two audio.mkv"));
        const QString subtitles = dir.filePath(QStringLiteral("s.srt"));
        writeFile(subtitles, "1\n00:00:00,000 --> 00:00:00,300\nhello\n");
        runFFmpeg(source(QStringLiteral("160x120")) + sine +
                      QStringLiteral("-f lavfi -i sine=frequency=800 -i").split(u' ') +
                      QStringList{subtitles} + short_ +
                      QStringLiteral("-map 0 -map 1 -map 2 -map 3 -c:v libx264 -pix_fmt yuv420p "
                                     "-c:a aac -c:s srt")
                          .split(u' ')
                  << path);
        break;
    }
    case Clip::NoAudio:
        path = dir.filePath(QStringLiteral("silent.mp4"));
        runFFmpeg(source(QStringLiteral("160x120")) + short_ + h264 << path);
        break;
    case Clip::Rotated: {
        path = dir.filePath(QStringLiteral("rotated.mp4"));
        const QString upright = dir.filePath(QStringLiteral("upright.mp4"));
        runFFmpeg(
            source(QStringLiteral("160x92"), QStringLiteral(",format=rgb24,crop=160:91:0:0")) +
                short_ + QStringLiteral("-c:v mpeg4 -pix_fmt yuv420p").split(u' ')
            << upright);
        runFFmpeg(QStringList{QStringLiteral("-i"), upright} +
                      QStringLiteral("-c copy -metadata:s:v:0 rotate=270").split(u' ')

                  << path);
        break;
    }
    case Clip::Vp9:
        path = dir.filePath(QStringLiteral("vp9.webm"));
        runFFmpeg(source(QStringLiteral("160x120")) + sine + short_ +
                      QStringLiteral("-c:v libvpx-vp9 -deadline realtime -c:a libopus").split(u' ')
                  << path);
        break;
    case Clip::Truncated: {
        path = dir.filePath(QStringLiteral("truncated.mp4"));
        const QString whole = dir.filePath(QStringLiteral("whole.mp4"));
        runFFmpeg(
            source(QStringLiteral("160x120")) + sine +
                QStringLiteral("-t 4 -c:v libx264 -pix_fmt yuv420p -c:a aac -movflags +faststart")
                    .split(u' ')
            << whole);
        const QByteArray bytes = contents(whole);
        writeFile(path, bytes.left(bytes.size() * 4 / 10));
        break;
    }
    case Clip::Square43:
        path = dir.filePath(QStringLiteral("square 4x3.mp4"));
        runFFmpeg(source(QStringLiteral("1440x1080")) +
                      QStringLiteral("-frames:v 3 -c:v libx264 -preset ultrafast -pix_fmt yuv420p")
                          .split(u' ')
                  << path);
        break;
    case Clip::NoShape:
        path = dir.filePath(QStringLiteral("no shape.avi"));
        runFFmpeg(source(QStringLiteral("320x240"), QStringLiteral(",setsar=0")) +
                      QStringLiteral("-frames:v 3 -c:v msmpeg4v2").split(u' ')
                  << path);
        break;
    case Clip::Anamorphic:
        path = dir.filePath(QStringLiteral("anamorphic.mp4"));
        runFFmpeg(source(QStringLiteral("720x480"), QStringLiteral(",setsar=10/11")) +
                      QStringLiteral("-frames:v 3 -c:v libx264 -preset ultrafast -pix_fmt yuv420p")
                          .split(u' ')
                  << path);
        break;
    case Clip::Portrait: {
        path = dir.filePath(QStringLiteral("portrait.mp4"));
        const QString stored = dir.filePath(QStringLiteral("landscape.mp4"));
        runFFmpeg(source(QStringLiteral("1280x720")) +
                      QStringLiteral("-frames:v 3 -c:v libx264 -preset ultrafast -pix_fmt yuv420p")
                          .split(u' ')
                  << stored);
        runFFmpeg(QStringList{QStringLiteral("-i"), stored} +
                      QStringLiteral("-c copy -metadata:s:v:0 rotate=90").split(u' ')
                  << path);
        break;
    }
    case Clip::Variable:
        path = dir.filePath(QStringLiteral("variable.mp4"));
        runFFmpeg(
            source(QStringLiteral("160x120"), QStringLiteral(",setpts='(N+2*floor(N/4))/25/TB'")) +
            sine + short_ + h264 +
            QStringList{QStringLiteral("-fps_mode"), QStringLiteral("vfr"), QStringLiteral("-c:a"),
                        QStringLiteral("aac"), path});
        break;
    case Clip::Gaps:
        path = dir.filePath(QStringLiteral("gaps.avi"));
        runFFmpeg(
            source(QStringLiteral("160x120"), QStringLiteral(",select='not(between(n,5,8))'")) +
                QStringLiteral("-frames:v 11 -fps_mode passthrough -c:v mpeg4").split(u' ')
            << path);
        break;
    case Clip::Tagged: {
        path = dir.filePath(QStringLiteral("tagged.mov"));
        const QString chapters = dir.filePath(QStringLiteral("chapters.txt"));
        writeFile(chapters, ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/10\nSTART=0\nEND=2\ntitle=One\n"
                            "[CHAPTER]\nTIMEBASE=1/10\nSTART=2\nEND=4\ntitle=Two\n");
        runFFmpeg(
            source(QStringLiteral("160x120")) +
            QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                        QStringLiteral("sine,aformat=channel_layouts=5.1"), QStringLiteral("-i"),
                        chapters} +
            short_ +
            QStringLiteral("-map 0 -map 1 -map_chapters 2 -c:v libx264 -pix_fmt yuv420p "
                           "-color_primaries bt709 -color_trc bt709 -colorspace bt709 "
                           "-c:a aac -timecode 01:00:00:00 -movflags use_metadata_tags "
                           "-metadata creation_time=2020-01-02T03:04:05Z -metadata make=Canon")
                .split(u' ') +
            QStringList{QStringLiteral("-metadata"), QStringLiteral("model=EOS R5"), path});
        break;
    }
    case Clip::Streamed:
        path = dir.filePath(QStringLiteral("streamed.mkv"));
        runFFmpeg(
            source(QStringLiteral("160x120")) + sine +
                QStringLiteral("-t 2 -c:v libx264 -pix_fmt yuv420p -c:a aac -f matroska -live 1")
                    .split(u' ')
            << path);
        break;
    case Clip::Packed:
        path = dir.filePath(QStringLiteral("packed.avi"));
        runFFmpeg(source(QStringLiteral("160x120")) + short_ +
                      QStringLiteral("-c:v libxvid -bf 2").split(u' ')
                  << path);
        break;
    case Clip::Film:
        path = dir.filePath(QStringLiteral("film.mkv"));
        runFFmpeg(QStringLiteral("-f lavfi -i testsrc2=size=160x120:rate=24000/1001 -f lavfi -i "
                                 "sine=sample_rate=48000")
                      .split(u' ') +
                  short_ + h264 + QStringList{QStringLiteral("-c:a"), QStringLiteral("aac"), path});
        break;
    case Clip::FullRange:
        path = dir.filePath(QStringLiteral("full range.avi"));
        runFFmpeg(source(QStringLiteral("160x120")) + short_ +
                      QStringLiteral("-c:v mjpeg -pix_fmt yuvj420p").split(u' ')
                  << path);
        break;
    case Clip::LowRate:
        path = dir.filePath(QStringLiteral("low rate.mkv"));
        runFFmpeg(source(QStringLiteral("320x240")) + sine +
                      QStringLiteral("-t 1 -c:v libx264 -preset ultrafast -b:v 100k -c:a libopus "
                                     "-b:a 24k")
                          .split(u' ')
                  << path);
        break;
    case Clip::Playlist:
        path = dir.filePath(QStringLiteral("playlist.mp4"));
        runFFmpeg(QStringList{QStringLiteral("-i"), clip(Clip::Plain), QStringLiteral("-c"),
                              QStringLiteral("copy"), dir.filePath(QStringLiteral("segment.ts"))});
        writeFile(path, "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:0.4,\nsegment.ts\n"
                        "#EXT-X-ENDLIST\n");
        break;
    }
    made.insert(kind, path);
    return path;
}

QString copyTo(const QString &source, const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile::remove(path);
    if (!QFile::copy(source, path))
        qFatal("test fixture: cannot copy to %s", qPrintable(path));
    // Dated a minute back, as a file that nobody is writing: a run waits for a fresh one.
    const QDateTime settled = QDateTime::currentDateTime().addSecs(-60);
    QFile copy(path);
    if (!copy.open(QIODevice::ReadWrite) ||
        !copy.setFileTime(settled, QFileDevice::FileModificationTime))
        qFatal("test fixture: cannot date %s", qPrintable(path));
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

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList filesBelow(const QString &root)
{
    QStringList found;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(root).relativeFilePath(it.next());
    found.sort();
    return found;
}

QString fakeFFmpeg(const QDir &dir)
{
    return writeTool(dir, QStringLiteral("ffmpeg"), R"SH(
dir=$(dirname "$0")
# Files the run hands over open are noted, and matched, by the names they have now.
words= previous=
for argument; do
    last=$argument
    case $argument in /proc/self/fd/*) argument=$(readlink "$argument") ;; esac
    [ "$previous" = -i ] && input=$argument given=$last
    words="$words${words:+ }$argument" previous=$argument
done
printf '%s\n' "$words" >> "$dir/calls"
case "$words" in
*"-c copy -f null"*)
    real=$(command -v ffmpeg)
    [ "$real" -ef "$0" ] || exec "$real" "$@"
    exit 1 ;;
*"-f null -"*)
    [ -e "$dir/hang_tests" ] && echo $$ > "$dir/test_pid" && exec sleep 60
    encoder=$(printf '%s' "$words" | sed 's/.*-c:v \([^ ]*\).*/\1/')
    grep -qx -- "$encoder" "$dir/encoders_ok" 2>/dev/null && exit 0
    echo "Unknown encoder '$encoder'" >&2
    exit 1 ;;
*"-h encoder=libx265"*)
    cat "$dir/x265_help" 2>/dev/null
    exit 0 ;;
esac
[ -e "$dir/progress" ] && cat "$dir/progress"
[ -e "$dir/stderr" ] && cat "$dir/stderr" >&2
if [ -e "$dir/fail_for" ] && printf '%s' "$words" | grep -qF -f "$dir/fail_for"; then
    exit "$(cat "$dir/status")"
fi
[ -e "$dir/meanwhile" ] && . "$dir/meanwhile"
if [ -e "$dir/result" ]; then cat "$dir/result" > "$last"; else printf converted > "$last"; fi
[ -e "$dir/hang" ] && echo $$ > "$dir/pid" && exec sleep 30
exit 0
)SH");
}

QStringList fakeCalls(const QDir &dir)
{
    return QString::fromUtf8(contents(dir.filePath(QStringLiteral("calls"))))
        .split(u'\n', Qt::SkipEmptyParts);
}

EnvironmentGuard::EnvironmentGuard(const char *name, const QByteArray &value)
    : m_name(name)
{
    if (qEnvironmentVariableIsSet(name))
        m_old = qgetenv(name);
    if (value.isNull())
        qunsetenv(name);
    else
        qputenv(name, value);
}

EnvironmentGuard::~EnvironmentGuard()
{
    if (m_old)
        qputenv(m_name, *m_old);
    else
        qunsetenv(m_name);
}

VideoFile probed(const QString &path)
{
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"), probeArguments(path));
    ffprobe.waitForFinished(30000);
    const ProbeOutcome outcome = interpretProbeOutput(ffprobe.readAllStandardOutput(),
                                                      QUrl::fromLocalFile(path), fileFactsAt(path));
    return outcome.file.value_or(VideoFile());
}

void markAsResultOf(const QString &result, const QString &source)
{
    const QByteArray mark = ResultMark::sourceMarkOf(probed(source), source);
    if (::setxattr(QFile::encodeName(result).constData(), "user.quillmere.source", mark.constData(),
                   static_cast<size_t>(mark.size()), 0) != 0)
        qFatal("test fixture: cannot mark %s", qPrintable(result));
}

const FileOutcome &EngineRun::only() const
{
    if (outcomes.size() != 1)
        qFatal("expected one file, the run had %d", static_cast<int>(outcomes.size()));
    return outcomes.first();
}

EngineRun runEngine(const TranscodeSettings &settings, const QList<VideoFile> &files,
                    const RunOptions &options, const QString &resources)
{
    EngineRun run;
    RunContext context{ToolLocator(resources), [&run](const QString &line) { run.trace << line; }};
    BatchTranscoder engine(context);
    QObject::connect(&engine, &BatchTranscoder::runStarted,
                     [&run](const RunPlan &plan) { run.plan = plan; });
    QObject::connect(&engine, &BatchTranscoder::jobChanged, [&run](const JobRecord &record) {
        run.records << record;
        if (record.status == JobRecord::Status::Converting && record.fraction > 0)
            run.fileProgress << record.fraction;
        if (record.hasEnded())
            run.outcomes << record.outcome;
    });
    QObject::connect(&engine, &BatchTranscoder::notice,
                     [&run](const QString &text) { run.notices << text; });
    QObject::connect(&engine, &BatchTranscoder::logText,
                     [&run](const QString &text) { run.log += text; });
    QSignalSpy finished(&engine, &BatchTranscoder::runFinished);
    engine.start(settings, files, options);
    if (!finished.wait(120000))
        qFatal("the run did not end");
    run.summary = finished.first().first().value<RunSummary>();
    return run;
}

} // namespace TestSupport
