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
    for (const auto changed :
         {&TranscodeViewModel::selectedCodecChanged, &TranscodeViewModel::selectedContainerChanged,
          &TranscodeViewModel::selectedProResProfileChanged,
          &TranscodeViewModel::selectedResolutionChanged,
          &TranscodeViewModel::selectedFrameRateChanged,
          &TranscodeViewModel::selectedBitrateChanged, &TranscodeViewModel::enableAlphaChanged,
          &TranscodeViewModel::overwriteOriginalChanged})
        connect(&model, changed, this, &SettingsMemory::remember);
}

void SettingsMemory::restore()
{
    // Read whole before anything is set: each change is written back as it is made.
    const QSettings settings;
    QHash<QString, QVariant> stored;
    for (const QString &key : settings.allKeys())
        stored.insert(key, settings.value(key));
    const auto text = [&](const QString &key, const QStringList &choices, auto set) {
        const QString value = stored.value(key).toString();
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
    const double bitrate = stored.value(u"settings/bitrate"_s).toDouble(&ok);
    if (ok && bitrate >= 0 && bitrate < 1e6)
        m_model.setSelectedBitrate(bitrate);
    m_model.setEnableAlpha(stored.value(u"settings/alpha"_s, m_model.enableAlpha()).toBool());
    m_model.setOverwriteOriginal(
        stored.value(u"settings/overwrite"_s, m_model.overwriteOriginal()).toBool());
    m_model.settleCodecRules();
    const QByteArray geometry = stored.value(u"window/geometry"_s).toByteArray();
    if (!geometry.isEmpty())
        m_window.restoreGeometry(geometry);
}

void SettingsMemory::remember()
{
    QSettings stored;
    stored.setValue(u"settings/codec"_s, m_model.selectedCodec());
    stored.setValue(u"settings/container"_s, m_model.selectedContainer());
    stored.setValue(u"settings/proResProfile"_s, m_model.selectedProResProfile());
    stored.setValue(u"settings/resolution"_s, m_model.selectedResolution());
    stored.setValue(u"settings/frameRate"_s, m_model.selectedFrameRate());
    stored.setValue(u"settings/bitrate"_s, m_model.selectedBitrate());
    stored.setValue(u"settings/alpha"_s, m_model.enableAlpha());
    stored.setValue(u"settings/overwrite"_s, m_model.overwriteOriginal());
}

void SettingsMemory::rememberWindow()
{
    QSettings().setValue(u"window/geometry"_s, m_window.saveGeometry());
}
