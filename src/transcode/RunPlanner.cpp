#include "transcode/RunPlanner.h"

#include "transcode/EncoderSupport.h"
#include "transcode/FileTranscode.h"

#include <QDir>
#include <QTimer>
#include <QUuid>

#include <cerrno>

RunPlanner::RunPlanner(ToolLocator tools, EncoderSupport &encoders, QObject *parent)
    : QObject(parent)
    , m_tools(std::move(tools))
    , m_encoders(encoders)
{
    qRegisterMetaType<RunPlan>();
}

void RunPlanner::plan(const TranscodeSettings &settings, const QList<VideoFile> &files,
                      const PlanChoices &choices)
{
    const quint64 round = ++m_round;
    // Looked up for every run: ffmpeg may have been installed or removed meanwhile.
    const std::optional<QString> ffmpeg = m_tools.find(QStringLiteral("ffmpeg"));
    if (!ffmpeg) {
        RunPlan refused;
        refused.listingSize = static_cast<int>(files.size());
        refused.refusal = RunRefusal{
            Error{QStringLiteral("FFmpegError"), -1, QStringLiteral("FFmpeg not found")},
            QStringLiteral("找不到 ffmpeg（程序旁的 resources 文件夹和 PATH 中都没有）")};
        QTimer::singleShot(0, this, [this, round, refused] {
            if (round == m_round)
                Q_EMIT planned(refused);
        });
        return;
    }
    PlanEnvironment environment;
    environment.ffmpeg = *ffmpeg;
    environment.temporaryDirectory = QDir::tempPath();
    environment.choices = choices;
    environment.fileAt = diskEntryAt;
    environment.uniqueName = [] {
        return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    };
    m_encoders.answer(
        *ffmpeg, encoderQuestions(settings), this,
        [this, round, settings, files, environment](const EncoderAnswers &answers) {
            if (round != m_round)
                return;
            RunPlan plan = planRun(settings, files, answers, environment);
            // Refused as a whole, so that the dry run says so too.
            if (!plan.refusal && !plan.outputDirectory.isEmpty()) {
                if (const std::optional<QString> problem =
                        outputFolderProblem(plan.outputDirectory))
                    plan.refusal =
                        RunRefusal{Error{QStringLiteral("FileSystem"), EPERM, *problem}, *problem};
            }
            Q_EMIT planned(plan);
        });
}

void RunPlanner::cancel()
{
    ++m_round;
    m_encoders.giveUp(this);
}
