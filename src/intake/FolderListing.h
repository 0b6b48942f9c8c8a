#pragma once

#include <QFileInfoList>
#include <QString>
#include <QStringList>

// One folder's visible entries, as a folder scan takes them: hidden names and symbolic links
// left out, in natural name order. Names that are not UTF-8 cannot be handed on (Qt cannot
// name such a file) and are kept apart, written with their odd bytes as \xNN, a folder's with
// a "/" at the end.
struct FolderListing
{
    QFileInfoList entries;
    QStringList undecodableNames;
};

FolderListing listFolder(const QString &path);
