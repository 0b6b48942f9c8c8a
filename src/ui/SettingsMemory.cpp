#include "ui/SettingsMemory.h"

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
    remember(u"settings/overwrite"_s, &TranscodeViewModel::overwriteOriginalChanged,
             &TranscodeViewModel::overwriteOriginal);
}

void SettingsMemory::restore()
{
    const auto text = [&](const QString &key, const QStringList &choices, auto set) {
        const QString value = m_stored.value(key).toString();
        if (choices.contains(value))
            (m_model.*set)(value);
    };
    // In the order the rules expect: the codec first, then what depends on it.
    text(u"settings/codec"_s, m_model.availableCodecs(), &TranscodeViewModel::setSelectedCodec);
    text(u"settings/container"_s, m_model.availableContainers(),
         &TranscodeViewModel::setSelectedContainer);
    text(u"settings/proResProfile"_s, m_model.availableProResProfiles(),
         &TranscodeViewModel::setSelectedProResProfile);
    text(u"settings/resolution"_s, m_model.availableResolutions(),
         &TranscodeViewModel::setSelectedResolution);
    text(u"settings/frameRate"_s, m_model.availableFrameRates(),
         &TranscodeViewModel::setSelectedFrameRate);
    bool ok = false;
    const double bitrate = m_stored.value(u"settings/bitrate"_s).toDouble(&ok);
    if (ok && bitrate >= 0 && bitrate < 1e6)
        m_model.setSelectedBitrate(bitrate);
    m_model.setEnableAlpha(m_stored.value(u"settings/alpha"_s, m_model.enableAlpha()).toBool());
    m_model.setOverwriteOriginal(
        m_stored.value(u"settings/overwrite"_s, m_model.overwriteOriginal()).toBool());
    m_model.settleCodecRules();
    const QByteArray geometry = m_stored.value(u"window/geometry"_s).toByteArray();
    if (!geometry.isEmpty())
        m_window.restoreGeometry(geometry);
}

void SettingsMemory::rememberWindow()
{
    m_stored.setValue(u"window/geometry"_s, m_window.saveGeometry());
}
