#pragma once

#include <QStringView>

// The order people expect of file names: "clip2" before "clip10", case aside.
bool naturalLess(QStringView a, QStringView b);
