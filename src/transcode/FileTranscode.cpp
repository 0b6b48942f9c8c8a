#include "transcode/FileTranscode.h"

#include "domain/FileUrls.h"
#include "process/CommandText.h"
#include "process/ProcessRunner.h"
#include "transcode/OutputCheck.h"
#include "transcode/OutputNaming.h"
#include "transcode/ResultMark.h"
#include "transcode/Trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

Error fileSystemError(int error)
{
    return Error{QStringLiteral("FileSystem"), error, systemErrorText(error)};
}

qint64 nanoseconds(const timespec &time)
{
    return static_cast<qint64>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

const QString &sourceChangedText()
{
    static const QString text = QStringLiteral("源文件在转码期间被修改");
    return text;
}

const QString &sourceGrowingText()
{
    static const QString text = QStringLiteral("源文件仍在写入");
    return text;
}

} // namespace

Leftover removeLeftover(int folder, const QByteArray &name)
{
    // Looked at before it is opened: a pipe or a device is not ours to open.
    struct stat status;
    if (::fstatat(folder, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(status.st_mode))
        return Leftover::Foreign;
    FileLock leftover;
    if (!leftover.takeAt(folder, name, FileLock::Mode::Exclusive))
        return leftover.wasBusy() ? Leftover::Busy : Leftover::Foreign;
    if (::fstat(leftover.descriptor(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_uid != ::geteuid() || status.st_nlink != 1 ||
        !ResultMark::isUnfinished(leftover.descriptor()) || !leftover.isAt(folder, name))
        return Leftover::Foreign;
    return ::unlinkat(folder, name.constData(), 0) == 0 ? Leftover::Removed : Leftover::Foreign;
}

QStringList removeLeftoverPartials(const QString &folder)
{
    QStringList removed;
    const Descriptor open = openFolder(AT_FDCWD, QFile::encodeName(folder), true);
    if (!open.isOpen())
        return removed;
    const QDir listing(folder, QStringLiteral(".*.partial"), QDir::Name,
                       QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : listing.entryList()) {
        if (removeLeftover(open.fd(), QFile::encodeName(name)) == Leftover::Removed)
            removed << listing.filePath(name);
    }
    return removed;
}

std::optional<QString> outputFolderProblem(const QString &folder)
{
    struct stat status;
    if (::lstat(QFile::encodeName(folder).constData(), &status) != 0 || !S_ISLNK(status.st_mode))
        return std::nullopt;
    if (status.st_uid == ::geteuid() || status.st_uid == 0)
        return std::nullopt;
    return QStringLiteral("输出文件夹“%1”是其他用户建立的链接，不会使用").arg(folder);
}

FileTranscode::FileTranscode(PlannedFile file, ToolLocator tools, TraceWriter trace,
                             QObject *parent)
    : QObject(parent)
    , m_file(std::move(file))
    , m_tools(std::move(tools))
    , m_trace(std::move(trace))
    , m_commands(m_file.commands)
    , m_encoder(m_file.encoder)
{
    m_settleTimer.setSingleShot(true);
    connect(&m_settleTimer, &QTimer::timeout, this, [this] {
        if (!sourceIsAsClaimed())
            return fail(Error{QStringLiteral("Source"), EBUSY, sourceGrowingText()},
                        sourceGrowingText());
        claimOutputAndRun();
    });
    m_checkTimer.setSingleShot(true);
    connect(&m_checkTimer, &QTimer::timeout, this, [this] {
        delete m_check;
        const QString text = QStringLiteral("检查转码结果超时");
        fail(Error{QStringLiteral("Verification"), ETIMEDOUT, text},
             text + (m_file.replacesSource ? QStringLiteral("；原文件未改动")
                                           : QStringLiteral("；转码结果未保留")));
    });
}

FileTranscode::~FileTranscode()
{
    // The children must be gone before their half-written files are removed.
    delete m_runner;
    delete m_check;
    removeLeftovers();
}

void FileTranscode::start()
{
    QTimer::singleShot(0, this, [this] {
        if (m_cancelling)
            return end(FileOutcome{FileOutcome::Status::Cancelled});
        if (claimSource() == Claim::Ready)
            claimOutputAndRun();
    });
}

void FileTranscode::cancel()
{
    if (m_over || m_cancelling)
        return;
    m_cancelling = true;
    if (m_runner && m_runner->isRunning()) {
        m_runner->stop(); // its end finishes the file
        return;
    }
    delete m_check;
    QTimer::singleShot(0, this, [this] { end(FileOutcome{FileOutcome::Status::Cancelled}); });
}

void FileTranscode::failInUse(const QString &path)
{
    const QString text =
        QStringLiteral("“%1”正在被另一个转码任务使用").arg(QFileInfo(path).fileName());
    fail(Error{QStringLiteral("FileLock"), EWOULDBLOCK, text}, text);
}

// Locks the source, and makes sure it is the file that was listed, as it was then, and that
// nobody is writing it: one written to a moment ago is looked at again a moment later.
FileTranscode::Claim FileTranscode::claimSource()
{
    const QString source = filePath(m_file.source.url);
    const auto mode = m_file.replacesSource ? FileLock::Mode::Exclusive : FileLock::Mode::Shared;
    if (!m_sourceLock.take(source, mode)) {
        if (m_sourceLock.wasBusy())
            failInUse(source);
        else
            fail(fileSystemError(m_sourceLock.systemError()),
                 QStringLiteral("无法读取源文件: ") + systemErrorText(m_sourceLock.systemError()));
        return Claim::Failed;
    }
    struct stat status;
    if (::fstat(m_sourceLock.descriptor(), &status) != 0) {
        fail(fileSystemError(errno), QStringLiteral("无法读取源文件: ") + systemErrorText(errno));
        return Claim::Failed;
    }
    struct stat link;
    if (m_file.replacesSource && ::lstat(QFile::encodeName(source).constData(), &link) == 0 &&
        S_ISLNK(link.st_mode)) {
        const QString text = QStringLiteral("“%1”是符号链接，不能替换").arg(source);
        fail(Error{QStringLiteral("Source"), ELOOP, text}, text);
        return Claim::Failed;
    }
    m_claimed =
        SourceState{static_cast<quint64>(status.st_dev), static_cast<quint64>(status.st_ino),
                    static_cast<qint64>(status.st_size), nanoseconds(status.st_mtim)};
    m_sourceMode = status.st_mode;
    m_sourceOwner = status.st_uid;
    m_sourceGroup = status.st_gid;

    timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    const qint64 settle = std::chrono::nanoseconds(SettleTime).count();
    const qint64 age = nanoseconds(now) - m_claimed.modified;
    const bool recent = age < settle;
    const VideoFile &listed = m_file.source;
    if (listed.fileKey.isValid()) {
        const bool replaced =
            listed.fileKey.device != m_claimed.device || listed.fileKey.inode != m_claimed.inode;
        const bool changed =
            listed.size != m_claimed.size ||
            (listed.modifiedTime != 0 && listed.modifiedTime != m_claimed.modified);
        if (replaced || changed) {
            const QString &text = !replaced && recent ? sourceGrowingText() : sourceChangedText();
            fail(Error{QStringLiteral("Source"), ESTALE, text}, text);
            return Claim::Failed;
        }
    }
    if (!recent)
        return Claim::Ready;
    // A date ahead of the clock waits no longer than a fresh one.
    m_settleTimer.start(
        std::chrono::milliseconds(std::clamp(settle - age, qint64(0), settle) / 1000000 + 1));
    return Claim::Waiting;
}

bool FileTranscode::sourceIsAsClaimed() const
{
    struct stat held;
    struct stat named;
    if (::fstat(m_sourceLock.descriptor(), &held) != 0 ||
        ::stat(QFile::encodeName(filePath(m_file.source.url)).constData(), &named) != 0)
        return false;
    return SourceState{static_cast<quint64>(held.st_dev), static_cast<quint64>(held.st_ino),
                       static_cast<qint64>(held.st_size), nanoseconds(held.st_mtim)} == m_claimed &&
           named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

void FileTranscode::claimOutputAndRun()
{
    if (claimOutput())
        runCommand(0);
}

// Makes the files this run writes, where nobody else has put anything first, and locks an
// output the result is to replace.
bool FileTranscode::claimOutput()
{
    const QString source = filePath(m_file.source.url);
    const QFileInfo output(m_file.outputPath);
    const QString folder = output.path();
    if (!m_file.replacesSource) {
        if (const std::optional<QString> problem = outputFolderProblem(folder)) {
            fail(Error{QStringLiteral("FileSystem"), EPERM, *problem}, *problem);
            return false;
        }
    }
    // Made here rather than at the start of the run: another run may have removed it.
    if (!QDir().mkpath(folder) ||
        !(m_folder = openFolder(AT_FDCWD, QFile::encodeName(folder), true)).isOpen()) {
        fail(fileSystemError(errno), QStringLiteral("无法创建输出文件夹“%1”").arg(folder));
        return false;
    }
    m_outputName = QFile::encodeName(output.fileName());
    struct stat existing;
    if (m_file.outputPath != source &&
        ::fstatat(m_folder.fd(), m_outputName.constData(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        // Never replaced but through the Trash, and only when the plan says so.
        if (!m_file.replacesOutput || !S_ISREG(existing.st_mode)) {
            const QString text =
                QStringLiteral("输出位置已有“%1”，不会覆盖它").arg(output.fileName());
            fail(Error{QStringLiteral("FileSystem"), EEXIST, text}, text);
            return false;
        }
        if (!m_outputLock.takeAt(m_folder.fd(), m_outputName, FileLock::Mode::Exclusive)) {
            if (m_outputLock.wasBusy())
                failInUse(m_file.outputPath);
            else
                fail(fileSystemError(m_outputLock.systemError()),
                     QStringLiteral("无法读取“%1”: %2")
                         .arg(m_file.outputPath, systemErrorText(m_outputLock.systemError())));
            return false;
        }
    } else if (m_file.outputPath != source) {
        m_file.replacesOutput = false; // gone meanwhile: nothing to replace
    }
    // Never more open than the source; the umask applies too. ffmpeg opens it anew, so it is
    // ours to write while it is made, also where the source is read-only (see keepSourceDate).
    const mode_t permissions = (m_sourceMode & 0066) | 0600;
    return createPartial(permissions) && createTemporaries(permissions);
}

// The planned partial name, made new; another where something else bears it. What a run of
// ours stopped by force left under it is ours to remove.
bool FileTranscode::createPartial(mode_t permissions)
{
    QString path = m_file.partialPath;
    for (int attempt = 0; attempt < 8; ++attempt) {
        auto partial = std::make_unique<OwnFile>();
        partial->folder = Descriptor(::fcntl(m_folder.fd(), F_DUPFD_CLOEXEC, 0));
        partial->name = QFile::encodeName(QFileInfo(path).fileName());
        if (partial->lock.takeAt(m_folder.fd(), partial->name, FileLock::Mode::Exclusive,
                                 permissions)) {
            ResultMark::markUnfinished(partial->lock.descriptor());
            partial->path = path;
            m_partial = partial.get();
            m_ownFiles.push_back(std::move(partial));
            usePartial(path);
            return true;
        }
        const int reason = partial->lock.systemError();
        if (reason != EEXIST) {
            fail(fileSystemError(reason),
                 QStringLiteral("无法写入“%1”: %2")
                     .arg(QFileInfo(path).path(), systemErrorText(reason)));
            return false;
        }
        switch (removeLeftover(m_folder.fd(), partial->name)) {
        case Leftover::Busy:
            failInUse(m_file.outputPath);
            return false;
        case Leftover::Removed:
            break;
        case Leftover::Foreign:
            // Left as it is; the partial takes a name nobody can have guessed.
            path = OutputNaming::partialPath(m_file.outputPath,
                                             QUuid::createUuid().toString(QUuid::Id128).left(8));
            break;
        }
    }
    const QString text =
        QStringLiteral("无法在“%1”中建立临时文件").arg(QFileInfo(m_file.partialPath).path());
    fail(Error{QStringLiteral("FileSystem"), EEXIST, text}, text);
    return false;
}

// The commands write where the partial really is.
void FileTranscode::usePartial(const QString &path)
{
    if (path == m_file.partialPath)
        return;
    for (QList<PlannedCommand> *commands : {&m_commands, &m_file.commands, &m_file.softwareRetry}) {
        for (PlannedCommand &command : *commands) {
            if (!command.arguments.isEmpty() && command.arguments.last() == m_file.partialPath)
                command.arguments.last() = path;
        }
    }
    m_file.partialPath = path;
}

// Intermediate files are made here too, so that they are as private as the partial.
bool FileTranscode::createTemporaries(mode_t permissions)
{
    for (const QString &path : std::as_const(m_file.temporaryFiles)) {
        auto own = std::make_unique<OwnFile>();
        own->folder = openFolder(AT_FDCWD, QFile::encodeName(QFileInfo(path).path()), true);
        own->name = QFile::encodeName(QFileInfo(path).fileName());
        own->path = path;
        if (!own->folder.isOpen() || !own->lock.takeAt(own->folder.fd(), own->name,
                                                       FileLock::Mode::Exclusive, permissions)) {
            const int reason = own->folder.isOpen() ? own->lock.systemError() : errno;
            fail(fileSystemError(reason),
                 QStringLiteral("无法写入“%1”: %2").arg(path, systemErrorText(reason)));
            return false;
        }
        m_ownFiles.push_back(std::move(own));
    }
    return true;
}

// ffmpeg reads the source we claimed and writes the files we made, whatever has been put at
// their names since: in a folder others may write, a name can be pointed elsewhere at any
// moment. The plan, the log and the dry run name them by path.
FileTranscode::HeldCommand FileTranscode::held(const QStringList &arguments) const
{
    HeldCommand command{arguments, {}, {}};
    const auto hand = [&command](const QString &path, int descriptor) {
        const std::optional<QString> inherited = ProcessRunner::inheritedPath(descriptor);
        if (!inherited)
            return;
        for (QString &argument : command.arguments) {
            if (argument == path) {
                argument = *inherited;
                if (!command.descriptors.contains(descriptor)) {
                    command.descriptors << descriptor;
                    command.names << std::pair{inherited->toUtf8(), QFile::encodeName(path)};
                }
            }
        }
    };
    hand(filePath(m_file.source.url), m_sourceLock.descriptor());
    for (const std::unique_ptr<OwnFile> &own : m_ownFiles)
        hand(own->path, own->lock.descriptor());
    // "/proc/self/fd/1" is not to be found in "/proc/self/fd/12".
    std::sort(command.names.begin(), command.names.end(), [](const auto &one, const auto &other) {
        return one.first.size() > other.first.size();
    });
    return command;
}

void FileTranscode::runCommand(qsizetype index)
{
    m_command = index;
    const PlannedCommand &command = m_commands.at(index);
    if (command.kind == PlannedCommand::Kind::Conversion) {
        const QString text = commandText(command.program, command.arguments);
        const QString banner = QStringLiteral("============= FFmpeg Command =============");
        const QString rule = QString(41, QLatin1Char('='));
        m_trace(banner);
        m_trace(text);
        m_trace(rule);
        Q_EMIT logText(QLatin1Char('\n') + banner + QLatin1Char('\n'));
        Q_EMIT logText(text + QLatin1Char('\n'));
        Q_EMIT logText(rule + QLatin1Char('\n'));
    }
    m_progress = ProgressParser();
    m_diagnosis.clear();
    delete m_runner;
    m_runner = new ProcessRunner(this);
    m_runner->setStandardOutput(command.readsProgress ? ProcessRunner::Output::Lines
                                                      : ProcessRunner::Output::Discard);
    connect(m_runner, &ProcessRunner::standardOutputLine, this, &FileTranscode::onProgressLine);
    connect(m_runner, &ProcessRunner::standardErrorLine, this, &FileTranscode::onErrorLine);
    connect(m_runner, &ProcessRunner::failedToStart, this, [this, command](const Error &error) {
        if (m_cancelling)
            return end(FileOutcome{FileOutcome::Status::Cancelled});
        fail(error, QStringLiteral("无法启动 %1: %2").arg(command.program, error.description()));
    });
    connect(m_runner, &ProcessRunner::finished, this, &FileTranscode::onCommandEnded);
    const HeldCommand running = held(command.arguments);
    m_heldNames = running.names;
    m_runner->setInheritedDescriptors(running.descriptors);
    m_runner->start(command.program, running.arguments);
}

void FileTranscode::onProgressLine(const QByteArray &bytes)
{
    const PlannedCommand &command = m_commands.at(m_command);
    const QString line = QString::fromUtf8(bytes);
    if (const std::optional<double> done =
            m_progress.parseProgressLine(line, m_file.source.duration))
        Q_EMIT progressed(command.progressStart + command.progressSpan * *done,
                          m_progress.figures());
    Q_EMIT logText(line + QLatin1Char('\n'));
}

void FileTranscode::onErrorLine(const QByteArray &bytes)
{
    // What ffmpeg says of a file it was handed is said of the file's name.
    QByteArray named = bytes;
    for (const auto &[handed, path] : std::as_const(m_heldNames))
        named.replace(handed, path);
    m_diagnosis.add(named);
    const QString line = QString::fromUtf8(named);
    if (m_commands.at(m_command).kind == PlannedCommand::Kind::Conversion)
        m_trace(QStringLiteral("FFmpeg: ") + line);
    Q_EMIT logText(line + QLatin1Char('\n'));
}

void FileTranscode::onCommandEnded(int status, bool crashed)
{
    if (m_cancelling)
        return end(FileOutcome{FileOutcome::Status::Cancelled});
    const PlannedCommand command = m_commands.at(m_command);
    if (status != 0 || crashed) {
        // A GPU that fails after its test encode passed gets one more try in software.
        if (!m_retried && !m_file.softwareRetry.isEmpty() && !diskIsFull()) {
            m_retried = true;
            Q_EMIT notice(
                QStringLiteral("硬件编码器 %1 转码“%2”时失败（%3），改用软件编码器 %4 重试")
                    .arg(m_encoder, m_file.source.name, m_diagnosis.reason(), m_file.retryEncoder));
            m_commands = m_file.softwareRetry;
            m_encoder = m_file.retryEncoder;
            return runCommand(0);
        }
        return failWithStatus(status, crashed);
    }
    if (!command.readsProgress)
        Q_EMIT progressed(command.progressStart + command.progressSpan, m_progress.figures());
    if (m_command + 1 < m_commands.size())
        return runCommand(m_command + 1);
    verify();
}

void FileTranscode::verify()
{
    Q_EMIT checking();
    m_check = new OutputCheck(m_tools, this);
    connect(m_check, &OutputCheck::passed, this, [this](const VideoFile &result) {
        m_checkTimer.stop();
        m_check->deleteLater();
        place(result);
    });
    connect(m_check, &OutputCheck::failed, this, [this](const QString &why) {
        m_checkTimer.stop();
        m_check->deleteLater();
        const QString detail = (diskIsFull() ? diskFullText() : why) +
                               (m_file.replacesSource ? QStringLiteral("；原文件未改动")
                                                      : QStringLiteral("；转码结果未保留"));
        fail(Error{QStringLiteral("Verification"), 2, why}, detail);
    });
    // A check that hangs (a file system that stops answering) fails the file, not the run.
    m_checkTimer.start(m_checkTimeLimit +
                       std::chrono::milliseconds(static_cast<qint64>(
                           std::clamp(m_file.source.duration, 0.0, 1e7) * 1000)));
    const HeldCommand files = held({m_file.partialPath, filePath(m_file.source.url)});
    m_check->check({files.arguments.at(0), files.arguments.at(1), files.descriptors},
                   m_file.promise);
}

void FileTranscode::place(const VideoFile &result)
{
    const QString source = filePath(m_file.source.url);
    const QString &output = m_file.outputPath;
    const QString unchanged = m_file.replacesSource ? QStringLiteral("；原文件未改动")
                                                    : QStringLiteral("；转码结果未保留");
    const int folder = m_folder.fd();
    const QByteArray &partial = m_partial->name;
    if (!m_partial->lock.isAt(folder, partial)) {
        const QString text = QStringLiteral("转码结果的临时文件在转码期间被移走或替换");
        return fail(Error{QStringLiteral("FileSystem"), ESTALE, text}, text + unchanged);
    }
    if (!sourceIsAsClaimed())
        return fail(Error{QStringLiteral("Source"), ESTALE, sourceChangedText()},
                    sourceChangedText() + unchanged);
    keepSourceDate();
    ResultMark::clearUnfinished(m_partial->lock.descriptor());
    ResultMark::mark(m_partial->lock.descriptor(), m_resultSettings);
    if (!m_file.replacesSource)
        ResultMark::markSource(m_partial->lock.descriptor(), m_file.sourceMark);

    bool outputTrashed = false;
    if (output == source) {
        const Result<QString> swapped = swapIn(m_outputName, source);
        if (!swapped)
            return fail(swapped.error(), swapped.error().description() + unchanged);
    } else {
        std::optional<QString> replacedOutput;
        if (m_file.replacesOutput) {
            if (!m_outputLock.isAt(folder, m_outputName)) {
                const QString text = QStringLiteral("“%1”在转码期间被改动").arg(output);
                return fail(Error{QStringLiteral("FileSystem"), ESTALE, text}, text + unchanged);
            }
            const Result<QString> swapped = swapIn(m_outputName, output);
            if (!swapped)
                return fail(swapped.error(), swapped.error().description() + unchanged);
            replacedOutput = *swapped;
            outputTrashed = true;
        } else if (!renameWithoutReplacing(folder, partial, folder, m_outputName)) {
            const int reason = errno;
            const QString text = reason == EEXIST ? QStringLiteral("输出位置已有“%1”，不会覆盖它")
                                                        .arg(QFileInfo(output).fileName())
                                                  : QStringLiteral("无法把转码结果放到“%1”: %2")
                                                        .arg(output, systemErrorText(reason));
            return fail(fileSystemError(reason), text + unchanged);
        }
        if (m_file.replacesSource) {
            const Result<QString> inTrash = moveToTrash(source);
            if (!inTrash) {
                // All back as it was: the result to its partial name, to be removed there.
                renameWithoutReplacing(folder, m_outputName, folder, partial);
                if (replacedOutput)
                    restoreFromTrash(*replacedOutput, output);
                return fail(inTrash.error(), inTrash.error().description() + unchanged);
            }
        }
    }
    m_partial->name.clear(); // it is the result now
    FileOutcome outcome{FileOutcome::Status::Converted};
    outcome.outputPath = output;
    outcome.replacedSource = m_file.replacesSource;
    outcome.replacedOutput = outputTrashed;
    outcome.outputSize = result.size;
    outcome.outputDuration = result.duration;
    outcome.encoder = m_encoder;
    outcome.result = result;
    outcome.result.url = QUrl::fromLocalFile(output);
    outcome.result.name = QFileInfo(output).fileName();
    end(outcome);
}

// The result bears the source's date and is no more open than it; one that replaces the source
// takes its permissions and, where we may, its owner.
void FileTranscode::keepSourceDate()
{
    const int result = m_partial->lock.descriptor();
    const timespec times[2] = {{0, UTIME_OMIT},
                               {static_cast<time_t>(m_claimed.modified / 1000000000),
                                static_cast<long>(m_claimed.modified % 1000000000)}};
    ::futimens(result, times);
    if (!m_file.replacesSource) {
        // The owner's part as the source's; the others' as made, the umask applied.
        struct stat made;
        if (::fstat(result, &made) == 0)
            ::fchmod(result, (made.st_mode & 0066) | (m_sourceMode & 0600));
        return;
    }
    [[maybe_unused]] const int owned = ::fchown(result, m_sourceOwner, m_sourceGroup);
    ::fchmod(result, m_sourceMode & 0777);
}

Result<QString> FileTranscode::swapIn(const QByteArray &name, const QString &path)
{
    const int folder = m_folder.fd();
    const QByteArray &partial = m_partial->name;
    const QString aside = QFileInfo(path).dir().filePath(QFile::decodeName(partial));
    const auto failure = [&path](int reason) {
        return Error{
            QStringLiteral("FileSystem"), reason,
            QStringLiteral("无法用转码结果替换“%1”: %2").arg(path, systemErrorText(reason))};
    };
    if (exchangeNames(folder, partial, name)) {
        Result<QString> inTrash = moveToTrash(aside, path);
        if (!inTrash)
            exchangeNames(folder, partial, name);
        return inTrash;
    }
    if (errno != EINVAL)
        return failure(errno);
    // Without an exchange the file goes to the Trash first: stopped in between, it is there.
    Result<QString> inTrash = moveToTrash(path);
    if (!inTrash)
        return inTrash;
    if (!renameWithoutReplacing(folder, partial, folder, name)) {
        const int reason = errno;
        restoreFromTrash(*inTrash, path);
        return failure(reason);
    }
    return inTrash;
}

bool FileTranscode::diskIsFull() const
{
    if (m_diagnosis.sawNoSpace())
        return true;
    struct statvfs space;
    if (!m_partial || ::fstatvfs(m_partial->lock.descriptor(), &space) != 0)
        return false;
    // Root may write into the blocks kept for it.
    return (::geteuid() == 0 ? space.f_bfree : space.f_bavail) == 0;
}

QString FileTranscode::diskFullText() const
{
    return QStringLiteral("磁盘空间不足（No space left on device），“%1”所在的磁盘已满")
        .arg(QFileInfo(m_file.outputPath).path());
}

void FileTranscode::failWithStatus(int status, bool crashed)
{
    const PlannedCommand::Kind kind = m_commands.at(m_command).kind;
    Error error{QStringLiteral("FFmpegError"), status, QString()};
    QString what = QStringLiteral("ffmpeg 转码失败");
    if (kind == PlannedCommand::Kind::AlphaIntermediate) {
        what = QStringLiteral("ffmpeg 生成中间文件失败");
    } else if (kind == PlannedCommand::Kind::ProRes4444Stage) {
        what = QStringLiteral("FFmpeg转码失败");
        error = Error{QStringLiteral("FFmpegConversion"), status, what};
    } else if (kind == PlannedCommand::Kind::HevcAlphaExport) {
        what = QStringLiteral("HEVC Alpha 导出失败");
        error = Error{QStringLiteral("VideoConversion"), -3, QStringLiteral("导出失败")};
    }
    QString detail = crashed ? QStringLiteral("%1（被信号 %2 终止）").arg(what).arg(status)
                             : QStringLiteral("%1（退出代码 %2）").arg(what).arg(status);
    if (diskIsFull())
        detail += QStringLiteral(": ") + diskFullText();
    else if (const QString reason = m_diagnosis.reason(); !reason.isEmpty())
        detail += QStringLiteral(": ") + reason;
    fail(error, detail);
}

void FileTranscode::fail(const Error &error, const QString &detail)
{
    FileOutcome outcome{FileOutcome::Status::Failed};
    outcome.encoder = m_encoder;
    outcome.error = error;
    outcome.error.localizedDescription = FFmpegDiagnosis::shortened(error.localizedDescription);
    outcome.reason = FFmpegDiagnosis::shortened(detail);
    end(outcome);
}

void FileTranscode::end(FileOutcome outcome)
{
    if (m_over)
        return;
    m_over = true;
    m_settleTimer.stop();
    m_checkTimer.stop();
    removeLeftovers();
    m_outputLock.release();
    m_sourceLock.release();
    Q_EMIT finished(outcome);
}

// Only what this file's run made, and only while it is still what is under its name.
void FileTranscode::removeLeftovers()
{
    for (const std::unique_ptr<OwnFile> &own : std::exchange(m_ownFiles, {})) {
        if (!own->name.isEmpty() && own->lock.isAt(own->folder.fd(), own->name))
            ::unlinkat(own->folder.fd(), own->name.constData(), 0);
    }
    m_partial = nullptr;
}
