#pragma once

#include <QString>
#include <QTest>
#include <QWidget>

struct VideoFile;
class TranscodeViewModel;

// Helpers for the window's tests.
namespace UiTestSupport {

// A listed file as the probe would describe it, without a real file behind it.
VideoFile listedFile(const QString &name, bool hasAlpha = false);

// The names of the listed files, in list order.
QStringList listedNames(const TranscodeViewModel &model);

// Waits until everything queued for intake has been probed and listed or rejected.
void waitForIntake(TranscodeViewModel &model);

// The named widget below `root`; the test stops at once when there is none.
template <typename T> T *child(const QWidget &root, const QString &name)
{
    T *found = root.findChild<T *>(name);
    if (!found)
        qFatal("no widget named %s", qPrintable(name));
    return found;
}

// Whether the widget would be seen when `root` is shown.
bool shows(const QWidget &root, const QString &name);

// Lets queued calls (a removal asked for by a click, say) run.
void settle();

} // namespace UiTestSupport
