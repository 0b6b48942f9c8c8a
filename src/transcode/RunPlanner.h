#pragma once

#include <QObject>

#include "process/ToolLocator.h"
#include "transcode/RunPlan.h"

class EncoderSupport;

// Makes the plan of a run: finds ffmpeg, asks it what it can encode, then plans. The run and
// the dry run both take their plan from here.
class RunPlanner : public QObject
{
    Q_OBJECT

public:
    RunPlanner(ToolLocator tools, EncoderSupport &encoders, QObject *parent = nullptr);

    // `planned` follows, never before this returns.
    void plan(const TranscodeSettings &settings, const QList<VideoFile> &files,
              const PlanChoices &choices = {});
    // The plan under way is dropped: its encoder tests stop and `planned` does not follow.
    void cancel();

Q_SIGNALS:
    void planned(const RunPlan &plan);

private:
    ToolLocator m_tools;
    EncoderSupport &m_encoders;
    quint64 m_round = 0; // plans asked for; only the last may answer
};
