#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Finds the external programs in a few folders, then on PATH. Nothing is cached, so a program
// installed or removed between runs is noticed.
class ToolLocator
{
public:
    // The folders beside the running executable.
    ToolLocator();
    explicit ToolLocator(QString resourcesDirectory);
    explicit ToolLocator(QStringList directories);

    std::optional<QString> find(const QString &name) const;

    // "resources" beside the executable (the build tree), then the helper folder of an
    // installation, found relative to the executable so that any prefix works.
    static QStringList directoriesBeside(const QString &executableDirectory);

private:
    QStringList m_directories;
};
