#pragma once

#include <QMetaType>

// How a batch run ended.
enum class RunOutcome { Completed, Failed, Cancelled };

Q_DECLARE_METATYPE(RunOutcome)
