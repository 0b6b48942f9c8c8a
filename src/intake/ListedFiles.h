#pragma once

#include <QUrl>
#include <QtGlobal>

#include "domain/VideoFile.h"

// What intake asks of the list it adds to: whether a file is on it already, by its URL or by
// which file on disk it is, and how long it is. The list answers from its own index, so it may
// change in any way between two questions.
class ListedFiles
{
public:
    virtual ~ListedFiles() = default;
    virtual bool isListed(const QUrl &url, const FileKey &key) const = 0;
    virtual qsizetype listedCount() const = 0;
};
