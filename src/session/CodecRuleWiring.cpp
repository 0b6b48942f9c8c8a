#include "session/CodecRuleWiring.h"

#include "session/TranscodeViewModel.h"

CodecRuleWiring::CodecRuleWiring(TranscodeViewModel &model)
    : m_model(model)
    , m_seenResolution(model.selectedResolution())
    , m_seenFrameRate(model.selectedFrameRate())
    , m_seenCodec(model.selectedCodec())
    , m_seenProResProfile(model.selectedProResProfile())
{
    m_nextTurn.setSingleShot(true);
    m_nextTurn.setInterval(0);
    connect(&m_nextTurn, &QTimer::timeout, this, &CodecRuleWiring::runDueRules);
    const auto schedule = [this] { m_nextTurn.start(); };
    connect(&model, &TranscodeViewModel::selectedResolutionChanged, this, schedule);
    connect(&model, &TranscodeViewModel::selectedFrameRateChanged, this, schedule);
    connect(&model, &TranscodeViewModel::selectedCodecChanged, this, schedule);
    connect(&model, &TranscodeViewModel::selectedProResProfileChanged, this, schedule);
}

void CodecRuleWiring::settle()
{
    while (m_nextTurn.isActive()) {
        m_nextTurn.stop();
        runDueRules();
    }
}

void CodecRuleWiring::runDueRules()
{
    // In the order the panel shows the controls.
    const auto changed = [](QString &seen, const QString &now) {
        if (seen == now)
            return false;
        seen = now;
        return true;
    };
    if (changed(m_seenResolution, m_model.selectedResolution()))
        m_model.applyCodecRules();
    if (changed(m_seenFrameRate, m_model.selectedFrameRate()))
        m_model.applyCodecRules();
    if (changed(m_seenCodec, m_model.selectedCodec()))
        m_model.onCodecChanged();
    if (changed(m_seenProResProfile, m_model.selectedProResProfile()))
        m_model.applyCodecRules();
}
