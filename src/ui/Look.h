#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>

// The few colours and fonts the window shares, derived from the current palette so that a
// dark desktop theme gets a dark window.
namespace Look {

bool isDark(const QPalette &palette);
// Dimmed text for figures and captions.
QColor secondaryText(const QPalette &palette);
// The desktop's accent (the selection colour).
QColor accent(const QPalette &palette);
// A panel or card a shade off the window colour, so it stands out in both themes.
QColor panel(const QPalette &palette);
QColor raisedPanel(const QPalette &palette);

QColor blue();
QColor red();
QColor green();

QFont headline(const QFont &base);
QFont caption(const QFont &base);
// The height of one line of text, Chinese included: the fallback font for it stands taller
// than the Latin one the metrics describe.
int lineHeight(const QFont &font);

QFont pixelSized(const QFont &base, int pixels, QFont::Weight weight = QFont::Normal);

// Style sheets of the window's buttons: the blue one that does the main thing, and the
// bordered one beside it. `small` for buttons in a row of text.
QString prominentButtonStyle(bool small = false);
QString borderedButtonStyle(bool small = false);

} // namespace Look
