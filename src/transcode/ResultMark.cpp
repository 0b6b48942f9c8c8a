#include "transcode/ResultMark.h"

#include "transcode/FFmpegArguments.h"
#include "transcode/OutputNaming.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace ResultMark {

namespace {

constexpr char SettingsAttribute[] = "user.quillmere.settings";
constexpr char UnfinishedAttribute[] = "user.quillmere.partial";
constexpr char SourceAttribute[] = "user.quillmere.source";

// The settings, and the size and date the file had when it was marked.
QByteArray markOf(int descriptor, const QString &settings)
{
    struct stat status;
    if (::fstat(descriptor, &status) != 0)
        return {};
    return settings.toUtf8() + '\n' + QByteArray::number(static_cast<qint64>(status.st_size)) +
           ' ' + QByteArray::number(static_cast<qint64>(status.st_mtim.tv_sec)) + '.' +
           QByteArray::number(static_cast<qint64>(status.st_mtim.tv_nsec));
}

} // namespace

QString settingsText(const TranscodeSettings &settings)
{
    const Result<QStringList> arguments = buildFFmpegArguments(settings);
    if (!arguments)
        return {};
    return arguments->join(QLatin1Char(' ')) + QStringLiteral(" -f ") +
           OutputNaming::outputExtension(settings.codec, settings.container);
}

bool mark(int descriptor, const QString &settings)
{
    const QByteArray value = markOf(descriptor, settings);
    return !settings.isEmpty() && !value.isEmpty() &&
           ::fsetxattr(descriptor, SettingsAttribute, value.constData(),
                       static_cast<size_t>(value.size()), 0) == 0;
}

bool markUnfinished(int descriptor)
{
    return ::fsetxattr(descriptor, UnfinishedAttribute, "1", 1, 0) == 0;
}

bool isUnfinished(int descriptor)
{
    char value;
    return ::fgetxattr(descriptor, UnfinishedAttribute, &value, 1) == 1 && value == '1';
}

void clearUnfinished(int descriptor)
{
    ::fremovexattr(descriptor, UnfinishedAttribute);
}

bool isResult(const QString &path, const QString &settings)
{
    const int descriptor =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (descriptor < 0)
        return false;
    QByteArray value(4096, '\0');
    const ssize_t size =
        ::fgetxattr(descriptor, SettingsAttribute, value.data(), static_cast<size_t>(value.size()));
    const QByteArray expected = markOf(descriptor, settings);
    ::close(descriptor);
    return size > 0 && !settings.isEmpty() && value.left(size) == expected;
}

// "size seconds.nanoseconds", then the key on a line of its own: last, as it may hold anything.
QByteArray sourceMarkOf(const VideoFile &source, const QString &key)
{
    return QByteArray::number(source.size) + ' ' +
           QByteArray::number(source.modifiedTime / 1000000000) + '.' +
           QByteArray::number(source.modifiedTime % 1000000000) + '\n' + QFile::encodeName(key);
}

bool markSource(int descriptor, const QByteArray &mark)
{
    return ::fsetxattr(descriptor, SourceAttribute, mark.constData(),
                       static_cast<size_t>(mark.size()), 0) == 0;
}

std::optional<QByteArray> sourceMarkAt(const QString &path)
{
    QByteArray value(8192, '\0');
    const ssize_t size = ::lgetxattr(QFile::encodeName(path).constData(), SourceAttribute,
                                     value.data(), static_cast<size_t>(value.size()));
    if (size >= 0)
        return value.left(size);
    if (errno == ENOTSUP)
        return std::nullopt;
    return QByteArray();
}

} // namespace ResultMark
