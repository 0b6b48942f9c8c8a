#pragma once

#include <QString>

#include <optional>

// Finds the external programs: "resources" beside the running executable first, then PATH.
// Nothing is cached, so a program installed or removed between runs is noticed.
class ToolLocator
{
public:
    ToolLocator();
    explicit ToolLocator(QString resourcesDirectory);

    std::optional<QString> find(const QString &name) const;

    static QString defaultResourcesDirectory();

private:
    QString m_resourcesDirectory;
};
