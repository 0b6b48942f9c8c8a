#include "UiTestSupport.h"

#include "model/TranscodeViewModel.h"

#include <QCoreApplication>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

namespace UiTestSupport {

VideoFile listedFile(const QString &name, bool hasAlpha)
{
    VideoFile file;
    file.id = QUuid::createUuid();
    file.url = QUrl::fromLocalFile(u"/videos/"_s + name);
    file.name = name;
    file.resolution = u"1920x1080"_s;
    file.frameRate = u"29.97"_s;
    file.bitrate = u"12Mbps"_s;
    file.codec = u"h264 (H.264 / AVC / MPEG-4 AVC / MPEG-4 part 10)"_s;
    file.colorFormat = u"yuv420p"_s;
    file.bitDepth = u"8bit"_s;
    file.hasAlpha = hasAlpha;
    file.duration = 12.5;
    file.size = 1 << 20;
    return file;
}

QStringList listedNames(const TranscodeViewModel &model)
{
    QStringList names;
    for (const VideoFile &file : model.videoFiles())
        names << file.name;
    return names;
}

void waitForIntake(TranscodeViewModel &model)
{
    if (!model.isTakingIn())
        return;
    QSignalSpy finished(&model, &TranscodeViewModel::intakeFinished);
    if (!finished.wait(60000))
        qFatal("intake did not finish");
}

bool shows(const QWidget &root, const QString &name)
{
    return child<QWidget>(root, name)->isVisibleTo(&root);
}

void settle()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

} // namespace UiTestSupport
