#include "probe/ProbeTrace.h"

#include "probe/VideoProbe.h"

#include <QFileInfo>

namespace ProbeTrace {

QString starting(const QString &path)
{
    return QStringLiteral("🔍 [DEBUG] getVideoInfo 开始处理: ") + path;
}

QString toolPath(const QString &program)
{
    return QStringLiteral("🔍 [DEBUG] ffprobe 路径: ") + program;
}

QString running()
{
    return QStringLiteral("🔍 [DEBUG] 开始执行 ffprobe 进程");
}

QStringList ended(int exitStatus)
{
    return {QStringLiteral("🔍 [DEBUG] ffprobe 进程启动成功"),
            QStringLiteral("🔍 [DEBUG] ffprobe 进程执行完成，退出代码: %1").arg(exitStatus)};
}

QString tooSlow(const QString &program, std::chrono::milliseconds limit)
{
    return QStringLiteral("%1 超过 %2 秒仍未完成，已停止")
        .arg(QFileInfo(program).fileName())
        .arg(static_cast<double>(limit.count()) / 1000.0);
}

QString tooMuchOutput(const QString &program)
{
    return QStringLiteral("%1 的输出超过 %2 MB，已停止")
        .arg(QFileInfo(program).fileName())
        .arg(VideoProbe::OutputLimit / (1024 * 1024));
}

ProbeOutcome failure(QStringList trace, const QString &why)
{
    trace << QStringLiteral("❌ [ERROR] ") + why;
    return {std::nullopt, std::move(trace), why};
}

} // namespace ProbeTrace
