#pragma once

#include <QString>
#include <QStringList>

#include <chrono>

#include "probe/ProbeOutput.h"

// The trace lines and failure texts of one file's probe, the same whether ffprobe ran for it
// alone or a quillmere-probe worker took it among many.
namespace ProbeTrace {

QString starting(const QString &path);
QString toolPath(const QString &program);
QString running();
QStringList ended(int exitStatus);

// Why a probe was stopped, naming the program (its file name) that was stopped.
QString tooSlow(const QString &program, std::chrono::milliseconds limit);
QString tooMuchOutput(const QString &program);

// A failed probe: the trace with the error line added, and the reason.
ProbeOutcome failure(QStringList trace, const QString &why);

} // namespace ProbeTrace
