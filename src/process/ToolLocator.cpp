#include "process/ToolLocator.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

ToolLocator::ToolLocator()
    : m_resourcesDirectory(defaultResourcesDirectory())
{}

ToolLocator::ToolLocator(QString resourcesDirectory)
    : m_resourcesDirectory(std::move(resourcesDirectory))
{}

QString ToolLocator::defaultResourcesDirectory()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("resources"));
}

std::optional<QString> ToolLocator::find(const QString &name) const
{
    if (!m_resourcesDirectory.isEmpty()) {
        const QFileInfo bundled(QDir(m_resourcesDirectory).filePath(name));
        if (bundled.isFile() && bundled.isExecutable())
            return bundled.absoluteFilePath();
    }
    const QString onPath = QStandardPaths::findExecutable(name);
    if (onPath.isEmpty())
        return std::nullopt;
    return onPath;
}
