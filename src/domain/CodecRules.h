#pragma once

#include <QString>

// The settings the codec-dependent rules read and write.
struct CodecRuleSettings
{
    QString codec;
    QString container;
    QString proResProfile;
    bool enableAlpha = false;

    friend bool operator==(const CodecRuleSettings &, const CodecRuleSettings &) = default;
};

namespace CodecRules {
// A ProRes codec forces the QuickTime container, then the common rules run.
CodecRuleSettings afterCodecChange(CodecRuleSettings settings);
// Profile falls back to "422" outside ProRes; hardware ProRes keeps alpha only with 4444.
CodecRuleSettings apply(CodecRuleSettings settings);

bool supportsBitrate(const QString &codec);
bool supportsAlpha(const QString &codec, const QString &proResProfile);
} // namespace CodecRules
