#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class TranscodeViewModel;

// Runs the codec rules after a real change of codec, resolution, frame rate or ProRes profile,
// whatever made it, once the event in hand has been dealt with: the way a settings panel
// reacts to what it shows. A value that changes and changes back before then runs nothing;
// a rule that changes a value is followed by one more look.
class CodecRuleWiring : public QObject
{
    Q_OBJECT

public:
    explicit CodecRuleWiring(TranscodeViewModel &model);

    // Runs now whatever is due on the next turn of the event loop.
    void settle();

private:
    void runDueRules();

    TranscodeViewModel &m_model;
    QTimer m_nextTurn;
    QString m_seenResolution;
    QString m_seenFrameRate;
    QString m_seenCodec;
    QString m_seenProResProfile;
};
