#include "ui/SettingsMemory.h"

#include "domain/SettingsRules.h"
#include "session/TranscodeViewModel.h"

#include <QSettings>
#include <QWidget>

using namespace Qt::StringLiterals;

SettingsMemory::SettingsMemory(TranscodeViewModel &model, QWidget &window)
    : QObject(&window)
    , m_model(model)
    , m_window(window)
{
    // Each change writes its own key; QSettings puts them in the file together, from the event
    // loop.
    const auto remember = [this](const QString &key, auto changed, auto value) {
        connect(&m_model, changed, this,
                [this, key, value] { m_stored.setValue(key, QVariant((m_model.*value)())); });
    };
    remember(u"settings/codec"_s, &TranscodeViewModel::selectedCodecChanged,
             &TranscodeViewModel::selectedCodec);
    remember(u"settings/container"_s, &TranscodeViewModel::selectedContainerChanged,
             &TranscodeViewModel::selectedContainer);
    remember(u"settings/proResProfile"_s, &TranscodeViewModel::selectedProResProfileChanged,
             &TranscodeViewModel::selectedProResProfile);
    remember(u"settings/resolution"_s, &TranscodeViewModel::selectedResolutionChanged,
             &TranscodeViewModel::selectedResolution);
    remember(u"settings/frameRate"_s, &TranscodeViewModel::selectedFrameRateChanged,
             &TranscodeViewModel::selectedFrameRate);
    remember(u"settings/bitrate"_s, &TranscodeViewModel::selectedBitrateChanged,
             &TranscodeViewModel::selectedBitrate);
    remember(u"settings/alpha"_s, &TranscodeViewModel::enableAlphaChanged,
             &TranscodeViewModel::enableAlpha);
}

void SettingsMemory::restore()
{
    // Through the same rules as a change in the panel, the codec first, then what depends on
    // it; a value that is no longer offered is passed over.
    TranscodeSettings settings = m_model.settings();
    const auto text = [&](const QString &key, const QStringList &choices, auto change) {
        const QString value = m_stored.value(key).toString();
        if (choices.contains(value))
            settings = change(std::move(settings), value);
    };
    text(u"settings/codec"_s, m_model.availableCodecs(), SettingsRules::withCodec);
    text(u"settings/container"_s, m_model.availableContainers(), SettingsRules::withContainer);
    text(u"settings/proResProfile"_s, m_model.availableProResProfiles(),
         SettingsRules::withProResProfile);
    text(u"settings/resolution"_s, m_model.availableResolutions(), SettingsRules::withResolution);
    text(u"settings/frameRate"_s, m_model.availableFrameRates(), SettingsRules::withFrameRate);
    bool ok = false;
    const double bitrate = m_stored.value(u"settings/bitrate"_s).toDouble(&ok);
    if (ok)
        settings = SettingsRules::withBitrate(std::move(settings), bitrate);
    const bool alpha = m_stored.value(u"settings/alpha"_s, settings.enableAlpha).toBool();
    settings = SettingsRules::withAlpha(std::move(settings), alpha);
    // 覆盖原文件 is decided afresh for every session: it is never remembered.
    m_model.setSettings(settings);
    const QByteArray geometry = m_stored.value(u"window/geometry"_s).toByteArray();
    if (!geometry.isEmpty())
        m_window.restoreGeometry(geometry);
}

void SettingsMemory::rememberWindow()
{
    m_stored.setValue(u"window/geometry"_s, m_window.saveGeometry());
}
